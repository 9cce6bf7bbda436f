// Line scanning, lookup and in-place editing of INI text.
#include "options/ini_text.h"

#include <vector>

namespace pomu::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The profile functions also trim the DOS end-of-file mark.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1a';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

struct Line {
    std::size_t start;  // first byte of the content
    std::size_t end;    // end of the content, before the line ending
    std::size_t next;   // first byte after the line ending
};

std::size_t contentStart(std::string_view text) {
    return text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
}

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = contentStart(text);
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back({pos, text.size(), text.size()});
            break;
        }
        std::size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

std::string_view lineEnding(std::string_view text) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos || text[end] == '\n') return "\n";
    return (end + 1 < text.size() && text[end + 1] == '\n') ? "\r\n" : "\r";
}

enum class Kind { blank, comment, section, key };

struct Parsed {
    Kind kind = Kind::blank;
    std::string_view name;
    std::optional<std::string_view> value;
};

Parsed parseLine(std::string_view content) {
    const std::string_view line = trim(content);
    if (line.empty()) return {};
    if (line.front() == '[') {
        const std::size_t close = line.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            return {Kind::section, trim(line.substr(1, close - 1)), std::nullopt};
        }
    }
    if (line.front() == ';' || line.front() == '#') return {Kind::comment, {}, std::nullopt};
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return {Kind::key, line, std::nullopt};
    return {Kind::key, trim(line.substr(0, equals)), trim(line.substr(equals + 1))};
}

struct KeyPlace {
    std::optional<std::size_t> section;  // index of the first matching section line
    std::optional<std::size_t> key;      // index of its first matching key line
    std::optional<std::size_t> lastKey;  // index of its last key line of any name
};

KeyPlace locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    KeyPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed parsed = parseLine(text.substr(lines[i].start, lines[i].end - lines[i].start));
        if (parsed.kind == Kind::section) {
            if (place.section) break;
            if (sameName(parsed.name, section)) place.section = i;
        } else if (place.section && parsed.kind == Kind::key) {
            place.lastKey = i;
            if (!place.key && sameName(parsed.name, key)) place.key = i;
        }
    }
    return place;
}

// A UTF-8 sequence's continuation bytes look like 10xxxxxx.
bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::optional<std::string_view> findValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    const std::vector<Line> lines = splitLines(text);
    const KeyPlace place = locate(text, lines, trim(section), trim(key));
    if (!place.key) return std::nullopt;
    const Line& line = lines[*place.key];
    return parseLine(text.substr(line.start, line.end - line.start)).value;
}

std::string profileCopy(std::string_view value, std::size_t bufferBytes) {
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (bufferBytes == 0) return {};
    if (value.size() > bufferBytes - 1) {
        std::size_t cut = bufferBytes - 1;
        while (cut > 0 && isContinuationByte(value[cut])) --cut;
        value = value.substr(0, cut);
    }
    return std::string(value);
}

bool canWrite(std::string_view section, std::string_view key, std::string_view value) {
    constexpr std::string_view kLineBreaks("\r\n\0", 3);
    for (const std::string_view text : {section, key, value}) {
        if (text.find_first_of(kLineBreaks) != std::string_view::npos) return false;
    }
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty()) return false;
    if (section.find(']') != std::string_view::npos) return false;
    return key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';' &&
           key.front() != '#';
}

std::string setValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
    section = trim(section);
    key = trim(key);
    const std::string_view eol = lineEnding(text);
    const std::vector<Line> lines = splitLines(text);
    const KeyPlace place = locate(text, lines, section, key);
    std::string result;

    if (place.key) {
        // The file's own spelling of the key stays, as the profile functions keep it.
        const Line& line = lines[*place.key];
        const Parsed parsed = parseLine(text.substr(line.start, line.end - line.start));
        result.append(text.substr(0, line.start));
        result.append(parsed.name).append("=").append(value);
        result.append(text.substr(line.end));
        return result;
    }

    const std::string keyLine = std::string(key) + "=" + std::string(value);
    if (place.section) {
        const Line& after = lines[place.lastKey.value_or(*place.section)];
        result.append(text.substr(0, after.next));
        if (after.next == after.end) {
            result.append(eol).append(keyLine);  // the last line had no line ending
        } else {
            result.append(keyLine).append(eol);
        }
        result.append(text.substr(after.next));
        return result;
    }

    result.assign(text);
    if (result.size() > contentStart(text) && result.back() != '\n' && result.back() != '\r') {
        result.append(eol);
    }
    result.append("[").append(section).append("]").append(eol);
    result.append(keyLine).append(eol);
    return result;
}

}  // namespace pomu::ini

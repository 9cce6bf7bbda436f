// Reading "l -slt" text: the archive's header block, its flags, then one block per entry.
#include "convert/listing.h"

#include <algorithm>

namespace pomu {
namespace {

constexpr std::string_view kEntriesStart = "----------";
constexpr std::string_view kPairSeparator = " = ";

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return result;
}

bool mentionsUnsupported(std::string_view value) {
    return lower(value).find("unsupported") != std::string::npos;
}

std::optional<std::uint64_t> decimal(std::string_view text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = std::uint64_t(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint32_t> hex32(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    return value;
}

// The POSIX mode word of an Attributes or Mode value, such as "lrwxrwxrwx" or "prw-r--r--".
std::string_view modeWord(std::string_view value) {
    constexpr std::string_view kTypes = "0pc3d5b7-9lBsDEF";
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view word = value.substr(start, end - start);
        if (word.size() == 10 && kTypes.find(word[0]) != std::string_view::npos &&
            word.substr(1).find_first_not_of("rwxsStT-") == std::string_view::npos) {
            return word;
        }
        start = end + 1;
    }
    return {};
}

// What the mode's type letter says beyond a file, a folder or a link.
std::string specialKind(char type) {
    switch (type) {
        // No type bits at all: a zip writer that sets only the permissions (Python's zipfile
        // does) means a plain file, and every unzipper makes one.
        case '0':
        case '-':
        case 'd':
        case 'l':
            return {};
        case 'p':
            return "fifo";
        case 'c':
        case 'b':
            return "device";
        case 's':
            return "socket";
        default:
            return "unknown";
    }
}

struct Pair {
    std::string_view key, value;
};

std::optional<Pair> splitPair(std::string_view line) {
    const std::size_t at = line.find(kPairSeparator);
    if (at == std::string_view::npos) {
        // "Key = " with nothing after it: the value is empty.
        if (line.size() > 2 && line.ends_with(" ="))
            return Pair{line.substr(0, line.size() - 2), {}};
        return std::nullopt;
    }
    return Pair{line.substr(0, at), line.substr(at + kPairSeparator.size())};
}

// Lines that flag the whole run wherever they stand: open errors and warnings, error flags,
// and the summary counts at the end.
void readRunFlags(std::string_view line, Listing& listing) {
    if (line == "ERRORS:" || line.starts_with("Open ERROR")) listing.errors = true;
    if (line == "WARNINGS:" || line.starts_with("Open WARNING") ||
        line.starts_with("Warning: The archive is open with offset")) {
        listing.warnings = true;
    }
    // The question goes to the error stream, which the listing's pipe carries too.
    if (line.find("Enter password") != std::string_view::npos ||
        line.find("open encrypted archive") != std::string_view::npos) {
        listing.encrypted = true;
        listing.errors = true;
    }
    if (line.starts_with("Errors: ") && line != "Errors: 0") listing.errors = true;
    if (line.starts_with("Warnings: ") && line != "Warnings: 0") listing.warnings = true;
}

// The archive's own block (the top archive) gives its type and sizes; errors count from any.
void readArchiveProperty(const Pair& pair, Listing& listing, bool ownBlock, bool& volumesSeen) {
    const std::string key = lower(pair.key);
    if ((key == "error" || key == "errors") && !pair.value.empty()) listing.errors = true;
    if (key == "error" && pair.value.starts_with("Missing volume")) listing.missingVolume = true;
    if ((key == "warning" || key == "warnings") && !pair.value.empty()) listing.warnings = true;
    if ((key == "characteristics" || key == "method") && mentionsUnsupported(pair.value)) {
        listing.unsupported = true;
    }
    if (key == "encrypted" && pair.value == "+") listing.encrypted = true;
    if (!ownBlock) return;
    if (key == "type" && listing.type.empty()) listing.type = std::string(pair.value);
    if (key == "multivolume") listing.multivolume = pair.value == "+";
    if (key == "physical size") listing.physicalSize = decimal(pair.value);
    if (key == "total physical size") listing.totalPhysicalSize = decimal(pair.value);
    if (key == "volumes") {
        const std::optional<std::uint64_t> count = decimal(pair.value);
        const std::optional<int> volumes =
            count && *count <= 100000 ? std::optional<int>(int(*count)) : std::nullopt;
        // Two different counts cannot both be the archiver's: neither is trusted.
        if (volumesSeen && listing.volumes != volumes) listing.errors = true;
        if (!volumesSeen) listing.volumes = volumes;
        volumesSeen = true;
    }
}

// "Open WARNING: Cannot open the file as [PE] archive": the type its name suggested, which
// a self-extracting archive is not. Whether that is a warning depends on the source's name.
bool readTriedType(std::string_view line, Listing& listing) {
    constexpr std::string_view kStart = "Open WARNING: Cannot open the file as [";
    constexpr std::string_view kEnd = "] archive";
    if (!line.starts_with(kStart) || !line.ends_with(kEnd) || !listing.triedType.empty())
        return false;
    listing.triedType =
        std::string(line.substr(kStart.size(), line.size() - kStart.size() - kEnd.size()));
    return true;
}

void readEntryProperty(const Pair& pair, ListedEntry& entry) {
    const std::string_view key = pair.key;
    const std::string_view value = pair.value;
    if (key == "Path") entry.path = std::string(value);
    if (key == "Folder") entry.folder = value == "+";
    // Formats without a folder field (7z) mark folders among the attribute letters; a 'd'
    // there is a device.
    if (key == "Attributes") {
        const std::string_view letters = value.substr(0, value.find(' '));
        if (letters.find('D') != std::string_view::npos) entry.folder = true;
        if (letters.find('d') != std::string_view::npos) entry.special = "device";
    }
    if (key == "Attributes" || key == "Mode") {
        const std::string_view mode = modeWord(value);
        if (!mode.empty()) {
            if (mode[0] == 'l') entry.link = true;
            if (entry.special.empty()) entry.special = specialKind(mode[0]);
        }
    }
    if (key == "Size") entry.size = decimal(value);
    if (key == "CRC") entry.crc = hex32(value);
    if (key == "Encrypted" && value == "+") entry.encrypted = true;
    if ((key == "Characteristics" || key == "Method") && mentionsUnsupported(value)) {
        entry.unsupported = true;
    }
    if (key == "Characteristics") entry.characteristics = std::string(value);
    if (key == "Error" && !value.empty()) entry.failed = true;
    if ((key == "Symbolic Link" || key == "Hard Link" || key == "Link") && !value.empty()) {
        entry.link = true;
        entry.linkTarget = std::string(value);
        entry.hardLink = key == "Hard Link";
    }
    if (key == "Copy Link") entry.copyOf = std::string(value);
    if (key == "Anti" && value == "+") entry.anti = true;
    if (key == "Alternate Stream" && value == "+") entry.altStream = true;
}

// Values holding a line break are printed as "Key = ", "{", their lines, "}". Their lines are
// the archive's own text (a comment), never fields. Such a value ends at the first "}" line;
// that reading is the only one when the listing holds at most one such value and no "{" or "}"
// line outside it. Otherwise another reading exists and the listing is uncertain.
class MultiLineValue {
  public:
    // True when the line belongs to a value; `finished` then holds a value that just ended.
    bool take(std::string_view line, std::optional<Pair>& finished, Listing& listing) {
        if (open_) {
            if (line == "}") {
                open_ = false;
                finished = Pair{key_, text_};
                return true;
            }
            if (lines_++ > 0) text_ += '\n';
            text_ += line;
            return true;
        }
        const bool opens = line == "{";
        if (opens && emptyPairBefore_) {
            open_ = true;
            key_ = previousKey_;
            text_.clear();
            lines_ = 0;
            if (++count_ > 1) listing.uncertain = true;
            return true;
        }
        if (opens || line == "}") {
            listing.uncertain = true;
            return true;
        }
        const std::optional<Pair> pair = splitPair(line);
        emptyPairBefore_ = pair && pair->value.empty();
        if (emptyPairBefore_) previousKey_ = std::string(pair->key);
        return false;
    }
    bool open() const { return open_; }

  private:
    bool open_ = false;
    bool emptyPairBefore_ = false;
    int count_ = 0;
    int lines_ = 0;
    std::string previousKey_, key_, text_;
};

}  // namespace

bool Listing::anyEncrypted() const {
    return encrypted || std::any_of(entries.begin(), entries.end(),
                                    [](const ListedEntry& entry) { return entry.encrypted; });
}

Listing parseListing(std::string_view text) {
    Listing listing;
    bool volumesSeen = false;
    int block = -1;             // the archive blocks of the header, from "--"
    bool afterEntries = false;  // a second separator: the archiver's open-error block
    MultiLineValue multiLine;
    ListedEntry entry;
    bool inEntry = false;
    auto finishEntry = [&] {
        if (inEntry) listing.entries.push_back(std::move(entry));
        entry = ListedEntry();
        inEntry = false;
    };

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);

        std::optional<Pair> value;
        if (multiLine.take(line, value, listing)) {
            if (!value) continue;
            if (!listing.complete) {
                readArchiveProperty(*value, listing, block == 0, volumesSeen);
            } else if (!afterEntries) {
                inEntry = true;
                readEntryProperty(*value, entry);
            }
            continue;
        }
        if (!listing.complete) {
            if (line == "--") ++block;
            // The block of the next archive in a chain (an archive inside the top one).
            if (line == "----") ++block;
            if (line == kEntriesStart) {
                listing.complete = true;
                continue;
            }
            if (block == 0 && readTriedType(line, listing)) continue;
            readRunFlags(line, listing);
            if (const std::optional<Pair> pair = splitPair(line)) {
                readArchiveProperty(*pair, listing, block == 0, volumesSeen);
            }
            continue;
        }
        if (line == kEntriesStart) {
            finishEntry();
            afterEntries = true;
            listing.errors = true;
            continue;
        }
        if (line.empty()) {
            finishEntry();
            continue;
        }
        readRunFlags(line, listing);
        const std::optional<Pair> pair = splitPair(line);
        if (!pair || afterEntries) continue;
        inEntry = true;
        readEntryProperty(*pair, entry);
    }
    finishEntry();
    // A value still open swallowed the rest: nothing after its start can be trusted.
    if (multiLine.open()) {
        listing.uncertain = true;
        listing.errors = true;
    }
    // Only a multi-volume archive counts its volumes.
    if (!listing.multivolume) listing.volumes.reset();
    if (block > 0) listing.nested = true;
    return listing;
}

}  // namespace pomu

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

// A POSIX mode such as "lrwxrwxrwx" among the words of the value.
bool hasLinkMode(std::string_view value) {
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view word = value.substr(start, end - start);
        if (word.size() == 10 && word[0] == 'l' &&
            word.substr(1).find_first_not_of("rwxsStT-") == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
    return false;
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

void readArchiveProperty(const Pair& pair, Listing& listing, bool& volumesSeen) {
    const std::string key = lower(pair.key);
    if ((key == "error" || key == "errors") && !pair.value.empty()) listing.errors = true;
    if (key == "error" && pair.value.starts_with("Missing volume")) listing.missingVolume = true;
    if ((key == "warning" || key == "warnings") && !pair.value.empty()) listing.warnings = true;
    if ((key == "characteristics" || key == "method") && mentionsUnsupported(pair.value)) {
        listing.unsupported = true;
    }
    if (key == "encrypted" && pair.value == "+") listing.encrypted = true;
    // An archive inside another one prints a block of its own after the top one's.
    if (key == "type" && listing.type.empty()) listing.type = std::string(pair.value);
    if (key == "multivolume" && pair.value == "+") listing.multivolume = true;
    if (key == "total physical size" && !listing.totalPhysicalSize) {
        listing.totalPhysicalSize = decimal(pair.value);
    }
    if (key == "physical size" && !listing.physicalSize) listing.physicalSize = decimal(pair.value);
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

void readEntryProperty(const Pair& pair, ListedEntry& entry) {
    const std::string_view key = pair.key;
    const std::string_view value = pair.value;
    if (key == "Path") entry.path = std::string(value);
    if (key == "Folder") entry.folder = value == "+";
    // Formats without a folder field (7z) mark folders among the attribute letters.
    if (key == "Attributes" &&
        value.substr(0, value.find(' ')).find('D') != std::string_view::npos) {
        entry.folder = true;
    }
    if (key == "Size") entry.size = decimal(value);
    if (key == "CRC") entry.crc = hex32(value);
    if (key == "Encrypted" && value == "+") entry.encrypted = true;
    if ((key == "Characteristics" || key == "Method") && mentionsUnsupported(value)) {
        entry.unsupported = true;
    }
    if (key == "Error" && !value.empty()) entry.failed = true;
    if ((key == "Symbolic Link" || key == "Hard Link" || key == "Link") && !value.empty()) {
        entry.link = true;
    }
    if ((key == "Attributes" || key == "Mode") && hasLinkMode(value)) entry.link = true;
}

}  // namespace

bool Listing::anyEncrypted() const {
    return encrypted || std::any_of(entries.begin(), entries.end(),
                                    [](const ListedEntry& entry) { return entry.encrypted; });
}

Listing parseListing(std::string_view text) {
    Listing listing;
    bool volumesSeen = false;
    bool inMultiLineValue = false;  // an archive comment between "{" and "}"
    bool afterEntries = false;      // a second separator: the archiver's open-error block
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

        if (!listing.complete) {
            if (inMultiLineValue) {
                inMultiLineValue = line != "}";
                continue;
            }
            if (line == "{") {
                inMultiLineValue = true;
                continue;
            }
            if (line == kEntriesStart) {
                listing.complete = true;
                continue;
            }
            readRunFlags(line, listing);
            if (const std::optional<Pair> pair = splitPair(line)) {
                readArchiveProperty(*pair, listing, volumesSeen);
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
    return listing;
}

}  // namespace pomu

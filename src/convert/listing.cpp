// Reading "l -slt" text: the archive's header block, its flags, then one block per entry.
#include "convert/listing.h"

#include <algorithm>
#include <chrono>

namespace pomu {

// Blocks of text that never move, so that views into them stay valid as more is kept.
class ListingTexts {
  public:
    std::string_view keep(std::string_view text) {
        if (text.empty()) return {};
        char* at = room(text.size());
        std::copy(text.begin(), text.end(), at);
        return {at, text.size()};
    }

  private:
    // Small enough to come from the heap, where memory freed before is taken again.
    static constexpr std::size_t kBlockBytes = 64 * 1024 - 64;

    char* room(std::size_t bytes) {
        // A text longer than a block gets one of its own; the open block stays open.
        if (bytes > kBlockBytes) return blocks_.emplace_back(new char[bytes]).get();
        if (bytes > kBlockBytes - used_) {
            open_ = blocks_.emplace_back(new char[kBlockBytes]).get();
            used_ = 0;
        }
        char* at = open_ + used_;
        used_ += bytes;
        return at;
    }

    std::vector<std::unique_ptr<char[]>> blocks_;
    char* open_ = nullptr;
    std::size_t used_ = kBlockBytes;
};

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
    constexpr std::string_view kWord = "unsupported";
    const auto sameLetter = [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; };
    return std::search(value.begin(), value.end(), kWord.begin(), kWord.end(), sameLetter) !=
           value.end();
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

std::optional<ListedTime> readTime(std::string_view text) {
    // "YYYY-MM-DD HH:MM:SS", then "." and up to seven digits.
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        return decimal(text.substr(at, length));
    };
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const auto hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *hour > 23 || *minute > 59 ||
        *second > 60) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(int(*year)),
                                           std::chrono::month(unsigned(*month)),
                                           std::chrono::day(unsigned(*day))};
    if (!date.ok()) return std::nullopt;
    ListedTime time;
    const std::int64_t days =
        std::chrono::sys_days(date).time_since_epoch().count() + 719162;  // from 0001-01-01
    time.ticks = ((days * 24 + std::int64_t(*hour)) * 60 + std::int64_t(*minute)) * 60 +
                 std::int64_t(*second);
    time.ticks *= 10'000'000;
    std::string_view fraction = text.substr(19);
    if (fraction.empty()) return time;
    if (fraction[0] != '.' || fraction.size() < 2) return std::nullopt;
    fraction.remove_prefix(1);
    // Any number of digits (tar keeps nanoseconds); the ticks hold the first seven.
    std::int64_t scaled = 0;
    for (std::size_t at = 0; at < fraction.size(); ++at) {
        const char c = fraction[at];
        if (c < '0' || c > '9') return std::nullopt;
        if (at < 7) scaled = scaled * 10 + (c - '0');
    }
    time.digits = int(std::min<std::size_t>(fraction.size(), 7));
    for (int pad = time.digits; pad < 7; ++pad) scaled *= 10;
    time.ticks += scaled;
    return time;
}

// The POSIX mode word of an Attributes or Mode value, such as "lrwxrwxrwx" or "prw-r--r--".
std::string_view modeWord(std::string_view value) {
    constexpr std::string_view kTypes = "0pc3d5b7-9lBsDEF";
    const auto isPermission = [](char c) {
        return c == 'r' || c == 'w' || c == 'x' || c == 's' || c == 'S' || c == 't' || c == 'T' ||
               c == '-';
    };
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view word = value.substr(start, end - start);
        if (word.size() == 10 && kTypes.find(word[0]) != std::string_view::npos &&
            std::all_of(word.begin() + 1, word.end(), isPermission)) {
            return word;
        }
        start = end + 1;
    }
    return {};
}

// What the mode's type letter says beyond a file, a folder or a link.
std::string_view specialKind(char type) {
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

// The archiver's own lines about a password: its question, and its word on a wrong one
// ("ERROR: x.7z : Cannot open encrypted archive. Wrong password?"). A name or a comment that
// says as much is the archive's text, never these lines.
bool asksPassword(std::string_view line) {
    return line.starts_with("Enter password (will not be echoed)") ||
           (line.starts_with("ERROR: ") && line.ends_with("encrypted archive. Wrong password?"));
}

// Lines that flag the whole run wherever they stand: open errors and warnings, error flags,
// and the summary counts at the end.
void readRunFlags(std::string_view line, Listing& listing) {
    // Told apart by their first letter: most lines are none of them.
    switch (line.empty() ? '\0' : line[0]) {
        case 'E':
            if (line == "ERRORS:" || (line.starts_with("Errors: ") && line != "Errors: 0"))
                listing.errors = true;
            break;
        case 'O':
            if (line.starts_with("Open ERROR")) listing.errors = true;
            if (line.starts_with("Open WARNING")) listing.warnings = true;
            break;
        case 'W':
            if (line == "WARNINGS:" ||
                line.starts_with("Warning: The archive is open with offset") ||
                (line.starts_with("Warnings: ") && line != "Warnings: 0")) {
                listing.warnings = true;
            }
            break;
    }
    // The question goes to the error stream, which the listing's pipe carries too.
    if (asksPassword(line)) {
        listing.encrypted = true;
        // Asked for, the password may have been given on the input; one that was not, or did
        // not open the archive, ends the run with an error of its own.
        if (line.find("Enter password") == std::string_view::npos) listing.errors = true;
    }
}

bool hasWord(std::string_view value, std::string_view word);

// The archive's own block (the top archive) gives its type and sizes; errors count from any.
void readArchiveProperty(const Pair& pair, Listing& listing, bool ownBlock, bool& volumesSeen) {
    const std::string key = lower(pair.key);
    // Each block's own; the last archive's stand once the entries start.
    if (key == "type") listing.entriesType = std::string(pair.value);
    if (key == "comment" && !pair.value.empty()) listing.comment = std::string(pair.value);
    if (key == "characteristics" && hasWord(pair.value, "Comment")) listing.commentUnshown = true;
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
    if (key == "offset") listing.offset = decimal(pair.value).value_or(0);
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

// One of the words of a value.
bool hasWord(std::string_view value, std::string_view word) {
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = value.find(' ', start);
        if (end == std::string_view::npos) end = value.size();
        if (value.substr(start, end - start) == word) return true;
        start = end + 1;
    }
    return false;
}

// The entry fields the proof reads.
enum class Field {
    other,
    path,
    folder,
    attributes,
    mode,
    size,
    crc,
    encrypted,
    characteristics,
    method,
    error,
    symbolicLink,
    hardLink,
    link,
    copyLink,
    anti,
    alternateStream,
    modified,
    created,
    comment,
    commented
};

// By the key's length first: most keys are no field the proof reads.
Field entryField(std::string_view key) {
    const auto is = [key](std::string_view name, Field field) {
        return key == name ? field : Field::other;
    };
    switch (key.size()) {
        case 3:
            return is("CRC", Field::crc);
        case 4:
            if (key == "Path") return Field::path;
            if (key == "Size") return Field::size;
            if (key == "Mode") return Field::mode;
            if (key == "Link") return Field::link;
            return is("Anti", Field::anti);
        case 5:
            return is("Error", Field::error);
        case 6:
            if (key == "Folder") return Field::folder;
            return is("Method", Field::method);
        case 7:
            if (key == "Comment") return Field::comment;
            return is("Created", Field::created);
        case 8:
            return is("Modified", Field::modified);
        case 9:
            if (key == "Encrypted") return Field::encrypted;
            if (key == "Hard Link") return Field::hardLink;
            if (key == "Commented") return Field::commented;
            return is("Copy Link", Field::copyLink);
        case 10:
            return is("Attributes", Field::attributes);
        case 13:
            return is("Symbolic Link", Field::symbolicLink);
        case 15:
            return is("Characteristics", Field::characteristics);
        case 16:
            return is("Alternate Stream", Field::alternateStream);
        default:
            return Field::other;
    }
}

// "Deflate", "Store", or either after an encryption ("AES-256 Deflate", "ZipCrypto Store"):
// the methods every zip reader opens.
bool isStoreOrDeflate(std::string_view method) {
    const std::size_t start = method.find_last_of(' ') + 1;
    const std::string_view last = method.substr(start, method.find(':', start) - start);
    return last == "Store" || last == "Deflate";
}

// The POSIX mode of an Attributes or Mode value: a link, or something beyond a file or folder.
void readMode(std::string_view value, ListedEntry& entry) {
    const std::string_view mode = modeWord(value);
    if (mode.empty()) return;
    if (mode[0] == 'l') entry.link = true;
    if (entry.special.empty()) entry.special = specialKind(mode[0]);
}

void readEntryProperty(const Pair& pair, ListedEntry& entry, ListingTexts& texts) {
    const std::string_view value = pair.value;
    const Field field = entryField(pair.key);
    switch (field) {
        case Field::other:
            break;
        case Field::path:
            entry.path = texts.keep(value);
            break;
        case Field::folder:
            entry.folder = value == "+";
            break;
        case Field::attributes: {
            // Formats without a folder field (7z) mark folders among the attribute letters; a
            // 'd' there is a device.
            const std::string_view letters = value.substr(0, value.find(' '));
            if (letters.find('D') != std::string_view::npos) entry.folder = true;
            if (letters.find('d') != std::string_view::npos) entry.special = "device";
            readMode(value, entry);
            break;
        }
        case Field::mode:
            readMode(value, entry);
            break;
        case Field::size:
            entry.size = decimal(value);
            break;
        case Field::crc:
            entry.crc = hex32(value);
            break;
        case Field::encrypted:
            if (value == "+") entry.encrypted = true;
            break;
        case Field::characteristics:
        case Field::method:
            if (mentionsUnsupported(value)) entry.unsupported = true;
            if (field == Field::characteristics) entry.utf8 = hasWord(value, "UTF8");
            if (field == Field::method) entry.otherMethod = !isStoreOrDeflate(value);
            break;
        case Field::error:
            if (!value.empty()) entry.failed = true;
            break;
        case Field::symbolicLink:
        case Field::hardLink:
        case Field::link:
            if (value.empty()) break;
            entry.link = true;
            entry.linkTarget = texts.keep(value);
            entry.hardLink = field == Field::hardLink;
            break;
        case Field::copyLink:
            entry.copyOf = texts.keep(value);
            break;
        case Field::anti:
            if (value == "+") entry.anti = true;
            break;
        case Field::alternateStream:
            if (value == "+") entry.altStream = true;
            break;
        case Field::modified:
            if (const std::optional<ListedTime> time = readTime(value)) {
                entry.modifiedTicks = time->ticks;
                entry.modifiedDigits = std::int8_t(time->digits);
            } else if (!value.empty()) {
                entry.modifiedDigits = ListedEntry::kUnreadableTime;
            }
            break;
        case Field::created:
            if (!value.empty()) entry.created = true;
            break;
        case Field::comment:
            if (!value.empty()) entry.commented = true;
            break;
        case Field::commented:
            if (value == "+") entry.commented = true;
            break;
    }
}

// Values holding a line break are printed as "Key = ", "{", their lines, "}". Their lines are
// the archive's own text (a comment), never fields. Such a value ends at the first "}" line;
// that reading is the only one when the listing holds at most one such value and no "{" or "}"
// line outside it. Otherwise another reading exists and the listing is uncertain.
class MultiLineValue {
  public:
    // True when the line belongs to a value; `finished` then holds a value that just ended.
    // `pair` is the line split as a pair, when it is one.
    bool take(std::string_view line, const std::optional<Pair>& pair, std::optional<Pair>& finished,
              Listing& listing) {
        if (open_) {
            if (line == "}") {
                open_ = false;
                // A line break that ends the text leaves no empty line behind it, but a text
                // of one line is shown between braces only when it ends in one.
                if (lines_ == 1 || lastEmpty_) text_ += '\n';
                finished = Pair{key_, text_};
                return true;
            }
            if (lines_++ > 0) text_ += '\n';
            text_ += line;
            lastEmpty_ = line.empty();
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
        emptyPairBefore_ = pair && pair->value.empty();
        if (emptyPairBefore_) previousKey_ = std::string(pair->key);
        return false;
    }
    bool open() const { return open_; }

  private:
    bool open_ = false;
    bool lastEmpty_ = false;
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

struct ListingReader::State {
    Listing listing;
    std::shared_ptr<ListingTexts> texts = std::make_shared<ListingTexts>();
    bool volumesSeen = false;
    int block = -1;             // the archive blocks of the header, from "--"
    bool afterEntries = false;  // a second separator: the archiver's open-error block
    MultiLineValue multiLine;
    std::optional<bool> crlf;  // by the first line
    ListedEntry entry;
    bool inEntry = false;
    std::string unfinishedLine;  // the start of a line the next piece ends

    void finishEntry() {
        if (inEntry) listing.entries.push_back(entry);
        entry = ListedEntry();
        inEntry = false;
    }

    void readLine(std::string_view line) {
        // Windows ends every line with "\r\n" (and shows a return in a value as '_'); on Linux
        // a return before the line break is the value's own, as in a comment.
        if (!crlf) crlf = line.ends_with('\r');
        if (line.ends_with('\r') &&
            (*crlf || !(multiLine.open() || line.starts_with("Comment = ")))) {
            line.remove_suffix(1);
        }
        const std::optional<Pair> pair = multiLine.open() ? std::nullopt : splitPair(line);
        std::optional<Pair> value;
        if (multiLine.take(line, pair, value, listing)) {
            if (!value) return;
            if (!listing.complete) {
                readArchiveProperty(*value, listing, block == 0, volumesSeen);
            } else if (!afterEntries) {
                inEntry = true;
                readEntryProperty(*value, entry, *texts);
            }
            return;
        }
        if (!listing.complete) {
            // "----": the block of the next archive in a chain (an archive inside the top one).
            if (line == "--" || line == "----") {
                ++block;
                listing.comment.reset();
                listing.commentUnshown = false;
            }
            if (line == kEntriesStart) {
                listing.complete = true;
                return;
            }
            if (block == 0 && readTriedType(line, listing)) return;
            readRunFlags(line, listing);
            if (pair) readArchiveProperty(*pair, listing, block == 0, volumesSeen);
            return;
        }
        if (line == kEntriesStart) {
            finishEntry();
            afterEntries = true;
            listing.errors = true;
            return;
        }
        if (line.empty()) {
            finishEntry();
            return;
        }
        readRunFlags(line, listing);
        if (!pair || afterEntries) return;
        inEntry = true;
        readEntryProperty(*pair, entry, *texts);
    }
};

ListingReader::ListingReader() : state_(std::make_unique<State>()) {}
ListingReader::~ListingReader() = default;

void ListingReader::read(std::string_view piece) {
    std::string& unfinished = state_->unfinishedLine;
    std::size_t end = piece.find('\n');
    if (!unfinished.empty() && end != std::string_view::npos) {
        unfinished.append(piece.substr(0, end));
        state_->readLine(unfinished);
        unfinished.clear();
        piece.remove_prefix(end + 1);
        end = piece.find('\n');
    }
    if (!unfinished.empty()) {
        unfinished.append(piece);
        return;
    }
    for (; end != std::string_view::npos; end = piece.find('\n')) {
        state_->readLine(piece.substr(0, end));
        piece.remove_prefix(end + 1);
    }
    unfinished.assign(piece);
}

Listing ListingReader::finish() {
    State& state = *state_;
    // The text after the last line break is a line too, even when empty.
    state.readLine(state.unfinishedLine);
    state.unfinishedLine.clear();
    state.finishEntry();
    Listing& listing = state.listing;
    // A value still open swallowed the rest: nothing after its start can be trusted.
    if (state.multiLine.open()) {
        listing.uncertain = true;
        listing.errors = true;
    }
    if (listing.comment) listing.commentUnshown = false;
    // Only a multi-volume archive counts its volumes.
    if (!listing.multivolume) listing.volumes.reset();
    if (state.block > 0) listing.nested = true;
    listing.texts = std::move(state.texts);
    Listing finished = std::move(listing);
    state_ = std::make_unique<State>();
    return finished;
}

std::optional<ListedTime> listedTime(std::string_view text) {
    return readTime(text);
}

Listing parseListing(std::string_view text) {
    ListingReader reader;
    reader.read(text);
    return reader.finish();
}

}  // namespace pomu

// The archiver's technical listing ("l -slt") read into archive flags and entries.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pomu {

// A listed time as printed: local time in 100 ns ticks from year 1, and how many digits of a
// second the listing gave (0 to 7; more are cut to 7), which is as precise as the format keeps it.
struct ListedTime {
    std::int64_t ticks = 0;
    int digits = 0;
    bool operator==(const ListedTime&) const = default;
};

// One entry as the archiver listed it. Text is UTF-8, as the listing is asked to write it; it
// is viewed in the listing's own texts (or, for a listing put together by hand, in text that
// outlives it). The views come first so that an entry of a large listing stays small.
struct ListedEntry {
    std::string_view path;        // empty for an unnamed stream (.bz2)
    std::string_view linkTarget;  // as listed; empty where the format keeps it as the link's data
    std::string_view copyOf;      // a file-copy entry: the path of the file it copies
    std::string_view special;     // "fifo", "device", "socket" or "unknown" by its mode letter
    std::optional<std::uint64_t> size;
    std::optional<std::uint32_t> crc;
    std::int64_t modifiedTicks = 0;   // a ListedTime's fields, kept apart so the entry stays small
    std::int8_t modifiedDigits = -1;  // -1: no modification time listed; kUnreadableTime
    bool folder = false;
    bool encrypted = false;
    bool unsupported = false;  // the archiver marks something of it as not understood
    bool failed = false;       // the entry carries an error of its own
    bool link = false;         // a symbolic or hard link, by its target field or its mode
    bool hardLink = false;     // linkTarget names another entry
    bool anti = false;         // an anti-item: deletes a file on update, holds none
    bool altStream = false;    // an alternate data stream of a file
    bool utf8 = false;         // its characteristics mark its name as UTF-8
    bool created = false;      // a creation time is listed
    bool commented = false;    // it carries a comment of its own
    bool otherMethod = false;  // a method is listed, and it is neither Store nor Deflate

    static constexpr std::int8_t kUnreadableTime = -2;  // listed, but not as a time

    std::optional<ListedTime> modified() const {
        if (modifiedDigits < 0) return std::nullopt;
        return ListedTime{modifiedTicks, modifiedDigits};
    }
    bool unreadableTime() const { return modifiedDigits == kUnreadableTime; }
};

// "2024-05-05 10:10:11.1234567" as a 7-Zip listing prints a time; nothing for anything else.
std::optional<ListedTime> listedTime(std::string_view text);

// The texts a read listing's entries view, each kept once; shared by the listing's copies.
class ListingTexts;

struct Listing {
    bool complete = false;       // the entry part was reached
    bool errors = false;         // archive-level errors, or an error summary
    bool warnings = false;       // archive-level warnings, or a warning summary
    bool unsupported = false;    // an archive characteristic or method marked unsupported
    bool encrypted = false;      // encrypted headers or entries, or a password was asked for
    bool missingVolume = false;  // the archiver looked for a volume that is not there
    bool uncertain = false;      // a multi-line value (a comment) could not be delimited
    std::string type;            // "Type =" of the top archive
    bool nested = false;         // the entries are those of an archive inside the top one
    std::string triedType;       // "Open WARNING: Cannot open the file as [PE] archive": PE
    bool multivolume = false;    // "Multivolume = +" in the archive's own block
    std::optional<int> volumes;  // how many volumes the archiver opened, multi-volume only
    std::optional<std::uint64_t> physicalSize;
    std::optional<std::uint64_t> totalPhysicalSize;
    // Windows: a listed name that holds a line break, which 7-Zip shows and unpacks as '_'.
    std::string lineBreakName;
    std::uint64_t offset = 0;  // where the archive starts in its file (after a program)
    // Of the archive whose entries are listed (the last of a chain, as a split one's zip):
    std::string entriesType;             // its "Type ="
    std::optional<std::string> comment;  // its comment, the text as the listing shows it
    bool commentUnshown = false;         // its characteristics name a comment that is not shown
    // Where entries never move: a listing of many grows without holding them twice.
    std::deque<ListedEntry> entries;
    std::shared_ptr<const ListingTexts> texts;

    bool anyEncrypted() const;
};

// Reads the standard output of one "l -slt" run as it arrives, in pieces cut anywhere, without
// holding it whole. Never fails: what it cannot read leaves the listing incomplete or flagged.
class ListingReader {
  public:
    ListingReader();
    ListingReader(const ListingReader&) = delete;
    ListingReader& operator=(const ListingReader&) = delete;
    ~ListingReader();

    void read(std::string_view piece);
    // The listing, once the output has ended.
    Listing finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads the whole standard output of one "l -slt" run.
Listing parseListing(std::string_view text);

}  // namespace pomu

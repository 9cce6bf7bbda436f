// The archiver's technical listing ("l -slt") read into archive flags and entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pomu {

// One entry as the archiver listed it. Text is UTF-8, as the listing is asked to write it.
struct ListedEntry {
    std::string path;  // empty for an unnamed stream (.bz2)
    bool folder = false;
    std::optional<std::uint64_t> size;
    std::optional<std::uint32_t> crc;
    bool encrypted = false;
    bool unsupported = false;  // the archiver marks something of it as not understood
    bool failed = false;       // the entry carries an error of its own
    bool link = false;         // a symbolic or hard link, by its target field or its mode
    std::string linkTarget;    // as listed; empty where the format keeps it as the link's data
    bool hardLink = false;     // linkTarget names another entry
    std::string copyOf;        // a file-copy entry: the path of the file it copies
    std::string special;       // "fifo", "device", "socket" or "unknown" by its mode letter
    bool anti = false;         // an anti-item: deletes a file on update, holds none
    bool altStream = false;    // an alternate data stream of a file
    std::string characteristics;
};

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
    std::vector<ListedEntry> entries;

    bool anyEncrypted() const;
};

// Reads the whole standard output of one "l -slt" run. Never fails: what it cannot read
// leaves the listing incomplete or flagged.
Listing parseListing(std::string_view text);

}  // namespace pomu

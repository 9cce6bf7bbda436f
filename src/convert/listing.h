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
};

struct Listing {
    bool complete = false;       // the entry part was reached
    bool errors = false;         // archive-level errors, or an error summary
    bool warnings = false;       // archive-level warnings, or a warning summary
    bool unsupported = false;    // an archive characteristic or method marked unsupported
    bool encrypted = false;      // encrypted headers or entries, or a password was asked for
    bool missingVolume = false;  // the archiver looked for a volume that is not there
    std::optional<int> volumes;  // how many volumes the archiver opened
    std::string type;            // the top archive's type, as the archiver names it
    bool multivolume = false;    // the archive's own block says it is a volume of a set
    std::optional<std::uint64_t> totalPhysicalSize;  // of every volume opened, when more than one
    std::optional<std::uint64_t> physicalSize;       // of the archive, or its first volume
    std::vector<ListedEntry> entries;

    bool anyEncrypted() const;
};

// Reads the whole standard output of one "l -slt" run. Never fails: what it cannot read
// leaves the listing incomplete or flagged.
Listing parseListing(std::string_view text);

}  // namespace pomu

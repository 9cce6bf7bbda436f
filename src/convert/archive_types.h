// The archive types pomu re-packs, as the archiver names them, with the endings each accepts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/listing.h"
#include "platform/text.h"

namespace pomu {

struct ArchiveType {
    std::string_view type;     // "Type =" of the top archive in the listing
    std::string_view endings;  // accepted source endings, blank-separated, lower case
    bool crc32;                // its listed CRCs are CRC-32s, comparable with the new archive's
    bool singleStream;         // one compressed stream: the listed size may be wrapped or partial
    bool comments = false;     // its listed comments (the archive's, a file's) are its own text
};

// The table's row for the listing's top archive, when the source's name fits it.
std::optional<ArchiveType> plainArchiveType(const Listing& listing, NativeView sourceName);

// A name whose ending the table accepts for some type, programs (".exe") left out: what a
// search of a dropped folder takes for an archive pomu would re-pack. Looks at the name only.
bool hasArchiveEnding(NativeView name);

// A self-extracting program ("x.exe") the archiver opened as the archive it carries.
bool isSelfExtracting(const Listing& listing, NativeView sourceName);

}  // namespace pomu

// The allow-list of plain archives: their content is the files they hold, nothing more.
#include "convert/archive_types.h"

#include <array>

namespace pomu {
namespace {

// Comic books come under any of the comic endings whatever they hold: a ".cbr" is often a zip.
constexpr std::array kTypes{
    ArchiveType{"7z", ".7z .exe .cb7 .cbr .cbz .cbt", true, false},
    ArchiveType{"zip", ".zip .exe .cbz .cbr .cb7 .cbt", true, false, true},
    ArchiveType{"Rar", ".rar .exe .cbr .cbz .cb7 .cbt", true, false, true},
    ArchiveType{"Rar5", ".rar .exe .cbr .cbz .cb7 .cbt", true, false, true},
    // A tar's listed comments are its PAX records (extended attributes), not text of its own.
    ArchiveType{"tar", ".tar .cbt .cbr .cbz .cb7", true, false},
    ArchiveType{"gzip", ".gz .tgz", true, true},
    ArchiveType{"bzip2", ".bz2 .tbz2 .tbz", true, true},
    ArchiveType{"xz", ".xz .txz", true, true},
    ArchiveType{"lzma", ".lzma", true, true},
    ArchiveType{"zstd", ".zst .tzst", true, true},
    ArchiveType{"Z", ".z .taz", true, true},
    ArchiveType{"Cab", ".cab", true, false},
    ArchiveType{"Arj", ".arj", true, false, true},
    // LZH lists a CRC-16 and cpio a plain sum: the extraction checks them itself.
    ArchiveType{"Lzh", ".lzh .lha", false, false},
    ArchiveType{"Cpio", ".cpio", false, false},
};

bool acceptsEnding(std::string_view endings, NativeView name) {
    std::size_t start = 0;
    while (start < endings.size()) {
        std::size_t end = endings.find(' ', start);
        if (end == std::string_view::npos) end = endings.size();
        if (endsWithIgnoringCase(name, fromUtf8(endings.substr(start, end - start)))) return true;
        start = end + 1;
    }
    return false;
}

// The same test without making a native string of each ending: a search asks it of every
// file in a tree.
bool endsWithListed(std::string_view endings, NativeView name) {
    std::size_t start = 0;
    while (start < endings.size()) {
        std::size_t end = endings.find(' ', start);
        if (end == std::string_view::npos) end = endings.size();
        const std::string_view ending = endings.substr(start, end - start);
        bool same = ending.size() <= name.size();
        const NativeView tail = name.substr(name.size() - (same ? ending.size() : 0));
        for (std::size_t i = 0; same && i < ending.size(); ++i) {
            same = asciiLower(tail[i]) == Char(static_cast<unsigned char>(ending[i]));
        }
        if (same) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool hasArchiveEnding(NativeView name) {
    // A folder of programs is no folder of archives: a self-extractor is converted when it
    // is dropped itself.
    if (endsWithIgnoringCase(name, POMU_T(".exe"))) return false;
    for (const ArchiveType& row : kTypes) {
        if (endsWithListed(row.endings, name)) return true;
    }
    return false;
}

std::optional<ArchiveType> plainArchiveType(const Listing& listing, NativeView sourceName) {
    if (listing.nested) return std::nullopt;
    for (const ArchiveType& row : kTypes) {
        if (row.type == listing.type && acceptsEnding(row.endings, sourceName)) return row;
    }
    return std::nullopt;
}

bool isSelfExtracting(const Listing& listing, NativeView sourceName) {
    // The table names ".exe" for exactly the types that come as such a program.
    return endsWithIgnoringCase(sourceName, POMU_T(".exe")) &&
           plainArchiveType(listing, sourceName).has_value();
}

}  // namespace pomu

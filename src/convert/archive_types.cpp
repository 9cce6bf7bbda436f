// The allow-list of plain archives: their content is the files they hold, nothing more.
#include "convert/archive_types.h"

#include <array>

namespace pomu {
namespace {

constexpr std::array kTypes{
    ArchiveType{"7z", ".7z .exe", true, false},
    ArchiveType{"zip", ".zip .exe", true, false},
    ArchiveType{"Rar", ".rar .exe", true, false},
    ArchiveType{"Rar5", ".rar .exe", true, false},
    ArchiveType{"tar", ".tar", true, false},
    ArchiveType{"gzip", ".gz .tgz", true, true},
    ArchiveType{"bzip2", ".bz2 .tbz2 .tbz", true, true},
    ArchiveType{"xz", ".xz .txz", true, true},
    ArchiveType{"lzma", ".lzma", true, true},
    ArchiveType{"zstd", ".zst .tzst", true, true},
    ArchiveType{"Z", ".z .taz", true, true},
    ArchiveType{"Cab", ".cab", true, false},
    ArchiveType{"Arj", ".arj", true, false},
    // LZH lists a CRC-16 and cpio a plain sum: the extraction checks them itself.
    ArchiveType{"Lzh", ".lzh .lha", false, false},
    ArchiveType{"Cpio", ".cpio", false, false},
};

// The types that also come as a program carrying the archive.
constexpr std::array<std::string_view, 4> kSelfExtracting{"7z", "zip", "Rar", "Rar5"};

bool endsWithIgnoringCase(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    const std::string_view tail = name.substr(name.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != ending[i]) return false;
    }
    return true;
}

bool acceptsEnding(std::string_view endings, std::string_view name) {
    std::size_t start = 0;
    while (start < endings.size()) {
        std::size_t end = endings.find(' ', start);
        if (end == std::string_view::npos) end = endings.size();
        if (endsWithIgnoringCase(name, endings.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::optional<ArchiveType> plainArchiveType(const Listing& listing, std::string_view sourceName) {
    if (listing.nested) return std::nullopt;
    for (const ArchiveType& row : kTypes) {
        if (row.type == listing.type && acceptsEnding(row.endings, sourceName)) return row;
    }
    return std::nullopt;
}

bool isSelfExtracting(const Listing& listing, std::string_view sourceName) {
    if (!endsWithIgnoringCase(sourceName, ".exe") || listing.nested) return false;
    for (std::string_view type : kSelfExtracting) {
        if (type == listing.type) return true;
    }
    return false;
}

}  // namespace pomu

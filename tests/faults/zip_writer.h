// Hand-made ZIP archives, for entries no archiver would write (links out, "../" names), and RAR 4,
// RAR 5 with NTFS streams, LZH archives and tars of dates and names no file here has.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pomu::faults {

struct ZipEntry {
    std::string name;  // stored as given, with no cleaning
    std::string data;
    std::uint32_t unixMode = 0100644;  // 0120777 makes a symbolic link whose target is data
    std::uint32_t fatAttributes = 0;   // when set, made on FAT with these attributes instead
    std::string comment = {};          // the file's own comment
};

// The bytes of a ZIP holding the entries uncompressed, each with its CRC and a central
// directory entry made on Unix, so the mode is honoured.
std::string zipBytes(const std::vector<ZipEntry>& entries, const std::string& comment = {});

// The bytes of a RAR 4 archive holding the files (path with '/', data) stored, made on Windows;
// a comment goes into the "CMT" block RAR 3 writes after the archive's header.
std::string rarFourBytes(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& comment = {});

// The bytes of a RAR 5 archive holding one file stored and, after it, one NTFS alternate stream
// of that file, as rar -os writes them on Windows.
std::string rarFiveWithStreamBytes(const std::string& path, const std::string& data,
                                   const std::string& stream, const std::string& streamData);

// The bytes of an LZH archive holding the files stored (-lh0-, level 0 headers, CRC-16); a path
// ending in '/' is a folder (-lhd-).
std::string lzhBytes(const std::vector<std::pair<std::string, std::string>>& files);

// The bytes of a tar holding the files with that modification time (seconds since 1970, in
// the base-256 form that holds any), names as given, bytes that are not UTF-8 too. With a
// fraction ("123456789"), each file's time also stands in a pax record, as GNU tar writes it;
// a name longer than 100 bytes stands in one whole.
std::string tarBytes(const std::vector<std::pair<std::string, std::string>>& files,
                     std::int64_t modified, std::string_view fraction = {});

}  // namespace pomu::faults

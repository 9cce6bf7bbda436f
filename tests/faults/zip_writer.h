// Hand-made ZIP archives, for entries no archiver would write (links out, "../" names).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pomu::faults {

struct ZipEntry {
    std::string name;  // stored as given, with no cleaning
    std::string data;
    std::uint32_t unixMode = 0100644;  // 0120777 makes a symbolic link whose target is data
};

// The bytes of a ZIP holding the entries uncompressed, each with its CRC and a central
// directory entry made on Unix, so the mode is honoured.
std::string zipBytes(const std::vector<ZipEntry>& entries);

}  // namespace pomu::faults

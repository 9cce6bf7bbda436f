// Writing stored ZIP entries byte by byte.
#include "faults/zip_writer.h"

namespace pomu::faults {
namespace {

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(std::string& out, std::uint32_t value) {
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Version 2.0, no flags, stored, 1980-01-01 00:00, CRC, sizes, name length, no extra field.
void putCommon(std::string& out, const ZipEntry& entry) {
    put16(out, 20);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0x21);
    put32(out, crc32(entry.data));
    put32(out, std::uint32_t(entry.data.size()));
    put32(out, std::uint32_t(entry.data.size()));
    put16(out, std::uint32_t(entry.name.size()));
    put16(out, 0);
}

}  // namespace

std::string zipBytes(const std::vector<ZipEntry>& entries) {
    std::string out;
    std::string central;
    for (const ZipEntry& entry : entries) {
        const auto offset = std::uint32_t(out.size());
        put32(out, 0x04034B50);
        putCommon(out, entry);
        out += entry.name;
        out += entry.data;

        put32(central, 0x02014B50);
        put16(central, (3u << 8) | 20u);  // made on Unix
        putCommon(central, entry);
        put16(central, 0);  // comment length
        put16(central, 0);  // disk
        put16(central, 0);  // internal attributes
        put32(central, entry.unixMode << 16);
        put32(central, offset);
        central += entry.name;
    }
    const auto centralOffset = std::uint32_t(out.size());
    out += central;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, std::uint32_t(entries.size()));
    put16(out, std::uint32_t(entries.size()));
    put32(out, std::uint32_t(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

}  // namespace pomu::faults

// Writing stored ZIP, RAR 4, RAR 5 and LZH entries byte by byte.
#include "faults/zip_writer.h"

#include <algorithm>

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

// A RAR 4 block: header CRC (low half of the CRC-32 of the rest), type, flags, size, fields.
std::string rarBlock(std::uint32_t type, std::uint32_t flags, const std::string& fields) {
    std::string header;
    header += char(type);
    put16(header, flags);
    put16(header, std::uint32_t(7 + fields.size()));
    header += fields;
    std::string block;
    put16(block, crc32(header) & 0xFFFF);
    return block + header;
}

// RAR 5's variable-length number: seven bits a byte, lowest first.
std::string vint(std::uint64_t value) {
    std::string out;
    do {
        out += char((value & 0x7F) | (value > 0x7F ? 0x80 : 0));
        value >>= 7;
    } while (value != 0);
    return out;
}

// A RAR 5 header: CRC-32 of what follows it, its size, then the fields from the type on.
std::string rarFiveHeader(const std::string& fields) {
    std::string body = vint(fields.size()) + fields;
    std::string header;
    put32(header, crc32(body));
    return header + body;
}

// A stored RAR 5 file (type 2) or service (type 3) header and its data, made on Windows.
std::string rarFiveEntry(unsigned type, const std::string& name, const std::string& data,
                         const std::string& extra) {
    std::string fields = vint(type) + vint(extra.empty() ? 0x2 : 0x3);  // data, extra area
    if (!extra.empty()) fields += vint(extra.size());
    fields += vint(data.size());
    fields += vint(0x4) + vint(data.size()) + vint(0x20);  // CRC follows; size; archive attribute
    put32(fields, crc32(data));
    fields += vint(0) + vint(0);  // stored; Windows
    fields += vint(name.size()) + name + extra;
    return rarFiveHeader(fields) + data;
}

// CRC-16 as LZH uses it (polynomial 0xA001, reflected, starting at 0).
std::uint32_t crc16(const std::string& bytes) {
    std::uint32_t crc = 0;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xA001u & (0u - (crc & 1u)));
    }
    return crc;
}

}  // namespace

std::string zipBytes(const std::vector<ZipEntry>& entries, const std::string& comment) {
    std::string out;
    std::string central;
    for (const ZipEntry& entry : entries) {
        const auto offset = std::uint32_t(out.size());
        put32(out, 0x04034B50);
        putCommon(out, entry);
        out += entry.name;
        out += entry.data;

        put32(central, 0x02014B50);
        put16(central, entry.fatAttributes ? 20u : (3u << 8) | 20u);  // made on FAT or Unix
        putCommon(central, entry);
        put16(central, std::uint32_t(entry.comment.size()));
        put16(central, 0);  // disk
        put16(central, 0);  // internal attributes
        put32(central, entry.fatAttributes ? entry.fatAttributes : entry.unixMode << 16);
        put32(central, offset);
        central += entry.name + entry.comment;
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
    put16(out, std::uint32_t(comment.size()));
    return out + comment;
}

std::string rarFourBytes(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& comment) {
    std::string out("Rar!\x1A\x07\x00", 7);
    out += rarBlock(0x73, 0, std::string(6, '\0'));  // archive header, reserved fields
    std::vector<std::pair<std::string, std::string>> blocks;
    if (!comment.empty()) blocks.emplace_back("CMT", comment);
    blocks.insert(blocks.end(), files.begin(), files.end());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto& [path, data] = blocks[i];
        std::string name = path;
        for (char& c : name) c = c == '/' ? '\\' : c;
        std::string fields;
        put32(fields, std::uint32_t(data.size()));  // packed
        put32(fields, std::uint32_t(data.size()));  // unpacked
        fields += char(2);                          // Windows
        put32(fields, crc32(data));
        put32(fields, 0x00210021);  // 1980-01-01 00:01:02
        fields += char(20);         // version 2.0 unpacks it
        fields += char(0x30);       // stored
        put16(fields, std::uint32_t(name.size()));
        put32(fields, 0x20);  // archive attribute
        // A service block or a file; 0x8000: the data follows the header.
        const unsigned type = i == 0 && !comment.empty() ? 0x7A : 0x74;
        out += rarBlock(type, 0x8000, fields + name) + data;
    }
    return out + rarBlock(0x7B, 0x4000, "");  // end of archive
}

std::string rarFiveWithStreamBytes(const std::string& path, const std::string& data,
                                   const std::string& stream, const std::string& streamData) {
    std::string out("Rar!\x1A\x07\x01\x00", 8);
    out += rarFiveHeader(vint(1) + vint(0) + vint(0));  // main header, no archive flags
    out += rarFiveEntry(2, path, data, {});
    // A stream is a service header named STM; its name is the service data record (type 7).
    const std::string record = vint(7) + ":" + stream;
    out += rarFiveEntry(3, "STM", streamData, vint(record.size()) + record);
    return out + rarFiveHeader(vint(5) + vint(0) + vint(0));  // end of archive
}

std::string lzhBytes(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string out;
    for (const auto& [path, data] : files) {
        std::string name = path;
        const bool folder = name.ends_with('/');
        for (char& c : name) c = c == '/' ? '\\' : c;
        std::string header(folder ? "-lhd-" : "-lh0-");
        put32(header, std::uint32_t(data.size()));  // packed
        put32(header, std::uint32_t(data.size()));  // original
        put32(header, 0x00210000);                  // 1980-01-01 00:00
        header += char(folder ? 0x10 : 0x20);       // folder or archive attribute
        header += char(0);                          // level 0
        header += char(name.size());
        header += name;
        put16(header, crc16(data));
        unsigned sum = 0;
        for (const char c : header) sum += static_cast<unsigned char>(c);
        out += char(header.size());
        out += char(sum & 0xFF);
        out += header + data;
    }
    return out + std::string(1, '\0');
}

std::string tarBytes(const std::vector<std::pair<std::string, std::string>>& files,
                     std::int64_t modified, std::string_view fraction) {
    std::string out;
    const auto entry = [&](const std::string& name, char type, const std::string& data) {
        std::string header(512, '\0');
        const auto octal = [&](std::size_t at, std::size_t width, std::uint64_t value) {
            for (std::size_t i = width - 1; i-- > 0; value >>= 3)
                header[at + i] = char('0' + (value & 7));
        };
        header.replace(0, std::min<std::size_t>(name.size(), 100), name.substr(0, 100));
        octal(100, 8, 0644);
        octal(108, 8, 0);
        octal(116, 8, 0);
        octal(124, 12, data.size());
        header[136] = char(0x80);  // base-256: any time, even before 1970 or past 2242
        for (std::size_t i = 0; i < 8; ++i)
            header[147 - i] = char(std::uint64_t(modified) >> (8 * i));
        header[156] = type;
        header.replace(257, 8,
                       std::string("ustar\0"
                                   "00",
                                   8));
        std::fill(header.begin() + 148, header.begin() + 156, ' ');
        unsigned sum = 0;
        for (const char c : header) sum += static_cast<unsigned char>(c);
        octal(148, 7, sum);
        out += header + data + std::string((512 - data.size() % 512) % 512, '\0');
    };
    // A pax record "<length> <key>=<value>\n", its length counting its own digits.
    const auto record = [](const std::string& key, const std::string& value) {
        const std::string field = " " + key + "=" + value + "\n";
        std::size_t length = field.size() + 1;
        while (std::to_string(length).size() + field.size() != length) ++length;
        return std::to_string(length) + field;
    };
    for (const auto& [name, data] : files) {
        std::string pax;
        if (!fraction.empty()) {
            pax += record("mtime", std::to_string(modified) + "." + std::string(fraction));
        }
        // Longer than the header's field: the whole name stands in a pax record.
        if (name.size() > 100) pax += record("path", name);
        if (!pax.empty()) entry("PaxHeaders/entry", 'x', pax);
        entry(name, '0', data);
    }
    return out + std::string(1024, '\0');
}

}  // namespace pomu::faults

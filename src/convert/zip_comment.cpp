// Finding a ZIP's end record in its last bytes, and giving it a comment in place.
#include "convert/zip_comment.h"

#include <algorithm>

#include "platform/platform.h"

namespace pomu {
namespace {

constexpr std::string_view kEndSignature = "PK\x05\x06";
constexpr std::size_t kEndRecordBytes = 22;  // the signature to the comment's length

// The bytes at a position of the volumes taken as one stream.
std::optional<std::string> readAt(const std::vector<NativeString>& volumes,
                                  const std::vector<std::uint64_t>& sizes, std::uint64_t position,
                                  std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < volumes.size() && bytes.size() < count; ++i) {
        if (position >= sizes[i]) {
            position -= sizes[i];
            continue;
        }
        const std::size_t wanted =
            std::size_t(std::min<std::uint64_t>(count - bytes.size(), sizes[i] - position));
        const std::optional<std::string> part =
            platform::readFileRange(volumes[i], position, wanted);
        if (!part || part->size() != wanted) return std::nullopt;
        bytes += *part;
        position = 0;
    }
    if (bytes.size() != count) return std::nullopt;
    return bytes;
}

// The bytes written at a position of the volumes taken as one stream, each volume's part apart.
void placeAt(const std::vector<std::uint64_t>& sizes, std::uint64_t position,
             std::string_view bytes, std::vector<VolumeWrite>& writes) {
    for (std::size_t i = 0; i < sizes.size() && !bytes.empty(); ++i) {
        if (position >= sizes[i]) {
            position -= sizes[i];
            continue;
        }
        const std::size_t here =
            std::size_t(std::min<std::uint64_t>(bytes.size(), sizes[i] - position));
        writes.push_back({i, position, std::string(bytes.substr(0, here))});
        bytes.remove_prefix(here);
        position = 0;
    }
}

}  // namespace

std::optional<std::string> endRecordComment(std::string_view tail) {
    if (tail.size() < kEndRecordBytes) return std::nullopt;
    const auto byte = [&](std::size_t at) {
        return std::size_t(static_cast<unsigned char>(tail[at]));
    };
    // From the end: the record nearest to it whose comment reaches the end exactly.
    for (std::size_t at = tail.size() - kEndRecordBytes;; --at) {
        if (tail.substr(at, kEndSignature.size()) == kEndSignature) {
            const std::size_t length = byte(at + 20) | byte(at + 21) << 8;
            if (at + kEndRecordBytes + length == tail.size()) {
                return std::string(tail.substr(at + kEndRecordBytes));
            }
        }
        if (at == 0) return std::nullopt;
    }
}

std::optional<std::string> zipComment(NativeView path) {
    const std::optional<std::uint64_t> size = platform::readFileSize(path);
    if (!size) return std::nullopt;
    const std::size_t count =
        std::size_t(std::min<std::uint64_t>(*size, kEndRecordBytes + kMaxZipCommentBytes));
    const std::optional<std::string> tail = platform::readFileRange(path, *size - count, count);
    return tail ? endRecordComment(*tail) : std::nullopt;
}

std::vector<VolumeWrite> commentWrites(const std::vector<std::uint64_t>& sizes,
                                       std::uint64_t volumeBytes, std::string_view comment) {
    std::vector<VolumeWrite> writes;
    if (sizes.empty()) return writes;
    const std::size_t last = sizes.size() - 1;
    std::string_view rest = comment;
    const std::uint64_t room = volumeBytes == 0             ? rest.size()
                               : sizes[last] >= volumeBytes ? 0
                                                            : volumeBytes - sizes[last];
    const std::size_t here = std::size_t(std::min<std::uint64_t>(room, rest.size()));
    if (here > 0) writes.push_back({last, sizes[last], std::string(rest.substr(0, here))});
    rest.remove_prefix(here);
    // A comment is far smaller than a volume: one more holds the rest.
    if (!rest.empty()) writes.push_back({last + 1, 0, std::string(rest)});
    std::uint64_t total = 0;
    for (const std::uint64_t size : sizes) total += size;
    const std::string length{char(comment.size() & 0xFF), char((comment.size() >> 8) & 0xFF)};
    if (total >= length.size()) placeAt(sizes, total - length.size(), length, writes);
    return writes;
}

bool writeZipComment(const std::vector<NativeString>& volumes, NativeView next,
                     std::uint64_t volumeBytes, std::string_view comment) {
    if (volumes.empty() || comment.size() > kMaxZipCommentBytes) return false;
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
    for (const NativeString& volume : volumes) {
        const std::optional<std::uint64_t> size = platform::readFileSize(volume);
        if (!size) return false;
        sizes.push_back(*size);
        total += *size;
    }
    if (total < kEndRecordBytes) return false;
    const std::optional<std::string> tail =
        readAt(volumes, sizes, total - kEndRecordBytes, kEndRecordBytes);
    if (!tail || endRecordComment(*tail) != std::string()) return false;

    const std::vector<VolumeWrite> writes = commentWrites(sizes, volumeBytes, comment);
    bool created = false;
    bool written = true;
    for (const VolumeWrite& write : writes) {
        const bool fresh = write.volume == volumes.size();
        // Made empty first, so that only a volume this made is ever removed again.
        if (fresh && !created) {
            created = platform::writeFileRange(next, 0, {}, true);
            if (!created) {
                written = false;
                break;
            }
        }
        if (!platform::writeFileRange(fresh ? next : volumes[write.volume], write.offset,
                                      write.bytes, false)) {
            written = false;
            break;
        }
    }
    if (written) return true;
    // Back as 7-Zip wrote them: the text cut off, the length 0 again.
    for (std::size_t i = 0; i < volumes.size(); ++i) platform::truncateFile(volumes[i], sizes[i]);
    for (const VolumeWrite& write : writes) {
        if (write.volume < volumes.size() && write.offset < sizes[write.volume]) {
            platform::writeFileRange(volumes[write.volume], write.offset,
                                     std::string(write.bytes.size(), '\0'), false);
        }
    }
    if (created) platform::removeFile(next);
    return false;
}

}  // namespace pomu

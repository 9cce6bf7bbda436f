// Walking a RAR 4 archive's headers up to its first file, looking for its comment.
#include "convert/rar_comment.h"

#include <string>

#include "platform/platform.h"

namespace pomu {
namespace {

constexpr std::string_view kMarker{"Rar!\x1A\x07\x00", 7};
constexpr std::size_t kBlockHead = 7;  // CRC, type, flags, size
constexpr unsigned kArchiveHeader = 0x73, kFileHeader = 0x74, kOldComment = 0x75,
                   kServiceHeader = 0x7A, kEnd = 0x7B;
constexpr unsigned kCommentFlag = 0x0002, kEncryptedHeaders = 0x0080, kLargeFlag = 0x0100,
                   kDataFollows = 0x8000;
// A comment comes right after the archive's header; a few other blocks may stand before it.
constexpr int kMaxBlocks = 16;

std::uint64_t little(const std::string& bytes, std::size_t at, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

bool rarFourHasComment(NativeView path, std::uint64_t offset) {
    const std::optional<std::string> marker = platform::readFileRange(path, offset, kMarker.size());
    if (!marker || *marker != kMarker) return false;
    std::uint64_t at = offset + kMarker.size();
    for (int block = 0; block < kMaxBlocks; ++block) {
        const std::optional<std::string> head = platform::readFileRange(path, at, kBlockHead + 4);
        if (!head || head->size() < kBlockHead) return false;
        const unsigned type = unsigned(little(*head, 2, 1));
        const unsigned flags = unsigned(little(*head, 3, 2));
        const std::uint64_t size = little(*head, 5, 2);
        if (size < kBlockHead || type == kFileHeader || type == kEnd) return false;
        if (type == kArchiveHeader && (flags & kCommentFlag)) return true;
        if (type == kOldComment) return true;
        // Encrypted headers cannot be read without the password, which the source needs anyway.
        if (type == kArchiveHeader && (flags & kEncryptedHeaders)) return false;
        std::uint64_t data = 0;
        if (flags & kDataFollows) {
            if (head->size() < kBlockHead + 4) return false;
            data = little(*head, kBlockHead, 4);
        }
        if (type == kServiceHeader) {
            const std::optional<std::string> whole = platform::readFileRange(path, at, size);
            if (!whole || whole->size() != size || size < 32) return false;
            const std::size_t nameAt = (flags & kLargeFlag) ? 40 : 32;
            const std::size_t nameSize = std::size_t(little(*whole, 26, 2));
            if (nameAt + nameSize <= size && whole->substr(nameAt, nameSize) == "CMT") return true;
            if ((flags & kLargeFlag) && size >= 40) data |= little(*whole, 32, 4) << 32;
        }
        at += size + data;
    }
    return false;
}

}  // namespace pomu

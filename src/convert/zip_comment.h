// A ZIP archive's comment, the text its end record ends with: read from a source, and written
// into the new archive 7-Zip made without one, whose command line cannot give it one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace pomu {

// As much as the end record's two bytes of length can give.
inline constexpr std::size_t kMaxZipCommentBytes = 0xFFFF;

// The comment of the end record that ends the bytes exactly (an archive's last bytes).
std::optional<std::string> endRecordComment(std::string_view tail);

// The comment of the ZIP archive the file ends with; empty when no end record ends it.
std::optional<std::string> zipComment(NativeView path);

// A piece of the comment's writing: bytes at an offset of one of the volumes, or of a new one
// after them when `volume` is their count.
struct VolumeWrite {
    std::size_t volume = 0;
    std::uint64_t offset = 0;
    std::string bytes;
    bool operator==(const VolumeWrite&) const = default;
};

// What gives volumes of these sizes, ending in an end record without a comment, the comment:
// its text after the record, no volume growing past `volumeBytes` (0: no limit; the rest goes
// into a new volume), then its length in the record's last two bytes, which may lie in two
// volumes.
std::vector<VolumeWrite> commentWrites(const std::vector<std::uint64_t>& sizes,
                                       std::uint64_t volumeBytes, std::string_view comment);

// Writes the comment into the new ZIP made of these volumes (the archive alone when it is not
// split); `next` names the volume after the last. False, with the volumes as they were, when
// they do not end in an end record without a comment or a write failed.
bool writeZipComment(const std::vector<NativeString>& volumes, NativeView next,
                     std::uint64_t volumeBytes, std::string_view comment);

}  // namespace pomu

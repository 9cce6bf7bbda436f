// Whether a RAR 4 archive holds a comment of its own, which 7-Zip neither lists nor unpacks.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace pomu {

// The archive at `offset` of the file (0, or a self-extracting program's length) comes with a
// comment: RAR 2's flag in the archive's header, or the "CMT" block that RAR 3 and 4 write
// before the first file. Its headers are read up to that file.
bool rarFourHasComment(NativeView path, std::uint64_t offset);

}  // namespace pomu

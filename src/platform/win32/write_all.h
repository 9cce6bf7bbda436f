// Writing a whole buffer to an open file, a chunk at a time.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace pomu::platform::win32 {

// WriteFile takes at most a DWORD and may write less than asked; a write of nothing is a fault.
inline bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace pomu::platform::win32

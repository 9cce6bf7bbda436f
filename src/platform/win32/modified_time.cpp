// Setting a file's last-write time, through a handle opened for its attributes only.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

bool setModifiedTime(NativeView path, std::int64_t modified) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api || modified < 0) return false;
    // Attribute access alone: a file that another program reads can still be dated.
    const win32::KernelHandle file(CreateFileW(
        api->c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return false;
    const auto ticks = std::uint64_t(modified);
    const FILETIME written{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
    return SetFileTime(file.get(), nullptr, nullptr, &written) != FALSE;
}

}  // namespace pomu::platform

// Which file stands at a path, from its volume serial number and file index.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

std::optional<FileIdentity> fileIdentity(NativeView path) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return std::nullopt;
    // No access asked and every sharing allowed, so a file in use can still be looked at.
    const win32::KernelHandle file(CreateFileW(
        api->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                        (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                        std::int64_t((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                     info.ftLastWriteTime.dwLowDateTime)};
}

}  // namespace pomu::platform

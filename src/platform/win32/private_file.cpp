// Small files of this user's in the temp folder (per user on Windows), written through.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

bool writePrivateFile(NativeView path, std::string_view bytes) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api || bytes.size() > MAXDWORD) return false;
    // Written whole under a name of its own, then put in the old one's place at once.
    const NativeString fresh = *api + L".new";
    {
        const win32::KernelHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !FlushFileBuffers(file.get())) {
            return false;
        }
    }
    // It must survive a power cut that leaves the output half-written.
    return MoveFileExW(fresh.c_str(), api->c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<std::string> readPrivateFile(NativeView path, std::size_t limit) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return std::nullopt;
    const win32::KernelHandle file(CreateFileW(api->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        std::uint64_t(size.QuadPart) > limit) {
        return std::nullopt;
    }
    std::string bytes(std::size_t(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr) ||
         got != bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace pomu::platform

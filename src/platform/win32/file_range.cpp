// Reading and writing a part of a file in place, as a ZIP's end record needs.
#include <windows.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/write_all.h"

namespace pomu::platform {
namespace {

// Only a file on the disk: no folder, pipe or device of that name.
win32::KernelHandle openFile(NativeView path, DWORD access, DWORD share, DWORD disposition,
                             std::uint64_t offset) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return win32::KernelHandle();
    win32::KernelHandle file(CreateFileW(api->c_str(), access, share, nullptr, disposition,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
        return win32::KernelHandle();
    }
    return file;
}

}  // namespace

std::optional<std::string> readFileRange(NativeView path, std::uint64_t offset, std::size_t bytes) {
    const win32::KernelHandle file =
        openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING, offset);
    if (!file.valid()) return std::nullopt;
    std::string data(bytes, '\0');
    std::size_t done = 0;
    while (done < bytes) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes - done, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(file.get(), data.data() + done, chunk, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        done += got;
    }
    data.resize(done);
    return data;
}

bool writeFileRange(NativeView path, std::uint64_t offset, std::string_view bytes, bool create) {
    const win32::KernelHandle file =
        openFile(path, GENERIC_WRITE, FILE_SHARE_READ, create ? CREATE_NEW : OPEN_EXISTING, offset);
    if (!file.valid()) return false;
    return win32::writeAll(file.get(), bytes);
}

bool truncateFile(NativeView path, std::uint64_t size) {
    const win32::KernelHandle file =
        openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, size);
    return file.valid() && SetEndOfFile(file.get()) != 0;
}

}  // namespace pomu::platform

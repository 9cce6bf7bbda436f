// Which file stands at a path, from its volume serial number and file index, and its kind.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

std::int64_t ticks(const FILETIME& time) {
    return std::int64_t((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// NTFS numbers a file record anew each time it is reused, in the index's top bits: its index
// is never another file's later. Elsewhere (FAT, exFAT) an index can come back with a name.
std::int64_t generationOf(HANDLE file) {
    wchar_t system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, system,
                                       MAX_PATH + 1)) {
        return 0;
    }
    return std::wstring_view(system) == L"NTFS" ? 1 : 0;
}

// Opened for nothing but looking, every sharing allowed, so a file in use can still be seen.
win32::KernelHandle openToLook(NativeView path, DWORD flags) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return win32::KernelHandle();
    return win32::KernelHandle(CreateFileW(api->c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, flags, nullptr));
}

}  // namespace

std::optional<FileIdentity> fileIdentity(NativeView path) {
    const win32::KernelHandle file =
        openToLook(path, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                        (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                        ticks(info.ftLastWriteTime), generationOf(file.get())};
}

FileKind fileKind(NativeView path) {
    // Links are followed: the kind is that of what the archiver would open.
    const win32::KernelHandle file = openToLook(path, FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) {
        return pathExists(path) ? FileKind::other : FileKind::missing;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::folder;
    switch (GetFileType(file.get())) {
        case FILE_TYPE_DISK:
            return FileKind::regular;
        case FILE_TYPE_PIPE:
            return FileKind::fifo;
        case FILE_TYPE_CHAR:
            return FileKind::device;
        default:
            return FileKind::other;
    }
}

}  // namespace pomu::platform

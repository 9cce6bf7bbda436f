// Which file stands at a path, from its volume serial number and file index, and its kind.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/file_identity.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

std::int64_t ticks(const FILETIME& time) {
    return std::int64_t((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// NTFS numbers a file record anew each time it is reused, in the index's top bits: its index
// is never another file's later. Elsewhere (FAT, exFAT, ReFS) an index can come back with a
// name, and a network share that calls itself NTFS (Samba) hands on the server's inode
// numbers, which are reused: only a local NTFS drive is trusted.
std::int64_t generationOf(HANDLE file, const NativeString& api) {
    wchar_t system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, system,
                                       MAX_PATH + 1) ||
        std::wstring_view(system) != L"NTFS") {
        return 0;
    }
    std::wstring root(api.size() + 1, L'\0');
    if (!GetVolumePathNameW(api.c_str(), root.data(), DWORD(root.size()))) return 0;
    const UINT type = GetDriveTypeW(root.c_str());
    return type == DRIVE_FIXED || type == DRIVE_REMOVABLE ? 1 : 0;
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

std::optional<FileIdentity> identityOf(HANDLE file, const NativeString& api) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                        (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                        ticks(info.ftLastWriteTime), generationOf(file, api)};
}

std::optional<FileIdentity> fileIdentity(NativeView path) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return std::nullopt;
    const win32::KernelHandle file =
        openToLook(path, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    return file.valid() ? identityOf(file.get(), *api) : std::nullopt;
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

// Appending to a file, renaming over another, and the folder test, with the wide file functions.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/write_all.h"

namespace pomu::platform {

bool isFolder(NativeView path) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return false;
    const DWORD attributes = GetFileAttributesW(api->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool appendToFile(NativeView path, std::string_view bytes) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return false;
    // Shared for reading, writing and renaming, so a viewer holding the log open stops
    // nothing; one that holds it with no sharing makes this fail at once.
    const win32::KernelHandle file(CreateFileW(
        api->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    return win32::writeAll(file.get(), bytes);
}

bool renameFile(NativeView from, NativeView to) {
    const std::optional<NativeString> source = win32::apiPath(from);
    const std::optional<NativeString> target = win32::apiPath(to);
    return source && target &&
           MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace pomu::platform

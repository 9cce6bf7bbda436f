// Windows settings and log locations: the executable's path with ".ini", and pomu.log beside it.
#include <shlwapi.h>
#include <windows.h>

#include "platform/platform.h"

namespace pomu::platform {

std::optional<NativeString> settingsFilePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A full buffer means the path was cut; a cut path would name another file.
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    if (!PathRenameExtensionW(path, L".ini")) return std::nullopt;
    return NativeString(path);
}

std::optional<NativeString> logFilePath() {
    std::optional<NativeString> path = settingsFilePath();
    if (!path) return std::nullopt;
    const std::size_t cut = path->find_last_of(L"\\/");
    path->resize(cut == NativeString::npos ? 0 : cut + 1);
    *path += L"pomu.log";
    if (!fitsPath(*path)) return std::nullopt;
    return path;
}

}  // namespace pomu::platform

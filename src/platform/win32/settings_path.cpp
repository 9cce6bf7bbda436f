// Windows settings file location: the executable's own path with the extension ".ini".
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

}  // namespace pomu::platform

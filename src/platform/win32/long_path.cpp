// The \\?\ long-path form: full path, UNC mapping, trailing separators.
#include "platform/win32/long_path.h"

#include <windows.h>

namespace pomu::platform::win32 {
namespace {

constexpr NativeView kExtendedPrefix = L"\\\\?\\";
constexpr NativeView kDevicePrefix = L"\\\\.\\";
constexpr NativeView kUncPrefix = L"\\\\?\\UNC\\";

bool startsWith(NativeView text, NativeView start) {
    return text.size() >= start.size() && text.substr(0, start.size()) == start;
}

// "\\?\C:\" keeps its separator: without it the path names the drive's current folder.
bool isDriveRoot(NativeView extended) {
    return extended.size() == kExtendedPrefix.size() + 3 &&
           extended[kExtendedPrefix.size() + 1] == L':';
}

std::optional<NativeString> fullPath(NativeView path) {
    const NativeString given(path);
    const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    NativeString full(needed, L'\0');
    const DWORD written = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return std::nullopt;
    full.resize(written);
    return full;
}

}  // namespace

std::optional<NativeString> extendedPath(NativeView path) {
    if (path.empty() || path.find(L'\0') != NativeView::npos) return std::nullopt;
    NativeString extended;
    if (startsWith(path, kExtendedPrefix)) {
        extended = path;
    } else {
        std::optional<NativeString> full = fullPath(path);
        if (!full) return std::nullopt;
        if (startsWith(*full, kDevicePrefix)) {
            extended = NativeString(kExtendedPrefix) + full->substr(kDevicePrefix.size());
        } else if (startsWith(*full, L"\\\\")) {
            extended = NativeString(kUncPrefix) + full->substr(2);
        } else if (full->size() >= 3 && (*full)[1] == L':' && (*full)[2] == L'\\') {
            extended = NativeString(kExtendedPrefix) + *full;
        } else {
            return std::nullopt;
        }
    }
    while (extended.size() > kExtendedPrefix.size() && extended.back() == L'\\' &&
           !isDriveRoot(extended)) {
        extended.pop_back();
    }
    return extended;
}

std::optional<NativeString> apiPath(NativeView path) {
    if (path.empty() || path.find(L'\0') != NativeView::npos) return std::nullopt;
    if (path.size() < kLongFormFrom) return NativeString(path);
    return extendedPath(path);
}

std::optional<std::pair<NativeString, NativeString>> splitParent(NativeView extended) {
    const std::size_t last = extended.find_last_of(L'\\');
    if (last == NativeView::npos || last + 1 >= extended.size() || last < kExtendedPrefix.size()) {
        return std::nullopt;
    }
    NativeString folder(extended.substr(0, last));
    if (folder.size() == kExtendedPrefix.size() + 2 && folder.back() == L':') folder += L'\\';
    return std::make_pair(std::move(folder), NativeString(extended.substr(last + 1)));
}

NativeString joinPath(NativeView folder, NativeView name) {
    NativeString path(folder);
    if (path.empty() || path.back() != L'\\') path += L'\\';
    path += name;
    return path;
}

}  // namespace pomu::platform::win32

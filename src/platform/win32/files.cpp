// Existence, size, folder creation and removal, file removal, temp folder.
#include <windows.h>

#include <iterator>

#include "platform/platform.h"
#include "platform/win32/entry.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

using win32::apiPath;

std::optional<DWORD> attributesOf(NativeView path) {
    const std::optional<NativeString> api = apiPath(path);
    if (!api) return std::nullopt;
    const DWORD attributes = GetFileAttributesW(api->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

// The entry itself even when the path ends in a separator, which would resolve a link.
std::optional<DWORD> ownAttributesOf(NativeView path) {
    const std::optional<NativeString> extended = win32::extendedPath(path);
    if (!extended) return std::nullopt;
    const DWORD attributes = GetFileAttributesW(extended->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

// The entry as its folder lists it: its own spelling, and its long name even when a short
// one was given.
std::optional<WIN32_FIND_DATAW> listedEntry(NativeView path) {
    const std::optional<NativeString> api = apiPath(path);
    if (!api) return std::nullopt;
    WIN32_FIND_DATAW data;
    const win32::FindHandle find(FindFirstFileW(api->c_str(), &data));
    if (!find.valid()) return std::nullopt;
    return data;
}

}  // namespace

bool pathExists(NativeView path) {
    return attributesOf(path).has_value();
}

std::optional<NativeString> findPathIgnoringCase(NativeView path) {
    if (!pathExists(path)) return std::nullopt;
    const std::size_t cut = path.find_last_of(L"\\/");
    const NativeView asked = cut == NativeView::npos ? path : path.substr(cut + 1);
    if (asked.empty()) return NativeString(path);  // a root, or a folder with its separator
    // The system matches every letter's case; the folder's own spelling tells whether only
    // A-Z differ, and is the name returned.
    const std::optional<WIN32_FIND_DATAW> listed = listedEntry(path);
    if (!listed) return std::nullopt;
    if (equalsIgnoringCase(listed->cAlternateFileName, asked)) return NativeString(path);
    if (!equalsIgnoringCase(listed->cFileName, asked)) return std::nullopt;
    return NativeString(path.substr(0, path.size() - asked.size())) + listed->cFileName;
}

std::optional<std::uint64_t> readFileSize(NativeView path) {
    const std::optional<NativeString> api = apiPath(path);
    if (!api) return std::nullopt;
    const win32::KernelHandle file(CreateFileW(api->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return std::nullopt;
    return (std::uint64_t(high) << 32) | low;
}

bool createFolder(NativeView path) {
    const std::optional<NativeString> api = apiPath(path);
    return api && CreateDirectoryW(api->c_str(), nullptr) != 0;
}

bool hide(NativeView path) {
    const std::optional<DWORD> attributes = ownAttributesOf(path);
    const std::optional<NativeString> api = apiPath(path);
    return attributes && api &&
           SetFileAttributesW(api->c_str(), *attributes | FILE_ATTRIBUTE_HIDDEN) != 0;
}

bool removeFolder(NativeView path) {
    // Not a link: Wine removes an empty folder a Unix link points to, and leaves the link.
    const std::optional<DWORD> attributes = ownAttributesOf(path);
    if (!attributes || (*attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    const std::optional<NativeString> extended = win32::extendedPath(path);
    return extended && RemoveDirectoryW(extended->c_str()) != 0;
}

bool removeFile(NativeView path) {
    const std::optional<win32::OpenedEntry> entry = win32::openEntry(path, true);
    if (!entry) return false;
    if (entry->isLink()) return win32::deleteEntry(*entry);
    if (entry->isFolder()) return false;
    // Where the folder can be located, the file must lie in it and not be a link's target.
    const std::optional<NativeString> extended = win32::extendedPath(path);
    const auto parts = extended ? win32::splitParent(*extended) : std::nullopt;
    const std::optional<WIN32_FIND_DATAW> listed = listedEntry(path);
    if (!parts || !listed) return false;
    const std::optional<win32::OpenedEntry> folder = win32::openEntry(parts->first, false);
    const std::optional<win32::Location> where = folder ? win32::locate(*folder) : std::nullopt;
    if (where && !win32::liesIn(*entry, *where, listed->cFileName)) return false;
    return win32::deleteEntry(*entry);
}

bool folderHasEntries(NativeView folder) {
    const std::optional<NativeString> extended = win32::extendedPath(folder);
    if (!extended) return false;
    const NativeString pattern = win32::joinPath(*extended, L"*");
    WIN32_FIND_DATAW data;
    const win32::FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find.valid()) return false;
    do {
        const NativeView name(data.cFileName);
        if (name != L"." && name != L"..") return true;
    } while (FindNextFileW(find.get(), &data));
    return false;
}

std::optional<NativeString> tempFolder() {
    wchar_t buffer[kMaxPathChars + 2] = {};  // 261: one more than a path buffer
    const DWORD length = GetTempPathW(DWORD(std::size(buffer)), buffer);
    if (length == 0 || length > kMaxPathChars) return std::nullopt;
    NativeString folder(buffer, length);
    if (folder.back() != L'\\') folder += L'\\';
    if (!fitsPath(folder)) return std::nullopt;
    return folder;
}

std::optional<NativeString> lastingFolder() {
    return std::nullopt;
}

bool isPrivateFolder(NativeView path) {
    const std::optional<DWORD> attributes = ownAttributesOf(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(*attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace pomu::platform

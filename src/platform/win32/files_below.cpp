// Walking a folder's files with the find functions, at any path length, links not followed.
#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

// The entries of one folder in large batches, without the short names nobody reads.
win32::FindHandle findFirst(const NativeString& pattern, WIN32_FIND_DATAW& data) {
    return win32::FindHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                              FindExSearchNameMatch, nullptr,
                                              FIND_FIRST_EX_LARGE_FETCH));
}

}  // namespace

std::optional<std::vector<FolderFile>> filesBelow(NativeView folder) {
    const std::optional<NativeString> root = win32::extendedPath(folder);
    if (!root) return std::nullopt;
    std::vector<FolderFile> files;
    // A stack, not recursion, so a deep tree cannot exhaust the thread's stack. Each folder is
    // kept by its place relative to the walked one ("a\b\", or empty for the walked one itself):
    // the full path is made once, when the folder is listed.
    std::vector<NativeString> pending{NativeString()};
    while (!pending.empty()) {
        const NativeString prefix = std::move(pending.back());
        pending.pop_back();
        const NativeString pattern = win32::joinPath(*root, prefix + L"*");
        WIN32_FIND_DATAW data;
        const win32::FindHandle find = findFirst(pattern, data);
        if (!find.valid()) return std::nullopt;
        do {
            const NativeView name(data.cFileName);
            if (name == L"." || name == L"..") continue;
            const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            NativeString relative = prefix + NativeString(name);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link) {
                pending.push_back(relative + L"\\");
                files.push_back({std::move(relative), 0, false, true, std::nullopt});
                continue;
            }
            const std::uint64_t size =
                (std::uint64_t(data.nFileSizeHigh) << 32) | std::uint64_t(data.nFileSizeLow);
            // A link's target is not read here: the proof keeps the source of any link.
            files.push_back({std::move(relative), size, link, false, std::nullopt});
        } while (FindNextFileW(find.get(), &data));
        if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    }
    return files;
}

}  // namespace pomu::platform

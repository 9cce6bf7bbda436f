// Removing everything inside a folder without following links, at any path length.
#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/entry.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

// One folder being listed. Folders are walked with a stack, not by recursion, so a deep tree
// cannot exhaust the thread's stack.
struct Level {
    NativeString path;                        // \\?\ form
    std::optional<win32::Location> location;  // empty when the system cannot tell it
    bool removeWhenDone = false;              // false for the folder being cleared
    win32::FindHandle find;
};

bool isDotEntry(NativeView name) {
    return name == L"." || name == L"..";
}

bool nextEntry(Level& level, WIN32_FIND_DATAW& data) {
    if (level.find.valid()) return FindNextFileW(level.find.get(), &data) != 0;
    const NativeString pattern = win32::joinPath(level.path, L"*");
    level.find = win32::FindHandle(FindFirstFileW(pattern.c_str(), &data));
    return level.find.valid();
}

// The entry to descend into or delete, or empty when it must be left alone: it could not be
// opened, or it is not what the listing showed (a link Wine followed while opening).
std::optional<win32::OpenedEntry> openListed(const Level& level, const WIN32_FIND_DATAW& data,
                                             const NativeString& path) {
    std::optional<win32::OpenedEntry> entry = win32::openEntry(path, true);
    if (!entry) return std::nullopt;
    const bool listedAsLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (listedAsLink && !entry->isLink()) return std::nullopt;
    if (!entry->isLink() && level.location &&
        !win32::liesIn(*entry, *level.location, data.cFileName)) {
        return std::nullopt;
    }
    return entry;
}

// Removes a folder whose listing is done. It was not held open meanwhile (a handle that may
// delete it would keep the listing from opening it), so it is checked again.
void removeListedFolder(const Level& level) {
    const std::optional<win32::OpenedEntry> folder = win32::openEntry(level.path, true);
    if (!folder || folder->isLink() || !folder->isFolder()) return;
    if (level.location && win32::locate(*folder) != level.location) return;
    win32::deleteEntry(*folder);
}

}  // namespace

void clearFolderContents(NativeView folder) {
    const std::optional<NativeString> root = win32::extendedPath(folder);
    if (!root) return;
    const std::optional<win32::OpenedEntry> rootEntry = win32::openEntry(*root, false);
    // A link standing for the folder would lead outside it.
    if (!rootEntry || !rootEntry->isFolder() || rootEntry->isLink()) return;

    std::vector<Level> levels;
    levels.push_back(Level{*root, win32::locate(*rootEntry), false, {}});
    WIN32_FIND_DATAW data;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (!nextEntry(level, data)) {
            // Listing done: close it, then remove the emptied folder itself.
            Level done = std::move(level);
            levels.pop_back();
            done.find.reset();
            if (done.removeWhenDone) removeListedFolder(done);
            continue;
        }
        if (isDotEntry(data.cFileName)) continue;
        NativeString path = win32::joinPath(level.path, data.cFileName);
        std::optional<win32::OpenedEntry> entry = openListed(level, data, path);
        if (!entry) continue;  // left where it is; the listing goes on
        if (entry->isLink() || !entry->isFolder()) {
            win32::deleteEntry(*entry);  // a link goes as a link, never what it points to
            continue;
        }
        std::optional<win32::Location> location = win32::locate(*entry);
        if (level.location && !location) continue;
        entry.reset();
        levels.push_back(Level{std::move(path), std::move(location), true, {}});
    }
}

}  // namespace pomu::platform

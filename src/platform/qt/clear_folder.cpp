// Clearing a folder's contents through descriptors, so links are never followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

using posix::UniqueFd;

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One folder on the way down: who it is, its name in the folder above, and the subfolders
// still to be cleared. Only the deepest folder is held open, so depth costs no descriptors.
struct Level {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;
    std::vector<std::string> subfolders;
};

// Deletes every entry that is not a folder (links included, as links) and lists the folders.
// The listing's entry type spares a stat per entry, as rm does: unlinkat without
// AT_REMOVEDIR never removes a folder nor follows a link, so an entry whose type is unknown or
// stale fails there and is then looked at with a stat.
bool scanLevel(int folderFd, std::string name, Level& level) {
    struct stat info;
    if (::fstat(folderFd, &info) != 0) return false;
    level.device = info.st_dev;
    level.inode = info.st_ino;
    level.name = std::move(name);
    std::vector<std::pair<std::string, unsigned char>> entries;
    {
        const posix::DirStream listing = posix::listFolder(folderFd);
        if (!listing.valid()) return true;
        while (const dirent* entry = ::readdir(listing.get())) {
            if (!posix::isDotOrDotDot(entry->d_name)) {
                entries.emplace_back(entry->d_name, entry->d_type);
            }
        }
    }
    for (auto& [entry, type] : entries) {
        if (type == DT_DIR) {
            level.subfolders.push_back(std::move(entry));  // opened later without following links
            continue;
        }
        if (::unlinkat(folderFd, entry.c_str(), 0) == 0 || (errno != EISDIR && errno != EPERM)) {
            continue;
        }
        struct stat entryInfo;
        if (::fstatat(folderFd, entry.c_str(), &entryInfo, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(entryInfo.st_mode)) {
            level.subfolders.push_back(std::move(entry));
        }
    }
    return true;
}

// Opens a subfolder for clearing, never through a link and never onto another filesystem,
// and gives it owner read, write and search permission so its entries can be removed.
UniqueFd openSubfolder(int parentFd, const std::string& name, dev_t device) {
    UniqueFd child(::openat(parentFd, name.c_str(), kFolderOpenFlags));
    if (!child.valid() && errno == EACCES) {
        struct stat info;
        // With AT_SYMLINK_NOFOLLOW the C library changes the mode through a descriptor that
        // did not follow a link, so a link swapped in is refused rather than followed.
        if (::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode) &&
            ::fchmodat(parentFd, name.c_str(), (info.st_mode & 07777) | S_IRWXU,
                       AT_SYMLINK_NOFOLLOW) == 0) {
            child.reset(::openat(parentFd, name.c_str(), kFolderOpenFlags));
        }
    }
    struct stat info;
    if (!child.valid() || ::fstat(child.get(), &info) != 0 || info.st_dev != device) {
        return UniqueFd();
    }
    if ((info.st_mode & S_IRWXU) != S_IRWXU) {
        ::fchmod(child.get(), (info.st_mode & 07777) | S_IRWXU);
    }
    return child;
}

bool isFolder(int fd, const Level& level) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && info.st_dev == level.device && info.st_ino == level.inode;
}

}  // namespace

void clearFolderContents(NativeView folder) {
    // Without trailing separators O_NOFOLLOW refuses a link given as the folder itself.
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(folder);
    if (!text) return;
    UniqueFd current(::open(text->c_str(), kFolderOpenFlags));
    if (!current.valid()) return;

    std::vector<Level> levels(1);
    if (!scanLevel(current.get(), std::string(), levels.back())) return;
    const dev_t device = levels.front().device;
    // Iterates instead of recursing, so a tree thousands of folders deep needs no stack.
    while (!levels.empty()) {
        Level& top = levels.back();
        if (!top.subfolders.empty()) {
            const std::string name = std::move(top.subfolders.back());
            top.subfolders.pop_back();
            UniqueFd child = openSubfolder(current.get(), name, device);
            if (!child.valid()) continue;  // left in place, as an entry that cannot be removed
            Level next;
            if (!scanLevel(child.get(), name, next)) continue;
            current = std::move(child);
            levels.push_back(std::move(next));
            continue;
        }
        if (levels.size() == 1) return;
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        // A folder moved away while being cleared: stop rather than act on some other one.
        if (!parent.valid() || !isFolder(parent.get(), levels[levels.size() - 2])) return;
        const std::string name = std::move(top.name);
        levels.pop_back();
        current = std::move(parent);
        ::unlinkat(current.get(), name.c_str(), AT_REMOVEDIR);
    }
}

}  // namespace pomu::platform

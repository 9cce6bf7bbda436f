// Walking a folder's files through descriptors, links not followed, one descriptor at any depth.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

using posix::UniqueFd;

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The target as the link holds it; none when it cannot be read whole.
std::optional<std::string> linkTarget(int folderFd, const char* name, const struct stat& info) {
    std::string target(std::size_t(info.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(folderFd, name, target.data(), target.size());
    if (length < 0 || std::size_t(length) >= target.size()) return std::nullopt;
    target.resize(std::size_t(length));
    return target;
}

// A folder on the way down: who it is, so the way back up can be checked, its place below
// the walked folder, and its subfolders still to be walked.
struct Level {
    dev_t device = 0;
    ino_t inode = 0;
    std::string prefix;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
};

// Lists one open folder: each entry into `files`, each subfolder into the level.
bool listLevel(int folderFd, Level& level, std::vector<FolderFile>& files) {
    struct stat self;
    if (::fstat(folderFd, &self) != 0) return false;
    level.device = self.st_dev;
    level.inode = self.st_ino;
    const posix::DirStream listing = posix::listFolder(folderFd);
    if (!listing.valid()) return false;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (posix::isDotOrDotDot(entry->d_name)) continue;
        FolderFile file{level.prefix + entry->d_name, 0, false, entry->d_type == DT_DIR,
                        std::nullopt};
        // A folder the listing names as one needs no stat: it is opened without following a
        // link when its turn comes. Files are looked at for their sizes.
        if (!file.folder) {
            struct stat info;
            if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
            file.folder = S_ISDIR(info.st_mode);
            file.link = S_ISLNK(info.st_mode);
            if (!file.folder) file.size = std::uint64_t(info.st_size);
            if (file.link) file.linkTarget = linkTarget(folderFd, entry->d_name, info);
        }
        if (file.folder) level.subfolders.emplace_back(entry->d_name);
        files.push_back(std::move(file));
    }
    return true;
}

}  // namespace

std::optional<std::vector<FolderFile>> filesBelow(NativeView folder) {
    const std::optional<std::string> path = posix::cPath(folder);
    if (!path) return std::nullopt;
    UniqueFd current(::open(path->c_str(), kFolderOpenFlags));
    std::vector<FolderFile> files;
    std::vector<Level> levels(1);
    if (!current.valid() || !listLevel(current.get(), levels.back(), files)) return std::nullopt;
    // Down into each subfolder once its folder is listed, and back up through "..", checked to
    // be the folder it came from: only the deepest folder is held open.
    while (levels.size() > 1 || levels.back().next < levels.back().subfolders.size()) {
        Level& top = levels.back();
        if (top.next < top.subfolders.size()) {
            const std::string& name = top.subfolders[top.next++];
            UniqueFd child(::openat(current.get(), name.c_str(), kFolderOpenFlags));
            Level below;
            below.prefix = top.prefix + name + "/";
            if (!child.valid() || !listLevel(child.get(), below, files)) return std::nullopt;
            current = std::move(child);
            levels.push_back(std::move(below));
            continue;
        }
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const Level& above = levels[levels.size() - 2];
        struct stat info;
        if (!parent.valid() || ::fstat(parent.get(), &info) != 0 || info.st_dev != above.device ||
            info.st_ino != above.inode) {
            return std::nullopt;  // moved while it was walked: not all of it can be told
        }
        levels.pop_back();
        current = std::move(parent);
    }
    return files;
}

}  // namespace pomu::platform

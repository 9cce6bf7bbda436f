// Walking a folder's files through descriptors, links not followed.
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

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The target as the link holds it; none when it cannot be read whole.
std::optional<std::string> linkTarget(int folderFd, const char* name, const struct stat& info) {
    std::string target(std::size_t(info.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(folderFd, name, target.data(), target.size());
    if (length < 0 || std::size_t(length) >= target.size()) return std::nullopt;
    target.resize(std::size_t(length));
    return target;
}

// Lists one folder; its subfolders are walked after it, so only one descriptor is open per
// level on the way down.
bool walk(int folderFd, const std::string& prefix, std::vector<FolderFile>& files) {
    std::vector<std::string> subfolders;
    {
        const posix::DirStream listing = posix::listFolder(folderFd);
        if (!listing.valid()) return false;
        while (const dirent* entry = ::readdir(listing.get())) {
            if (posix::isDotOrDotDot(entry->d_name)) continue;
            FolderFile file{prefix + entry->d_name, 0, false, entry->d_type == DT_DIR,
                            std::nullopt};
            // A folder the listing names as one needs no stat: it is opened without following
            // a link when its turn comes. Files are looked at for their sizes.
            if (!file.folder) {
                struct stat info;
                if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                    return false;
                file.folder = S_ISDIR(info.st_mode);
                file.link = S_ISLNK(info.st_mode);
                if (!file.folder) file.size = std::uint64_t(info.st_size);
                if (file.link) file.linkTarget = linkTarget(folderFd, entry->d_name, info);
            }
            if (file.folder) subfolders.emplace_back(entry->d_name);
            files.push_back(std::move(file));
        }
    }
    for (const std::string& name : subfolders) {
        const posix::UniqueFd child(::openat(folderFd, name.c_str(), kFolderOpenFlags));
        if (!child.valid() || !walk(child.get(), prefix + name + "/", files)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<FolderFile>> filesBelow(NativeView folder) {
    const std::optional<std::string> path = posix::cPath(folder);
    if (!path) return std::nullopt;
    const posix::UniqueFd root(::open(path->c_str(), kFolderOpenFlags));
    std::vector<FolderFile> files;
    if (!root.valid() || !walk(root.get(), std::string(), files)) return std::nullopt;
    return files;
}

}  // namespace pomu::platform

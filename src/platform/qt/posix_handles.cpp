// Path-text helpers, folder listing over descriptors, and making missing folders.
#include "platform/qt/posix_handles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace pomu::platform::posix {

DirStream listFolder(int folderFd) {
    // fdopendir takes its descriptor over, so it gets a fresh one of its own.
    UniqueFd own(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!own.valid()) return DirStream(nullptr);
    DIR* dir = ::fdopendir(own.get());
    if (dir) own.release();
    return DirStream(dir);
}

std::optional<std::string> cPath(NativeView path) {
    if (path.empty() || path.find('\0') != NativeView::npos) return std::nullopt;
    return std::string(path);
}

std::optional<std::string> cPathWithoutTrailingSeparators(NativeView path) {
    std::optional<std::string> text = cPath(path);
    if (!text) return std::nullopt;
    while (text->size() > 1 && text->back() == '/') text->pop_back();
    return text;
}

std::string parentFolder(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    while (slash > 0 && path[slash - 1] == '/') --slash;
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ensureFolder(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (errno != ENOENT) return false;
    const std::string parent = parentFolder(folder);
    if (parent != folder && !ensureFolder(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace pomu::platform::posix

// Path-text helpers and folder listing over descriptors.
#include "platform/qt/posix_handles.h"

#include <fcntl.h>

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

}  // namespace pomu::platform::posix

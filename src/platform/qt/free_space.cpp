// The room left on a folder's file system, from statvfs.
#include <sys/statvfs.h>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

std::optional<FreeSpace> freeSpace(NativeView folder) {
    const std::optional<std::string> text = posix::cPath(folder);
    struct statvfs info {};
    if (!text || ::statvfs(text->c_str(), &info) != 0) return std::nullopt;
    FreeSpace space;
    const std::uint64_t block = info.f_frsize ? info.f_frsize : info.f_bsize;
    space.bytes = std::uint64_t(info.f_bavail) * block;
    space.blockSize = block;
    space.total = std::uint64_t(info.f_blocks) * block;
    space.longestName = info.f_namemax;
    // A file system that counts no inodes (btrfs) has no limit on files.
    if (info.f_files > 0) space.files = std::uint64_t(info.f_favail);
    return space;
}

}  // namespace pomu::platform

// Which file stands at a path, and what kind of file, from statx and stat.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/platform.h"
#include "platform/qt/file_identity.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

std::optional<FileIdentity> identityAt(int folderFd, const char* path, int flags) {
    struct statx info {};
    if (::statx(folderFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        return std::nullopt;
    }
    constexpr std::int64_t kNano = 1'000'000'000;
    // A file system without birth times leaves the generation unknown.
    const std::int64_t born =
        (info.stx_mask & STATX_BTIME)
            ? std::int64_t(info.stx_btime.tv_sec) * kNano + info.stx_btime.tv_nsec
            : 0;
    return FileIdentity{std::uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor)),
                        std::uint64_t(info.stx_ino), std::uint64_t(info.stx_size),
                        std::int64_t(info.stx_mtime.tv_sec) * kNano + info.stx_mtime.tv_nsec, born};
}

std::optional<FileIdentity> fileIdentity(NativeView path) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    if (!text) return std::nullopt;
    return identityAt(AT_FDCWD, text->c_str(), AT_SYMLINK_NOFOLLOW);
}

FileKind fileKind(NativeView path) {
    const std::optional<std::string> text = posix::cPath(path);
    struct stat info {};
    if (!text || ::stat(text->c_str(), &info) != 0) return FileKind::missing;
    if (S_ISREG(info.st_mode)) return FileKind::regular;
    if (S_ISDIR(info.st_mode)) return FileKind::folder;
    if (S_ISFIFO(info.st_mode)) return FileKind::fifo;
    if (S_ISSOCK(info.st_mode)) return FileKind::socket;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return FileKind::device;
    return FileKind::other;
}

}  // namespace pomu::platform

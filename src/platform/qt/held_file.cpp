// Holding the file the archiver writes, and flushing finished outputs to the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

// Read-only and without blocking: a fifo put in the file's place is never waited for.
constexpr int kLookFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

posix::UniqueFd openRegular(NativeView path) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    if (!text) return {};
    posix::UniqueFd fd(::open(text->c_str(), kLookFlags));
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return fd;
}

// The identity as fileIdentity gives it, of the open file itself.
std::optional<FileIdentity> identityOf(int fd) {
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return {};
    constexpr std::int64_t kNano = 1'000'000'000;
    const std::int64_t born =
        (info.stx_mask & STATX_BTIME)
            ? std::int64_t(info.stx_btime.tv_sec) * kNano + info.stx_btime.tv_nsec
            : 0;
    return FileIdentity{std::uint64_t(makedev(info.stx_dev_major, info.stx_dev_minor)),
                        std::uint64_t(info.stx_ino), std::uint64_t(info.stx_size),
                        std::int64_t(info.stx_mtime.tv_sec) * kNano + info.stx_mtime.tv_nsec, born};
}

}  // namespace

struct HeldFile::Impl {
    posix::UniqueFd fd;
    dev_t device = 0;
    ino_t inode = 0;
};

HeldFile::HeldFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HeldFile::HeldFile(HeldFile&&) noexcept = default;
HeldFile& HeldFile::operator=(HeldFile&&) noexcept = default;
HeldFile::~HeldFile() = default;

// An inode stays allocated while it is open: no other file can take its number meanwhile.
bool HeldFile::standsAt(NativeView path) const {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    struct stat info;
    return text && ::lstat(text->c_str(), &info) == 0 && info.st_dev == impl_->device &&
           info.st_ino == impl_->inode;
}

std::optional<HeldFile> holdFile(NativeView path) {
    posix::UniqueFd fd = openRegular(path);
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return std::nullopt;
    auto impl = std::make_unique<HeldFile::Impl>();
    impl->fd = std::move(fd);
    impl->device = info.st_dev;
    impl->inode = info.st_ino;
    return HeldFile(std::move(impl));
}

bool flushFile(NativeView path, const FileIdentity& identity) {
    const posix::UniqueFd fd = openRegular(path);
    // The check and the flush go through one descriptor: what is flushed is what was checked.
    const std::optional<FileIdentity> now = fd.valid() ? identityOf(fd.get()) : std::nullopt;
    return now && *now == identity && ::fsync(fd.get()) == 0;
}

bool flushFolder(NativeView folder) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(folder);
    if (!text) return false;
    const posix::UniqueFd fd(::open(text->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return false;
    // A file system that keeps no folder of its own to flush (some FUSE ones) says so; what it
    // holds is then as far on its way as it can be sent.
    return ::fsync(fd.get()) == 0 || errno == EINVAL || errno == ENOTSUP;
}

}  // namespace pomu::platform

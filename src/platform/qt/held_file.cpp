// Holding the file the archiver writes, and flushing finished outputs to the disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/qt/file_identity.h"
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
    const std::optional<FileIdentity> now =
        fd.valid() ? identityAt(fd.get(), "", AT_EMPTY_PATH) : std::nullopt;
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

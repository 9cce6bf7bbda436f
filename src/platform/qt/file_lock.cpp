// Exclusive lock files held with flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/qt/bound_child.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

struct FileLock::Impl {
    explicit Impl(posix::UniqueFd lockFd) : fd(std::move(lockFd)) {
        // A running archiver holds it too: an orphan keeps a later instance out of its folder.
        posix::keepInChildren(fd.get());
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() { posix::stopKeepingInChildren(fd.get()); }
    // The lock lives as long as this open file description; closing releases it.
    posix::UniqueFd fd;
};

FileLock::FileLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

std::optional<FileLock> tryLockFile(NativeView path) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return std::nullopt;
    // The temp folder is shared: a link planted under the name is refused, not followed, and a
    // FIFO does not block the open.
    posix::UniqueFd fd(
        ::open(text->c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
    return FileLock(std::make_unique<FileLock::Impl>(std::move(fd)));
}

}  // namespace pomu::platform

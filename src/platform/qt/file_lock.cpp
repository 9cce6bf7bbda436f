// Exclusive lock files held with flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/qt/bound_child.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

namespace {

// The path still names the open file: it was not removed (and made again) by a holder that
// let go between our open and our lock.
bool namesFile(const std::string& path, int fd) {
    struct stat atPath, opened;
    return ::lstat(path.c_str(), &atPath) == 0 && ::fstat(fd, &opened) == 0 &&
           atPath.st_dev == opened.st_dev && atPath.st_ino == opened.st_ino;
}

// A holder that let go can remove the file meanwhile; then the lock is tried on the new one.
constexpr int kLockTries = 3;

// Once let go, the file goes too, so the temp folder keeps no lock of an instance gone; but
// only when nobody holds it any more (an archiver that outlived its pomu still does). It is
// removed while locked again, and an instance that opened it meanwhile sees the name gone
// once it holds the lock.
void removeIfFree(const std::string& path) {
    const posix::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (namesFile(path, fd.get())) ::unlink(path.c_str());
}

}  // namespace

struct FileLock::Impl {
    Impl(posix::UniqueFd lockFd, std::string lockPath)
        : fd(std::move(lockFd)), path(std::move(lockPath)) {
        // A running archiver holds it too: an orphan keeps a later instance out of its folder.
        posix::keepInChildren(fd.get());
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        posix::stopKeepingInChildren(fd.get());
        fd.reset();
        removeIfFree(path);
    }
    // The lock lives as long as this open file description; closing releases it.
    posix::UniqueFd fd;
    std::string path;
};

FileLock::FileLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

std::optional<FileLock> tryLockFile(NativeView path) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return std::nullopt;
    for (int attempt = 0; attempt < kLockTries; ++attempt) {
        // The temp folder is shared: a link planted under the name is refused, not followed,
        // and a FIFO does not block the open.
        posix::UniqueFd fd(
            ::open(text->c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
        struct stat info;
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return std::nullopt;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
        if (namesFile(*text, fd.get())) {
            return FileLock(std::make_unique<FileLock::Impl>(std::move(fd), *text));
        }
    }
    return std::nullopt;
}

}  // namespace pomu::platform

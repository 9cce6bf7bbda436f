// Small private files in the shared temp folder: never through a link, never another user's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

bool writePrivateFile(NativeView path, std::string_view bytes) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return false;
    const std::string folder = posix::parentFolder(*text);
    if (!posix::ensureFolder(folder)) return false;
    // Written whole under a name of its own, then put in the old one's place at once. A fresh
    // file of our own: whatever stood under that name (a planted link) is not followed.
    const std::string fresh = *text + ".new";
    if (::unlink(fresh.c_str()) != 0 && errno != ENOENT) return false;
    posix::UniqueFd fd(
        ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return false;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(std::size_t(written));
    }
    // It must survive a power cut that leaves the output half-written: the data, the new name.
    if (::fsync(fd.get()) != 0 || ::rename(fresh.c_str(), text->c_str()) != 0) return false;
    const posix::UniqueFd parent(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return parent.valid() && ::fsync(parent.get()) == 0;
}

std::optional<std::string> readPrivateFile(NativeView path, std::size_t limit) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return std::nullopt;
    posix::UniqueFd fd(::open(text->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
        std::size_t(info.st_size) > limit) {
        return std::nullopt;
    }
    std::string bytes(std::size_t(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        done += std::size_t(got);
    }
    return bytes;
}

}  // namespace pomu::platform

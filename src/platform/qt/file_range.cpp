// Reading and writing a part of a file in place, as a ZIP's end record needs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

// Only a regular file: a fifo of that name would block the read or write.
posix::UniqueFd openRegular(NativeView path, int flags) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return {};
    posix::UniqueFd fd(::open(text->c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return fd;
}

}  // namespace

std::optional<std::string> readFileRange(NativeView path, std::uint64_t offset, std::size_t bytes) {
    const posix::UniqueFd fd = openRegular(path, O_RDONLY);
    if (!fd.valid()) return std::nullopt;
    std::string data(bytes, '\0');
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got =
            ::pread(fd.get(), data.data() + done, bytes - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        done += std::size_t(got);
    }
    data.resize(done);
    return data;
}

bool writeFileRange(NativeView path, std::uint64_t offset, std::string_view bytes, bool create) {
    const posix::UniqueFd fd =
        openRegular(path, O_WRONLY | O_NOFOLLOW | (create ? O_CREAT | O_EXCL : 0));
    if (!fd.valid()) return false;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t wrote =
            ::pwrite(fd.get(), bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += std::size_t(wrote);
    }
    return true;
}

bool truncateFile(NativeView path, std::uint64_t size) {
    const posix::UniqueFd fd = openRegular(path, O_WRONLY | O_NOFOLLOW);
    return fd.valid() && ::ftruncate(fd.get(), off_t(size)) == 0;
}

}  // namespace pomu::platform

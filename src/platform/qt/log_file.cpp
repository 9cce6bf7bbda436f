// Appending to a file, renaming over another, and the folder test, with plain POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

bool isFolder(NativeView path) {
    const std::optional<std::string> text = posix::cPath(path);
    struct stat info;
    return text && ::stat(text->c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool appendToFile(NativeView path, std::string_view bytes) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text || !posix::ensureFolder(posix::parentFolder(*text))) return false;
    // O_NONBLOCK: a FIFO of that name with no reader fails at once instead of waiting.
    posix::UniqueFd file(::open(
        text->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
    struct stat info;
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(file.get(), bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        bytes.remove_prefix(std::size_t(wrote));
    }
    return true;
}

bool renameFile(NativeView from, NativeView to) {
    const std::optional<std::string> source = posix::cPath(from);
    const std::optional<std::string> target = posix::cPath(to);
    return source && target && std::rename(source->c_str(), target->c_str()) == 0;
}

}  // namespace pomu::platform

// File and folder operations on byte paths with plain POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

using posix::cPath;
using posix::cPathWithoutTrailingSeparators;

bool pathExists(NativeView path) {
    // Trailing separators would make lstat follow a final link and miss a dangling one.
    const std::optional<std::string> text = cPathWithoutTrailingSeparators(path);
    if (!text) return false;
    struct stat info;
    if (::lstat(text->c_str(), &info) == 0) return true;
    // Only a name that is known to be absent counts as absent: a path too long or behind a
    // folder that cannot be searched might still hold the user's file.
    return errno != ENOENT && errno != ENOTDIR;
}

std::optional<NativeString> findPathIgnoringCase(NativeView path) {
    const std::optional<std::string> text = cPath(path);
    if (!text) return std::nullopt;
    struct stat info;
    if (::lstat(text->c_str(), &info) == 0) return NativeString(path);

    // Only the last name is matched loosely; the folder above must exist as written.
    std::size_t end = text->size();
    while (end > 1 && (*text)[end - 1] == '/') --end;
    const std::string trailing = text->substr(end);
    const std::string body = text->substr(0, end);
    const std::size_t slash = body.rfind('/');
    const std::string prefix =
        slash == std::string::npos ? std::string() : body.substr(0, slash + 1);
    const std::string name = body.substr(prefix.size());
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    const std::string parent = prefix.empty() ? std::string(".") : prefix;

    posix::UniqueFd folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return std::nullopt;
    const posix::DirStream listing = posix::listFolder(folder.get());
    if (!listing.valid()) return std::nullopt;
    // Several names may differ only in case; the smallest one is taken so the choice is stable.
    std::optional<std::string> match;
    while (const dirent* entry = ::readdir(listing.get())) {
        const NativeView candidate(entry->d_name);
        if (equalsIgnoringCase(candidate, name) && (!match || candidate < *match)) {
            match = std::string(candidate);
        }
    }
    if (!match) return std::nullopt;
    NativeString found = prefix + *match + trailing;
    if (::lstat(found.c_str(), &info) != 0) return std::nullopt;
    return found;
}

std::optional<std::uint64_t> readFileSize(NativeView path) {
    const std::optional<std::string> text = cPath(path);
    if (!text) return std::nullopt;
    // O_NONBLOCK: a FIFO of that name must not hang the window waiting for a writer.
    posix::UniqueFd file(::open(text->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info;
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return std::uint64_t(info.st_size);
}

bool createFolder(NativeView path) {
    const std::optional<std::string> text = cPath(path);
    return text && ::mkdir(text->c_str(), 0700) == 0;
}

bool hide(NativeView) {
    return true;
}

bool removeFolder(NativeView path) {
    const std::optional<std::string> text = cPathWithoutTrailingSeparators(path);
    return text && ::rmdir(text->c_str()) == 0;
}

bool removeFile(NativeView path) {
    const std::optional<std::string> text = cPathWithoutTrailingSeparators(path);
    return text && ::unlink(text->c_str()) == 0;
}

bool folderHasEntries(NativeView folder) {
    const std::optional<std::string> text = cPath(folder);
    if (!text) return false;
    posix::UniqueFd fd(::open(text->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return false;
    const posix::DirStream listing = posix::listFolder(fd.get());
    if (!listing.valid()) return false;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (!posix::isDotOrDotDot(entry->d_name)) return true;
    }
    return false;
}

}  // namespace pomu::platform

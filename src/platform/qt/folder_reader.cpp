// Reading one folder's entries in turn through a directory stream, links never followed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

NativeString reasonFor(int error) {
    if (error == EACCES || error == EPERM) return "permission denied";
    if (error == ENOENT) return "no longer there";
    if (error == ELOOP || error == ENOTDIR) return "a link, not followed";
    std::string text = std::strerror(error);
    if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

FolderEntry::Kind kindOf(int folderFd, const dirent& entry) {
    using Kind = FolderEntry::Kind;
    switch (entry.d_type) {
        case DT_REG:
            return Kind::file;
        case DT_DIR:
            return Kind::folder;
        case DT_LNK:
            return Kind::link;
        case DT_UNKNOWN:
            break;  // some file systems leave the type to a stat
        default:
            return Kind::other;
    }
    struct stat info;
    if (::fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return Kind::other;
    if (S_ISREG(info.st_mode)) return Kind::file;
    if (S_ISDIR(info.st_mode)) return Kind::folder;
    if (S_ISLNK(info.st_mode)) return Kind::link;
    return Kind::other;
}

}  // namespace

struct FolderReader::Impl {
    explicit Impl(DIR* dir) : stream(dir) {}
    posix::DirStream stream;
};

FolderReader::FolderReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FolderReader::FolderReader(FolderReader&&) noexcept = default;
FolderReader& FolderReader::operator=(FolderReader&&) noexcept = default;
FolderReader::~FolderReader() = default;

std::optional<FolderEntry> FolderReader::next() {
    DIR* dir = impl_->stream.get();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) failure_ = reasonFor(errno);
            return std::nullopt;
        }
        if (posix::isDotOrDotDot(entry->d_name)) continue;
        return FolderEntry{entry->d_name, kindOf(::dirfd(dir), *entry)};
    }
}

std::optional<FolderReader> openFolder(NativeView folder, bool followLink, NativeString* why) {
    const std::optional<std::string> path = posix::cPathWithoutTrailingSeparators(folder);
    if (!path) {
        if (why) *why = "no such folder";
        return std::nullopt;
    }
    posix::UniqueFd fd(
        ::open(path->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
    DIR* dir = fd.valid() ? ::fdopendir(fd.get()) : nullptr;
    if (!dir) {
        if (why) *why = reasonFor(errno);
        return std::nullopt;
    }
    fd.release();  // the stream owns it now
    return FolderReader(std::make_unique<FolderReader::Impl>(dir));
}

}  // namespace pomu::platform

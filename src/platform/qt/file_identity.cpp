// Which file stands at a path, from lstat.
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

std::optional<FileIdentity> fileIdentity(NativeView path) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    struct stat info {};
    if (!text || ::lstat(text->c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino),
                        std::uint64_t(info.st_size),
                        std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

}  // namespace pomu::platform

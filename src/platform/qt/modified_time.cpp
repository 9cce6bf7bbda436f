// Setting a file's modification time, with utimensat.
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

namespace {

bool setTimes(const std::string& path, const timespec& accessed, const timespec& modified) {
    const timespec times[2] = {accessed, modified};
    // A link is never followed: the time goes to the file pomu wrote, not to what it points at.
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// The time stands as set, to within what the coarsest file systems keep (FAT: 2 s).
bool isModified(const std::string& path, std::int64_t seconds, struct stat& info) {
    if (::lstat(path.c_str(), &info) != 0) return false;
    const std::int64_t difference = std::int64_t(info.st_mtim.tv_sec) - seconds;
    return difference >= -2 && difference <= 2;
}

}  // namespace

bool setModifiedTime(NativeView path, std::int64_t modified) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    if (!text) return false;
    constexpr std::int64_t kPerSecond = kModifiedTicksPerSecond;
    // Floor division, so a time before 1970 keeps a nanosecond part in range.
    std::int64_t seconds = modified / kPerSecond;
    std::int64_t nanoseconds = modified % kPerSecond;
    if (nanoseconds < 0) {
        nanoseconds += kPerSecond;
        --seconds;
    }
    const timespec wanted{time_t(seconds), long(nanoseconds)};
    struct stat info;
    if (!setTimes(*text, {0, UTIME_OMIT}, wanted)) return false;
    if (isModified(*text, seconds, info)) return true;
    // Some FUSE file systems (bindfs) take no time given beside one left as it is, and say
    // nothing: the access time is given as it stands.
    return setTimes(*text, info.st_atim, wanted) && isModified(*text, seconds, info);
}

}  // namespace pomu::platform

// Setting a file's modification time, with utimensat.
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

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
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), long(nanoseconds)}};
    // A link is never followed: the time goes to the file pomu wrote, not to what it points at.
    return ::utimensat(AT_FDCWD, text->c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace pomu::platform

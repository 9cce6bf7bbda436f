// The temp folder and the test that a folder belongs to this user alone.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {

std::optional<NativeString> tempFolder() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    // A relative TMPDIR would move with the current folder; it is ignored.
    NativeString folder = (fromEnvironment && fromEnvironment[0] == '/') ? fromEnvironment : "/tmp";
    if (folder.back() != kSeparator) folder += kSeparator;
    return folder;
}

bool isPrivateFolder(NativeView path) {
    const std::optional<std::string> text = posix::cPathWithoutTrailingSeparators(path);
    struct stat info;
    if (!text || ::lstat(text->c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace pomu::platform

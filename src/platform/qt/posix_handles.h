// Move-only owners of a file descriptor and a directory stream, path-text and folder helpers.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/text.h"

namespace pomu::platform::posix {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

class DirStream {
  public:
    explicit DirStream(DIR* dir) : dir_(dir) {}
    DirStream(DirStream&& other) noexcept : dir_(other.dir_) { other.dir_ = nullptr; }
    DirStream& operator=(DirStream&&) = delete;
    DirStream(const DirStream&) = delete;
    DirStream& operator=(const DirStream&) = delete;
    ~DirStream() {
        if (dir_) ::closedir(dir_);
    }

    bool valid() const { return dir_ != nullptr; }
    DIR* get() const { return dir_; }

  private:
    DIR* dir_ = nullptr;
};

// A directory stream over the folder the descriptor names; the descriptor stays open.
DirStream listFolder(int folderFd);

// The path as a C string; empty when it is empty or holds a NUL, which would name another file.
std::optional<std::string> cPath(NativeView path);

// The path without separators at its end, so that lstat and O_NOFOLLOW see a final link as a
// link; the root stays "/".
std::optional<std::string> cPathWithoutTrailingSeparators(NativeView path);

// The folder above the path ("." for a bare name, "/" at the root).
std::string parentFolder(const std::string& path);

// Creates the folder and any missing parents, private to the user as XDG asks.
bool ensureFolder(const std::string& folder);

inline bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace pomu::platform::posix

// Read-only and small mounts in a private mount namespace, a blocked Trash, a locked file.
#include "faults/restrictions.h"

#include "support/test_files.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pomu::faults {

namespace fs = std::filesystem;

#ifndef _WIN32
namespace {

// Mounts made here stay in this process's own namespace and vanish with it, even after a crash.
bool privateMountNamespace(std::string& why) {
    static const std::string failure = [] {
        if (::geteuid() != 0) return std::string("mounting needs the superuser");
        if (::unshare(CLONE_NEWNS) != 0) return std::string("no private mount namespace here");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) != 0) {
            return std::string("mount propagation cannot be cut here");
        }
        return std::string();
    }();
    why = failure;
    return failure.empty();
}

class Mounted : public Hold {
  public:
    explicit Mounted(fs::path folder) : folder_(std::move(folder)) {}
    ~Mounted() override { ::umount2(folder_.c_str(), MNT_DETACH); }

  private:
    fs::path folder_;
};

class WriteBitsRemoved : public Hold {
  public:
    explicit WriteBitsRemoved(fs::path folder) : folder_(std::move(folder)) {
        fs::permissions(folder_, fs::perms::all, fs::perm_options::remove);
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec,
                        fs::perm_options::add);
    }
    ~WriteBitsRemoved() override {
        std::error_code error;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, error);
    }

  private:
    fs::path folder_;
};

class TrashSwappedForFile : public Hold {
  public:
    TrashSwappedForFile(fs::path trash, fs::path aside) : trash_(trash), aside_(aside) {}
    ~TrashSwappedForFile() override {
        std::error_code error;
        fs::remove(trash_, error);
        if (fs::exists(aside_, error)) fs::rename(aside_, trash_, error);
    }

  private:
    fs::path trash_, aside_;
};

std::optional<dev_t> deviceOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return info.st_dev;
}

}  // namespace

std::unique_ptr<Hold> readOnlyFolder(const fs::path& folder, std::string& why) {
    if (::geteuid() != 0) return std::make_unique<WriteBitsRemoved>(folder);
    if (!privateMountNamespace(why)) return nullptr;
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        why = "bind mount failed";
        return nullptr;
    }
    auto hold = std::make_unique<Mounted>(folder);
    if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        why = "read-only remount failed";
        return nullptr;
    }
    return hold;
}

std::unique_ptr<Hold> smallDisk(const fs::path& folder, std::size_t bytes, std::string& why) {
    if (!privateMountNamespace(why)) return nullptr;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = "tmpfs mount failed";
        return nullptr;
    }
    return std::make_unique<Mounted>(folder);
}

namespace {

class OpenFd : public Hold {
  public:
    explicit OpenFd(int fd) : fd_(fd) {}
    ~OpenFd() override { ::close(fd_); }

  private:
    int fd_;
};

class Immutable : public Hold {
  public:
    explicit Immutable(fs::path file) : file_(std::move(file)) {}
    ~Immutable() override { setFlag(file_, false); }
    static bool setFlag(const fs::path& file, bool on) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0) ::close(fd);
        return done;
    }

  private:
    fs::path file_;
};

}  // namespace

std::unique_ptr<Hold> filledUp(const fs::path& folder, std::string& why) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    off_t filled = 0;
    for (const off_t chunk : {off_t(1) << 20, off_t(4096)}) {
        while (fd >= 0 && ::fallocate(fd, 0, filled, chunk) == 0) filled += chunk;
    }
    if (filled == 0) {
        if (fd >= 0) ::close(fd);
        why = "the disk could not be filled";
        return nullptr;
    }
    return std::make_unique<OpenFd>(fd);
}

std::unique_ptr<Hold> fuseFolder(const fs::path& folder, std::string& why) {
    struct Fuse : Hold {
        explicit Fuse(fs::path folder) : mounted(std::move(folder)) {}
        ~Fuse() override { ::umount2(mounted.c_str(), MNT_DETACH); }
        test::ScratchFolder backing;  // removed once the mount is gone
        fs::path mounted;
    };
    if (!privateMountNamespace(why)) return nullptr;
    auto hold = std::make_unique<Fuse>(folder);
    const std::string backing = hold->backing.path().string();
    const char* const arguments[] = {"bindfs", backing.c_str(), folder.c_str(), nullptr};
    pid_t child = -1;
    int status = 0;
    // bindfs goes into the background once the mount stands.
    if (::posix_spawnp(&child, "bindfs", nullptr, nullptr, const_cast<char* const*>(arguments),
                       environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why = "bindfs could not mount a FUSE folder here";
        return nullptr;
    }
    struct statx info {};
    if (::statx(AT_FDCWD, folder.c_str(), 0, STATX_BTIME, &info) != 0 ||
        (info.stx_mask & STATX_BTIME)) {
        why = "the FUSE folder gives birth times";
        return nullptr;
    }
    return hold;
}

std::unique_ptr<Hold> fewDescriptors(unsigned count, std::string& why) {
    struct Limit : Hold {
        rlimit before{};
        ~Limit() override { ::setrlimit(RLIMIT_NOFILE, &before); }
    };
    auto hold = std::make_unique<Limit>();
    rlimit lowered{};
    if (::getrlimit(RLIMIT_NOFILE, &hold->before) != 0) {
        why = "the limit on open files cannot be read";
        return nullptr;
    }
    lowered = {std::min<rlim_t>(count, hold->before.rlim_max), hold->before.rlim_max};
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) {
        why = "the limit on open files cannot be lowered";
        return nullptr;
    }
    return hold;
}

std::unique_ptr<Hold> immutableFile(const fs::path& file, std::string& why) {
    if (!Immutable::setFlag(file, true)) {
        why = "this file system cannot mark a file immutable";
        return nullptr;
    }
    return std::make_unique<Immutable>(file);
}

std::unique_ptr<Hold> blockedTrash(const fs::path& onDeviceOf, std::string& why) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (!data || !home) {
        why = "needs XDG_DATA_HOME and HOME, so the user's own Trash is never touched";
        return nullptr;
    }
    if (!deviceOf(onDeviceOf) || deviceOf(onDeviceOf) != deviceOf(home)) {
        why = "the scratch folder is not on the home folder's file system";
        return nullptr;
    }
    const fs::path trash = fs::path(data) / "Trash";
    const fs::path aside = fs::path(data) / "Trash.pomu-aside";
    std::error_code error;
    fs::create_directories(data, error);
    if (fs::exists(trash, error)) fs::rename(trash, aside, error);
    auto hold = std::make_unique<TrashSwappedForFile>(trash, aside);
    std::FILE* blocker = std::fopen(trash.c_str(), "w");
    if (!blocker) {
        why = "could not put a file where the Trash was";
        return nullptr;
    }
    std::fclose(blocker);
    return hold;
}

#else
namespace {

class OpenHandle : public Hold {
  public:
    explicit OpenHandle(HANDLE handle) : handle_(handle) {}
    ~OpenHandle() override { CloseHandle(handle_); }

  private:
    HANDLE handle_;
};

// Opened as another program would hold it, allowing others only what `sharing` lets them.
std::unique_ptr<Hold> openFile(const fs::path& file, DWORD sharing, std::string& why) {
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = "the file could not be opened to hold it";
        return nullptr;
    }
    return std::make_unique<OpenHandle>(handle);
}

}  // namespace

std::unique_ptr<Hold> lockedFile(const fs::path& file, std::string& why) {
    return openFile(file, 0, why);
}

std::unique_ptr<Hold> heldForReading(const fs::path& file, std::string& why) {
    return openFile(file, FILE_SHARE_READ, why);
}
#endif

bool keepsDate(const fs::path& folder, std::int64_t seconds) {
    const fs::path probe = folder / "date-probe";
    std::FILE* file = std::fopen(probe.string().c_str(), "wb");
    if (!file) return false;
    std::fclose(file);
    bool kept = false;
#ifdef _WIN32
    // FILETIME: 100 ns ticks from 1601.
    const std::uint64_t ticks = std::uint64_t(seconds + 11644473600LL) * 10'000'000u;
    FILETIME wanted{DWORD(ticks), DWORD(ticks >> 32)}, got{};
    if (HANDLE handle = ::CreateFileW(probe.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
        handle != INVALID_HANDLE_VALUE) {
        kept = ::SetFileTime(handle, nullptr, nullptr, &wanted);
        ::CloseHandle(handle);
    }
    if (HANDLE handle = ::CreateFileW(probe.c_str(), FILE_READ_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
        kept && handle != INVALID_HANDLE_VALUE) {
        kept = ::GetFileTime(handle, nullptr, nullptr, &got) &&
               got.dwLowDateTime == wanted.dwLowDateTime &&
               got.dwHighDateTime == wanted.dwHighDateTime;
        ::CloseHandle(handle);
    } else {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
        kept = false;
    }
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), 0}};
    struct stat status {};
    kept = ::utimensat(AT_FDCWD, probe.c_str(), times, 0) == 0 &&
           ::stat(probe.c_str(), &status) == 0 && status.st_mtim.tv_sec == seconds;
#endif
    std::error_code ignored;
    fs::remove(probe, ignored);
    return kept;
}

}  // namespace pomu::faults

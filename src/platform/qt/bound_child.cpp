// fork and exec with a parent-death signal, which posix_spawn cannot set.
#include "platform/qt/bound_child.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <mutex>
#include <vector>

#include "platform/qt/posix_handles.h"

namespace pomu::platform::posix {
namespace {

std::mutex keptMutex;
std::vector<int> keptFds;

// Closes every descriptor from 3 on except the sorted ones given; safe after fork.
void closeAllBut(const int* kept, int count) {
    unsigned first = 3;
    for (int i = 0; i < count; ++i) {
        const unsigned fd = unsigned(kept[i]);
        if (fd < first) continue;
        if (fd > first) ::syscall(SYS_close_range, first, fd - 1, 0);
        first = fd + 1;
    }
    ::syscall(SYS_close_range, first, UINT_MAX, 0);
}

[[noreturn]] void failChild(int errorPipe) {
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

// Only async-signal-safe calls from here to exec: the parent may have other threads.
[[noreturn]] void becomeChild(pid_t parent, const char* program, char* const arguments[],
                              char* const environment[], const ChildStreams& streams, int* kept,
                              int keptCount, int errorPipe) {
    // The signal follows the parent's death; a parent already gone before it was set is seen
    // by getppid, so the child never runs unbound.
    // (It follows the forking thread: children are started from the window's thread.)
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) failChild(errorPipe);
    if (::getppid() != parent) ::_exit(127);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const std::array<int, 3> wanted{streams.input, streams.output, streams.error};
    for (int target = 0; target < 3; ++target) {
        if (wanted[target] >= 0 && ::dup2(wanted[target], target) < 0) failChild(errorPipe);
    }
    for (int i = 0; i < keptCount; ++i) {
        if (kept[i] == errorPipe) continue;  // closed by exec itself
        ::fcntl(kept[i], F_SETFD, 0);
    }
    closeAllBut(kept, keptCount);
    ::execve(program, arguments, environment);
    failChild(errorPipe);
}

}  // namespace

pid_t spawnBoundChild(const char* program, char* const arguments[], const ChildStreams& streams,
                      char* const environment[]) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    // Everything the child needs is made before fork: it must not allocate.
    std::vector<int> kept;
    {
        const std::lock_guard guard(keptMutex);
        kept = keptFds;
    }
    kept.push_back(writeEnd.get());
    std::sort(kept.begin(), kept.end());
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        becomeChild(parent, program, arguments, environment, streams, kept.data(), int(kept.size()),
                    writeEnd.get());
    }
    writeEnd.reset();
    // End of file means exec succeeded; an errno means the child has ended already.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(readEnd.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == 0) return pid;
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

void keepInChildren(int fd) {
    const std::lock_guard guard(keptMutex);
    keptFds.push_back(fd);
}

void stopKeepingInChildren(int fd) {
    const std::lock_guard guard(keptMutex);
    std::erase(keptFds, fd);
}

}  // namespace pomu::platform::posix

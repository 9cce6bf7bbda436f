// Starting the archiver with posix_spawn and following it through a pidfd.
#include "platform/qt/running_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

extern char** environ;

namespace pomu::platform {
namespace {

class SpawnActions {
  public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() {
        if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
    }
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
    bool ok_ = false;
};

class SpawnAttributes {
  public:
    SpawnAttributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() {
        if (ok_) ::posix_spawnattr_destroy(&attributes_);
    }
    bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
    bool ok_ = false;
};

bool setUpStreams(SpawnActions& actions, bool show, int outputFd) {
    if (!actions.ok()) return false;
    posix_spawn_file_actions_t* raw = actions.get();
    // Hidden, the tool reads end-of-file at once, so a password question fails instead of
    // waiting for an answer nobody can give.
    if (outputFd >= 0) {
        if (::posix_spawn_file_actions_addopen(raw, 0, "/dev/null", O_RDONLY, 0) != 0 ||
            ::posix_spawn_file_actions_adddup2(raw, outputFd, 1) != 0 ||
            ::posix_spawn_file_actions_adddup2(raw, outputFd, 2) != 0) {
            return false;
        }
    } else if (!show &&
               (::posix_spawn_file_actions_addopen(raw, 0, "/dev/null", O_RDONLY, 0) != 0 ||
                ::posix_spawn_file_actions_addopen(raw, 1, "/dev/null", O_WRONLY, 0) != 0 ||
                ::posix_spawn_file_actions_addopen(raw, 2, "/dev/null", O_WRONLY, 0) != 0)) {
        return false;
    }
    // No descriptor of this program (lock files, sockets of the window) reaches the tool.
    return ::posix_spawn_file_actions_addclosefrom_np(raw, 3) == 0;
}

bool setUpSignals(SpawnAttributes& attributes) {
    if (!attributes.ok()) return false;
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    sigdelset(&allSignals, SIGKILL);
    sigdelset(&allSignals, SIGSTOP);
    // The tool starts with default signal handling, whatever this program blocks or ignores.
    return ::posix_spawnattr_setsigmask(attributes.get(), &noSignals) == 0 &&
           ::posix_spawnattr_setsigdefault(attributes.get(), &allSignals) == 0 &&
           ::posix_spawnattr_setflags(attributes.get(),
                                      POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

// Called directly: this C library's pidfd header lacks C linkage for C++.
int openPidfd(pid_t pid) {
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

bool isStartable(const std::string& program) {
    struct stat info;
    return ::stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(program.c_str(), X_OK) == 0;
}

}  // namespace

RunningTool::Impl::~Impl() {
    if (reaped || pid <= 0) return;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool RunningTool::Impl::checkEnded() {
    if (reaped) return true;
    int result;
    do {
        result = ::waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    reaped = true;
    // A failed wait means the process is no longer ours to wait for: counted as ended, so the
    // runner never loops on it forever.
    statusKnown = result == pid;
    return true;
}

RunningTool::RunningTool(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RunningTool::RunningTool(RunningTool&&) noexcept = default;
RunningTool& RunningTool::operator=(RunningTool&&) noexcept = default;
RunningTool::~RunningTool() = default;

bool RunningTool::hasEnded() {
    return impl_->checkEnded();
}

void RunningTool::terminate() {
    // Until it is reaped the process id cannot be reused, so the signal reaches this tool.
    if (!impl_->checkEnded()) ::kill(impl_->pid, SIGKILL);
}

std::optional<int> RunningTool::exitCode() {
    if (!impl_->checkEnded() || !impl_->statusKnown || !WIFEXITED(impl_->status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(impl_->status);
}

std::optional<RunningTool> startTool(const ToolCommand& command, bool show) {
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, show, -1);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, int outputFd) {
    const std::optional<std::string> program = posix::cPath(command.program);
    if (!program || !isStartable(*program)) return nullptr;
    std::vector<std::string> texts{*program};
    for (const NativeString& argument : command.arguments) {
        if (argument.find('\0') != NativeString::npos) return nullptr;
        texts.push_back(argument);
    }
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    SpawnAttributes attributes;
    if (!setUpStreams(actions, show, outputFd) || !setUpSignals(attributes)) return nullptr;
    // posix_spawn, not posix_spawnp: a program name without a separator is taken from the
    // current folder, never searched for along PATH.
    auto impl = std::make_unique<RunningTool::Impl>();
    if (::posix_spawn(&impl->pid, program->c_str(), actions.get(), attributes.get(), argv.data(),
                      environ) != 0) {
        impl->pid = -1;  // nothing to wait for
        return nullptr;
    }
    impl->pidfd.reset(openPidfd(impl->pid));
    return impl;
}

}  // namespace pomu::platform

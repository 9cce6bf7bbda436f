// Starting the archiver bound to this program and following it through a pidfd.
#include "platform/qt/running_tool.h"

#include "platform/qt/bound_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

extern char** environ;

namespace pomu::platform {
namespace {

// The null device for a hidden tool's streams: a tool that asks a question (a password) reads
// end-of-file at once and fails instead of waiting for an answer nobody can give.
struct NullStreams {
    posix::UniqueFd input{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
    posix::UniqueFd output{::open("/dev/null", O_WRONLY | O_CLOEXEC)};
    bool valid() const { return input.valid() && output.valid(); }
};

// Called directly: this C library's pidfd header lacks C linkage for C++.
int openPidfd(pid_t pid) {
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

// The read end of a pipe that holds the bytes and then its end. All of them go in at once or
// none (at most PIPE_BUF): nothing ever waits for the tool to read.
posix::UniqueFd filledPipe(std::string_view bytes) {
    static_assert(kMaxToolInputBytes <= PIPE_BUF);
    int ends[2];
    if (bytes.size() > kMaxToolInputBytes || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return {};
    posix::UniqueFd readEnd(ends[0]);
    const posix::UniqueFd writeEnd(ends[1]);
    ssize_t wrote;
    do {
        wrote = ::write(writeEnd.get(), bytes.data(), bytes.size());
    } while (wrote < 0 && errno == EINTR);
    // The tool reads its input as it would from a terminal, waiting.
    if (wrote != ssize_t(bytes.size()) || ::fcntl(readEnd.get(), F_SETFL, 0) != 0) return {};
    return readEnd;
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

std::optional<RunningTool> startTool(const ToolCommand& command, bool show,
                                     std::string_view input) {
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, show, -1, input);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, int outputFd,
                                             std::string_view input,
                                             std::vector<std::string> added) {
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
    std::vector<char*> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.push_back(*variable);
    }
    for (std::string& variable : added) environment.push_back(variable.data());
    environment.push_back(nullptr);

    // A listing writes into its pipe; any other hidden tool into the null device. Shown, the
    // tool keeps this program's output.
    posix::ChildStreams streams;
    NullStreams nulls;
    if (outputFd >= 0 || !show) {
        if (!nulls.valid()) return nullptr;
        const int output = outputFd >= 0 ? outputFd : nulls.output.get();
        streams = {nulls.input.get(), output, output};
    }
    posix::UniqueFd given;
    if (!input.empty()) {
        given = filledPipe(input);
        if (!given.valid()) return nullptr;
        streams.input = given.get();
    }
    // Never searched for along PATH: a program name without a separator is taken from the
    // current folder.
    auto impl = std::make_unique<RunningTool::Impl>();
    impl->pid = posix::spawnBoundChild(program->c_str(), argv.data(), streams, environment.data());
    if (impl->pid < 0) return nullptr;
    impl->pidfd.reset(openPidfd(impl->pid));
    return impl;
}

}  // namespace pomu::platform

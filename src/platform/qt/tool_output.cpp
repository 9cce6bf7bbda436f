// Draining a tool's pipe as it fills, and starting a listing or a tool read for its progress.
#include "platform/qt/tool_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/qt/running_tool.h"

namespace pomu::platform {

void ToolOutput::readAvailable() {
    char buffer[65536];
    while (pipe.valid()) {
        const ssize_t got = ::read(pipe.get(), buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, std::size_t(got));
            if (keep != std::string::npos) keepLatestOutput(text, keep);
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            pipe.reset();
        } else if (errno != EINTR) {
            return;
        }
    }
}

void ToolOutput::readToEnd() {
    while (pipe.valid()) {
        readAvailable();
        if (!pipe.valid()) return;
        pollfd watchedFd{pipe.get(), POLLIN, 0};
        if (::poll(&watchedFd, 1, -1) < 0 && errno != EINTR) pipe.reset();
    }
}

std::string RunningTool::takeOutput() {
    ToolOutput& output = impl_->output;
    // Only once the writer has gone does the end of the pipe come.
    if (impl_->checkEnded()) output.readToEnd();
    return std::move(output.text);
}

std::string_view RunningTool::latestOutput() const {
    return impl_->output.keep == std::string::npos ? std::string_view() : impl_->output.text;
}

namespace {

std::unique_ptr<RunningTool::Impl> startOnPipe(const ToolCommand& command, std::size_t keep) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    posix::UniqueFd readEnd(ends[0]);
    const posix::UniqueFd writeEnd(ends[1]);
    if (::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return nullptr;
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, false, writeEnd.get());
    if (!impl) return nullptr;
    impl->output.pipe = std::move(readEnd);
    impl->output.keep = keep;
    return impl;
}

}  // namespace

std::optional<RunningTool> startListing(const ToolCommand& command) {
    std::unique_ptr<RunningTool::Impl> impl = startOnPipe(command, std::string::npos);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::optional<RunningTool> startWithProgress(const ToolCommand& command) {
    std::unique_ptr<RunningTool::Impl> impl = startOnPipe(command, kLatestOutputBytes);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

}  // namespace pomu::platform

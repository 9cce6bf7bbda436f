// Draining a listing's pipe as it fills, and starting the listing with its output on that pipe.
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

std::optional<RunningTool> startListing(const ToolCommand& command) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    posix::UniqueFd readEnd(ends[0]);
    const posix::UniqueFd writeEnd(ends[1]);
    if (::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return std::nullopt;
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, false, writeEnd.get());
    if (!impl) return std::nullopt;
    impl->output.pipe = std::move(readEnd);
    return RunningTool(std::move(impl));
}

}  // namespace pomu::platform

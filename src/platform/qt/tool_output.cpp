// Draining a tool's pipe as it fills or reading its file, and starting a listing or a tool read
// for its progress.
#include "platform/qt/tool_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

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

void ToolOutput::readToEnd(const std::function<void(std::string_view)>& take) {
    if (!text.empty()) take(text);
    text.clear();
    char buffer[65536];
    if (file.valid()) {
        for (off_t at = 0;;) {
            const ssize_t got = ::pread(file.get(), buffer, sizeof buffer, at);
            if (got > 0) {
                take({buffer, std::size_t(got)});
                at += got;
            } else if (got == 0 || errno != EINTR) {
                break;
            }
        }
        file.reset();
        return;
    }
    while (pipe.valid()) {
        const ssize_t got = ::read(pipe.get(), buffer, sizeof buffer);
        if (got > 0) {
            take({buffer, std::size_t(got)});
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            pipe.reset();
        } else if (errno != EINTR) {
            pollfd watchedFd{pipe.get(), POLLIN, 0};
            if (::poll(&watchedFd, 1, -1) < 0 && errno != EINTR) pipe.reset();
        }
    }
}

void RunningTool::readOutput(const std::function<void(std::string_view)>& take) {
    ToolOutput& output = impl_->output;
    // Only once the writer has gone does the end of the pipe come.
    if (impl_->checkEnded()) {
        output.readToEnd(take);
    } else if (!output.text.empty()) {
        take(output.text);
        output.text.clear();
    }
}

std::string RunningTool::takeOutput() {
    std::string text;
    readOutput([&text](std::string_view piece) { text.append(piece); });
    return text;
}

std::string_view RunningTool::latestOutput() const {
    return impl_->output.keep == std::string::npos ? std::string_view() : impl_->output.text;
}

namespace {

std::unique_ptr<RunningTool::Impl> startOnPipe(const ToolCommand& command, std::size_t keep,
                                               std::string_view input,
                                               std::vector<std::string> added = {}) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    posix::UniqueFd readEnd(ends[0]);
    const posix::UniqueFd writeEnd(ends[1]);
    if (::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return nullptr;
    std::unique_ptr<RunningTool::Impl> impl =
        spawnTool(command, false, writeEnd.get(), input, std::move(added));
    if (!impl) return nullptr;
    impl->output.pipe = std::move(readEnd);
    impl->output.keep = keep;
    return impl;
}

// An unnamed file in the temp folder, gone with its last descriptor.
posix::UniqueFd unnamedFile() {
    const std::optional<NativeString> temp = tempFolder();
    if (!temp) return {};
    return posix::UniqueFd(::open(temp->c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
}

// A listing prints every entry's times. Without TZ the C library looks at /etc/localtime again
// for each of them, four times an entry; told the same zone file, it reads it once.
std::vector<std::string> listingVariables() {
    if (std::getenv("TZ") != nullptr) return {};
    return {"TZ=:/etc/localtime"};
}

}  // namespace

std::optional<RunningTool> startListing(const ToolCommand& command, std::string_view input) {
    // Written into a file, a listing runs to its end while another step is followed; a pipe
    // (where the temp folder's file system has no unnamed files) must be drained as it fills.
    if (posix::UniqueFd file = unnamedFile(); file.valid()) {
        std::unique_ptr<RunningTool::Impl> impl =
            spawnTool(command, false, file.get(), input, listingVariables());
        if (!impl) return std::nullopt;
        impl->output.file = std::move(file);
        return RunningTool(std::move(impl));
    }
    std::unique_ptr<RunningTool::Impl> impl =
        startOnPipe(command, std::string::npos, input, listingVariables());
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::optional<RunningTool> startWithProgress(const ToolCommand& command, std::string_view input) {
    std::unique_ptr<RunningTool::Impl> impl = startOnPipe(command, kLatestOutputBytes, input);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

}  // namespace pomu::platform

// The state behind a started tool, shared by the process code and the event pump.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"
#include "platform/qt/tool_output.h"

namespace pomu::platform {

struct RunningTool::Impl {
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    // A tool still running is killed and reaped, so no process outlives its owner.
    ~Impl();

    // Reaps the process when it has ended, without waiting; true once it has.
    bool checkEnded();

    pid_t pid = -1;
    // Readable once the process has ended; invalid when the kernel offers no pidfd_open.
    posix::UniqueFd pidfd;
    bool reaped = false;
    bool statusKnown = false;  // false when someone else reaped it
    int status = 0;
    ToolOutput output;  // the pipe of a listing or of a tool read for its progress
};

// Starts the tool; with an output descriptor (hidden only) its standard output and error go
// there. Its input is a pipe holding `input`, or the null device. Every tool, listings too, is
// started here, in this program's environment with the given variables ("NAME=value") added.
std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, int outputFd,
                                             std::string_view input,
                                             std::vector<std::string> added = {});

}  // namespace pomu::platform

// What a started tool holds on Windows: its process, primary thread and job, and a taken quit.
#pragma once

#include <optional>

#include "platform/platform.h"
#include "platform/win32/tool_output.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

struct RunningTool::Impl {
    win32::KernelHandle thread;  // closed first
    win32::KernelHandle process;
    win32::KernelHandle job;  // closed last: a tool still running then is killed with it
    bool terminated = false;
    // A quit request the event pump took while the tool ran; posted again when it goes.
    std::optional<int> quitCode;
    ToolOutput output;  // a listing's or progress pipe; destroyed first, a read may be under way
};

// Starts the tool; with an output handle (hidden only) its standard output and error go there.
// Its input is a pipe holding `input`, or the null device. Every tool, listings too, is
// started here.
std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, HANDLE output,
                                             std::string_view input);

}  // namespace pomu::platform

// What a started tool holds on Windows: its process and primary thread, and a taken quit.
#pragma once

#include <optional>

#include "platform/platform.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

struct RunningTool::Impl {
    win32::KernelHandle thread;  // closed first
    win32::KernelHandle process;
    bool terminated = false;
    // A quit request the event pump took while the tool ran; posted again when it goes.
    std::optional<int> quitCode;
};

}  // namespace pomu::platform

// Every archiver child starts here: inside a job object that ends it when pomu ends.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace pomu::platform::win32 {

// A started child and the job that holds it. Closing the job, which the system also does when
// this program ends however it ends, kills the child and everything it started.
struct BoundProcess {
    KernelHandle job;
    KernelHandle process;
    KernelHandle thread;
};

// CreateProcessW with the given inheritance, flags and start-up record; the child first runs
// once it is inside its job. Empty when it could not be started or bound (nothing then runs).
std::optional<BoundProcess> createBoundProcess(std::vector<wchar_t>& line, bool inherit,
                                               DWORD flags, STARTUPINFOW& startup);

}  // namespace pomu::platform::win32

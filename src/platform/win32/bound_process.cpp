// A job object with kill-on-close around each child, assigned before its first instruction.
#include "platform/win32/bound_process.h"

namespace pomu::platform::win32 {
namespace {

KernelHandle killOnCloseJob() {
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.valid()) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        job.reset();
    }
    return job;
}

}  // namespace

std::optional<BoundProcess> createBoundProcess(std::vector<wchar_t>& line, bool inherit,
                                               DWORD flags, STARTUPINFOW& startup) {
    BoundProcess bound;
    bound.job = killOnCloseJob();
    if (!bound.job.valid()) return std::nullopt;
    PROCESS_INFORMATION info{};
    // Suspended, so it cannot start anything of its own before it is in the job.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit ? TRUE : FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED | flags, nullptr, nullptr,
                        &startup, &info)) {
        return std::nullopt;
    }
    bound.process = KernelHandle(info.hProcess);
    bound.thread = KernelHandle(info.hThread);
    if (!AssignProcessToJobObject(bound.job.get(), bound.process.get()) ||
        ResumeThread(bound.thread.get()) == DWORD(-1)) {
        // An unbound archiver could outlive this program: it never runs.
        TerminateProcess(bound.process.get(), 1);
        WaitForSingleObject(bound.process.get(), INFINITE);
        return std::nullopt;
    }
    return bound;
}

}  // namespace pomu::platform::win32

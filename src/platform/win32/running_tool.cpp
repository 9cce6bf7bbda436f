// Starting the archiver in its job, polling, terminating and reading its exit code.
#include "platform/win32/running_tool.h"

#include "platform/win32/bound_process.h"

#include <windows.h>

#include <vector>

namespace pomu::platform {
namespace {

// Owns a process attribute list naming the only handles the tool may inherit.
class HandleList {
  public:
    HandleList(HANDLE* handles, std::size_t count) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        if (size == 0) return;
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        list_ = list;
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                       count * sizeof(HANDLE), nullptr, nullptr)) {
            release();
        }
    }
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;
    ~HandleList() { release(); }

    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

  private:
    void release() {
        if (list_) DeleteProcThreadAttributeList(list_);
        list_ = nullptr;
    }
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// The null device for the tool's standard handles: a tool that asks a question (a password)
// reads end-of-file and fails at once instead of waiting for an answer nobody can give.
win32::KernelHandle openNullDevice() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return win32::KernelHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                           OPEN_EXISTING, 0, nullptr));
}

std::optional<win32::BoundProcess> startHidden(std::vector<wchar_t>& line, HANDLE output) {
    win32::KernelHandle nul = openNullDevice();
    if (!nul.valid()) return std::nullopt;
    HANDLE inherited[2] = {nul.get(), output};

    STARTUPINFOEXW startup{};
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nul.get();
    startup.StartupInfo.hStdOutput = output ? output : nul.get();
    startup.StartupInfo.hStdError = output ? output : nul.get();

    const HandleList list(inherited, output ? 2 : 1);
    if (list.get()) {
        startup.StartupInfo.cb = sizeof(STARTUPINFOEXW);
        startup.lpAttributeList = list.get();
        return win32::createBoundProcess(line, true, EXTENDED_STARTUPINFO_PRESENT,
                                         startup.StartupInfo);
    }
    // Without an attribute list every inheritable handle would pass; this program makes none
    // but the null device and a listing's pipe.
    startup.StartupInfo.cb = sizeof(STARTUPINFOW);
    return win32::createBoundProcess(line, true, 0, startup.StartupInfo);
}

std::optional<win32::BoundProcess> startShown(std::vector<wchar_t>& line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return win32::createBoundProcess(line, false, 0, startup);
}

}  // namespace

RunningTool::RunningTool(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RunningTool::RunningTool(RunningTool&&) noexcept = default;
RunningTool& RunningTool::operator=(RunningTool&& other) noexcept {
    if (this != &other) {
        RunningTool old(std::move(*this));  // hands on a taken quit request, closes handles
        impl_ = std::move(other.impl_);
    }
    return *this;
}

RunningTool::~RunningTool() {
    if (!impl_) return;
    impl_->thread.reset();
    impl_->process.reset();
    // Handed back to the main event loop, so the program still ends after the run.
    if (impl_->quitCode) PostQuitMessage(*impl_->quitCode);
}

// The process, not its primary thread: until the process has ended it may still hold the
// output open.
bool RunningTool::hasEnded() {
    return WaitForSingleObject(impl_->process.get(), 0) != WAIT_TIMEOUT;
}

void RunningTool::terminate() {
    if (TerminateProcess(impl_->process.get(), 0)) impl_->terminated = true;
}

std::optional<int> RunningTool::exitCode() {
    if (impl_->terminated || !hasEnded()) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(impl_->process.get(), &code)) return std::nullopt;
    return int(code);
}

std::optional<RunningTool> startTool(const ToolCommand& command, bool show) {
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, show, nullptr);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, HANDLE output) {
    if (command.line.empty() || command.line.find(L'\0') != NativeString::npos) {
        return nullptr;
    }
    // CreateProcessW may write into the line, so it gets a copy of its own.
    std::vector<wchar_t> line(command.line.begin(), command.line.end());
    line.push_back(L'\0');
    std::optional<win32::BoundProcess> bound =
        show && !output ? startShown(line) : startHidden(line, output);
    if (!bound) return nullptr;
    auto impl = std::make_unique<RunningTool::Impl>();
    impl->thread = std::move(bound->thread);
    impl->process = std::move(bound->process);
    impl->job = std::move(bound->job);
    return impl;
}

}  // namespace pomu::platform

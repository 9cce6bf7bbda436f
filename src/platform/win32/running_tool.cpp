// Starting the archiver with CreateProcessW, polling, terminating and reading its exit code.
#include "platform/win32/running_tool.h"

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

bool createProcess(std::vector<wchar_t>& line, bool inherit, DWORD flags, STARTUPINFOW& startup,
                   PROCESS_INFORMATION& info) {
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit ? TRUE : FALSE,
                          NORMAL_PRIORITY_CLASS | flags, nullptr, nullptr, &startup, &info) != 0;
}

bool startHidden(std::vector<wchar_t>& line, HANDLE output, PROCESS_INFORMATION& info) {
    win32::KernelHandle nul = openNullDevice();
    if (!nul.valid()) return false;
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
        return createProcess(line, true, EXTENDED_STARTUPINFO_PRESENT, startup.StartupInfo, info);
    }
    // Without an attribute list every inheritable handle would pass; this program makes none
    // but the null device and a listing's pipe.
    startup.StartupInfo.cb = sizeof(STARTUPINFOW);
    return createProcess(line, true, 0, startup.StartupInfo, info);
}

bool startShown(std::vector<wchar_t>& line, PROCESS_INFORMATION& info) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return createProcess(line, false, 0, startup, info);
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

bool RunningTool::hasEnded() {
    return WaitForSingleObject(impl_->thread.get(), 0) != WAIT_TIMEOUT;
}

void RunningTool::terminate() {
    if (TerminateProcess(impl_->process.get(), 0)) impl_->terminated = true;
}

std::optional<int> RunningTool::exitCode() {
    if (impl_->terminated || !hasEnded()) return std::nullopt;
    // The primary thread is gone, so the process is ending: this wait is short.
    WaitForSingleObject(impl_->process.get(), INFINITE);
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
    PROCESS_INFORMATION info{};
    const bool started = show && !output ? startShown(line, info) : startHidden(line, output, info);
    if (!started) return nullptr;
    auto impl = std::make_unique<RunningTool::Impl>();
    impl->thread = win32::KernelHandle(info.hThread);
    impl->process = win32::KernelHandle(info.hProcess);
    return impl;
}

}  // namespace pomu::platform

// Starting the archiver in its job, polling, terminating and reading its exit code.
#include "platform/win32/running_tool.h"

#include "platform/win32/bound_process.h"

#include <windows.h>

#include <algorithm>
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

// The read end (inheritable) of a pipe that holds the bytes and then its end. The pipe's buffer
// takes them all and the write does not wait: nothing ever waits for the tool to read.
win32::KernelHandle filledPipe(std::string_view bytes) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (bytes.size() > kMaxToolInputBytes ||
        !CreatePipe(&read, &write, nullptr, DWORD(kMaxToolInputBytes))) {
        return {};
    }
    win32::KernelHandle readEnd(read);
    const win32::KernelHandle writeEnd(write);
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    SetNamedPipeHandleState(writeEnd.get(), &mode, nullptr, nullptr);
    DWORD wrote = 0;
    if (!WriteFile(writeEnd.get(), bytes.data(), DWORD(bytes.size()), &wrote, nullptr) ||
        wrote != bytes.size() ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        return {};
    }
    return readEnd;
}

// The child inherits only the handles named, those that are given.
std::optional<win32::BoundProcess> startWithHandles(std::vector<wchar_t>& line,
                                                    STARTUPINFOEXW& startup,
                                                    std::initializer_list<HANDLE> handles) {
    std::vector<HANDLE> inherited;
    for (HANDLE handle : handles) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
            std::find(inherited.begin(), inherited.end(), handle) == inherited.end()) {
            inherited.push_back(handle);
        }
    }
    const HandleList list(inherited.data(), inherited.size());
    if (list.get()) {
        startup.StartupInfo.cb = sizeof(STARTUPINFOEXW);
        startup.lpAttributeList = list.get();
        return win32::createBoundProcess(line, true, EXTENDED_STARTUPINFO_PRESENT,
                                         startup.StartupInfo);
    }
    // Without an attribute list every inheritable handle would pass; this program makes none
    // but the null device, a listing's pipe and a tool's input.
    startup.StartupInfo.cb = sizeof(STARTUPINFOW);
    return win32::createBoundProcess(line, true, 0, startup.StartupInfo);
}

std::optional<win32::BoundProcess> startHidden(std::vector<wchar_t>& line, HANDLE output,
                                               HANDLE input) {
    win32::KernelHandle nul = openNullDevice();
    if (!nul.valid()) return std::nullopt;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = input ? input : nul.get();
    startup.StartupInfo.hStdOutput = output ? output : nul.get();
    startup.StartupInfo.hStdError = output ? output : nul.get();
    return startWithHandles(line, startup,
                            {startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput});
}

std::optional<win32::BoundProcess> startShown(std::vector<wchar_t>& line, HANDLE input) {
    if (input) {
        // An invalid handle gets the new console's own: its output stays the user's to watch.
        STARTUPINFOEXW startup{};
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = input;
        startup.StartupInfo.hStdOutput = INVALID_HANDLE_VALUE;
        startup.StartupInfo.hStdError = INVALID_HANDLE_VALUE;
        return startWithHandles(line, startup, {input});
    }
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

std::optional<RunningTool> startTool(const ToolCommand& command, bool show,
                                     std::string_view input) {
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, show, nullptr, input);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::unique_ptr<RunningTool::Impl> spawnTool(const ToolCommand& command, bool show, HANDLE output,
                                             std::string_view input) {
    if (command.line.empty() || command.line.find(L'\0') != NativeString::npos) {
        return nullptr;
    }
    win32::KernelHandle given;
    if (!input.empty()) {
        given = filledPipe(input);
        if (!given.valid()) return nullptr;
    }
    // CreateProcessW may write into the line, so it gets a copy of its own.
    std::vector<wchar_t> line(command.line.begin(), command.line.end());
    line.push_back(L'\0');
    std::optional<win32::BoundProcess> bound =
        show && !output ? startShown(line, given.get()) : startHidden(line, output, given.get());
    if (!bound) return nullptr;
    auto impl = std::make_unique<RunningTool::Impl>();
    impl->thread = std::move(bound->thread);
    impl->process = std::move(bound->process);
    impl->job = std::move(bound->job);
    return impl;
}

}  // namespace pomu::platform

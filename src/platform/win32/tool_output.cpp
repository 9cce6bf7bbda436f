// Draining a tool's overlapped pipe or reading its file, and starting a listing or a tool read
// for its progress.
#include "platform/win32/tool_output.h"

#include <atomic>

#include "platform/win32/long_path.h"
#include "platform/win32/running_tool.h"

namespace pomu::platform {
namespace {

// The prefix, this process and a count: a name no other listing or pipe has taken.
std::wstring uniqueName(NativeView prefix) {
    static std::atomic<unsigned> counter{0};
    return NativeString(prefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
}

// An anonymous pipe cannot be read overlapped, so each listing gets a named one of its own.
std::wstring uniquePipeName() {
    return uniqueName(L"\\\\.\\pipe\\pomu-listing-");
}

// A file of the listing's own in the temp folder, gone once its last handle is closed (the
// tool's when it ends, this program's when the output is read); inheritable, for the tool.
win32::KernelHandle listingFile() {
    const std::optional<NativeString> temp = tempFolder();
    if (!temp) return {};
    const std::optional<NativeString> path = win32::apiPath(uniqueName(*temp + L"pomu-listing-"));
    if (!path) return {};
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return win32::KernelHandle(
        CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                    CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

}  // namespace

ToolOutput::~ToolOutput() {
    if (pending_ && CancelIoEx(pipe_.get(), &overlapped_)) {
        DWORD got = 0;
        GetOverlappedResult(pipe_.get(), &overlapped_, &got, TRUE);
    }
}

bool ToolOutput::watch(win32::KernelHandle pipe) {
    event_ = win32::KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_.valid()) return false;
    pipe_ = std::move(pipe);
    startReads();
    return true;
}

void ToolOutput::finish() {
    pending_ = false;
    pipe_.reset();
}

void ToolOutput::append(DWORD got) {
    text_.append(buffer_.data(), got);
    if (keepsLatest()) keepLatestOutput(text_, keep_);
}

void ToolOutput::startReads() {
    while (pipe_.valid() && !pending_) {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_.get();
        DWORD got = 0;
        if (ReadFile(pipe_.get(), buffer_.data(), DWORD(buffer_.size()), &got, &overlapped_)) {
            append(got);  // done at once; the event is set too
            ResetEvent(event_.get());
            continue;
        }
        if (GetLastError() == ERROR_IO_PENDING) {
            pending_ = true;
        } else {
            finish();  // ERROR_BROKEN_PIPE: the tool has closed its end
        }
    }
}

bool ToolOutput::completeRead(bool wait) {
    DWORD got = 0;
    if (!GetOverlappedResult(pipe_.get(), &overlapped_, &got, wait ? TRUE : FALSE)) {
        if (!wait && GetLastError() == ERROR_IO_INCOMPLETE) return false;
        finish();
        return false;
    }
    pending_ = false;
    append(got);
    ResetEvent(event_.get());
    startReads();
    return true;
}

void ToolOutput::readAvailable() {
    if (pending_) completeRead(false);
}

void ToolOutput::handOver(const std::function<void(std::string_view)>& take) {
    if (!text_.empty()) take(text_);
    text_.clear();
}

void ToolOutput::readToEnd(const std::function<void(std::string_view)>& take) {
    if (file_.valid()) {
        handOver(take);
        DWORD got = 0;
        if (SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
            while (ReadFile(file_.get(), buffer_.data(), DWORD(buffer_.size()), &got, nullptr) &&
                   got > 0) {
                take({buffer_.data(), got});
            }
        }
        file_.reset();
        return;
    }
    // Each completed read lands in the text, handed on before the next.
    handOver(take);
    while (pending_ && completeRead(true)) handOver(take);
}

void RunningTool::readOutput(const std::function<void(std::string_view)>& take) {
    if (hasEnded()) {
        impl_->output.readToEnd(take);
    } else {
        impl_->output.handOver(take);
    }
}

std::string RunningTool::takeOutput() {
    std::string text;
    readOutput([&text](std::string_view piece) { text.append(piece); });
    return text;
}

std::string_view RunningTool::latestOutput() const {
    const ToolOutput& output = impl_->output;
    return output.keepsLatest() ? std::string_view(output.text()) : std::string_view();
}

namespace {

std::unique_ptr<RunningTool::Impl> startOnPipe(const ToolCommand& command, std::size_t keep,
                                               std::string_view input) {
    const std::wstring name = uniquePipeName();
    win32::KernelHandle readEnd(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 65536,
        0, nullptr));
    if (!readEnd.valid()) return nullptr;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // The tool's end is the only inheritable one; this program keeps no copy of it once started,
    // so the pipe ends when the tool does.
    win32::KernelHandle writeEnd(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writeEnd.valid()) return nullptr;
    std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, false, writeEnd.get(), input);
    writeEnd.reset();
    if (!impl) return nullptr;
    // Set before the first read starts, so no more than the latest bytes are ever held.
    impl->output.keepLatest(keep);
    if (!impl->output.watch(std::move(readEnd))) return nullptr;
    return impl;
}

}  // namespace

std::optional<RunningTool> startListing(const ToolCommand& command, std::string_view input) {
    // Written into a file, a listing runs to its end while another step is followed; a pipe
    // (where no such file can be made) must be drained as it fills.
    if (win32::KernelHandle file = listingFile(); file.valid()) {
        std::unique_ptr<RunningTool::Impl> impl = spawnTool(command, false, file.get(), input);
        if (!impl) return std::nullopt;
        impl->output.keepFile(std::move(file));
        return RunningTool(std::move(impl));
    }
    std::unique_ptr<RunningTool::Impl> impl = startOnPipe(command, std::string::npos, input);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

std::optional<RunningTool> startWithProgress(const ToolCommand& command, std::string_view input) {
    std::unique_ptr<RunningTool::Impl> impl = startOnPipe(command, kLatestOutputBytes, input);
    if (!impl) return std::nullopt;
    return RunningTool(std::move(impl));
}

}  // namespace pomu::platform

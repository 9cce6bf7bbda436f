// A tool's standard output on Windows: an overlapped pipe and its read event, or a listing's
// file; the text so far.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

class ToolOutput {
  public:
    ToolOutput() = default;
    ToolOutput(const ToolOutput&) = delete;
    ToolOutput& operator=(const ToolOutput&) = delete;
    // A read still under way is cancelled and waited for: it writes into this object.
    ~ToolOutput();

    // Takes the read end (opened for overlapped reading) and starts the first read.
    bool watch(win32::KernelHandle pipe);
    bool watched() const { return pipe_.valid(); }
    // Takes a listing's file, read from its start once the tool has ended.
    void keepFile(win32::KernelHandle file) { file_ = std::move(file); }
    // Signalled when a read has completed; the pump waits on it with the tool's thread.
    HANDLE readEvent() const { return event_.get(); }
    // Takes every completed read and starts the next, without waiting.
    void readAvailable();
    // Hands on what has been read, then reads until the writer has gone, or the whole file (the
    // tool has ended, so this is short), handing on each piece as it comes.
    void readToEnd(const std::function<void(std::string_view)>& take);
    // Hands on what has been read so far.
    void handOver(const std::function<void(std::string_view)>& take);
    // From now on only the latest bytes are kept.
    void keepLatest(std::size_t limit) { keep_ = limit; }
    bool keepsLatest() const { return keep_ != std::string::npos; }
    const std::string& text() const { return text_; }

  private:
    // Starts reads until one stays pending; false once the pipe has ended.
    void startReads();
    // Takes the pending read's bytes and starts the next; false when none came (yet).
    bool completeRead(bool wait);
    void finish();
    void append(DWORD got);

    win32::KernelHandle pipe_;
    win32::KernelHandle file_;
    win32::KernelHandle event_;
    OVERLAPPED overlapped_{};
    std::vector<char> buffer_ = std::vector<char>(65536);
    bool pending_ = false;
    std::string text_;
    std::size_t keep_ = std::string::npos;
};

}  // namespace pomu::platform

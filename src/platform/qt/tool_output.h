// A tool's standard output on a pipe or in a file: its read end and what has been read so far.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/text.h"

#include "platform/qt/posix_handles.h"

namespace pomu::platform {

struct ToolOutput {
    posix::UniqueFd pipe;  // non-blocking; invalid when the tool writes elsewhere or at its end
    posix::UniqueFd file;  // a listing's unnamed file, read once the tool has ended
    std::string text;
    std::size_t keep = std::string::npos;  // only the latest bytes are kept

    bool watched() const { return pipe.valid(); }
    // Reads what the pipe holds now, without waiting; closes it at its end.
    void readAvailable();
    // Hands on what has been read, then reads until the writer has gone, or the whole file (the
    // tool has ended, so this is short), handing on each piece as it comes.
    void readToEnd(const std::function<void(std::string_view)>& take);
};

}  // namespace pomu::platform

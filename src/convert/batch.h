// The drop batch: every dropped path converted in turn, a summary, and drops queued meanwhile.
#pragma once

#include <deque>
#include <vector>

#include "convert/job.h"

namespace pomu {

// "<converted> 7z complete!" or "<converted> zip complete!".
NativeString summaryText(int converted, bool zip);

enum class BatchEnd {
    finished,   // every batch ran and its summary is shown
    queued,     // a batch was running: the drop waits for its turn
    forceExit,  // the user forced the exit: the window must close now
};

// Runs drops one batch after another. A drop that arrives while a batch runs (the tool runner
// handles window events) is queued and converted afterwards as a batch of its own, never
// inside the running one.
class DropBatches {
public:
    DropBatches(StatusWindow& window, const ConversionOptions& options, RunState& runState)
        : window_(window), options_(options), runState_(runState) {}

    BatchEnd drop(std::vector<NativeString> paths);
    std::size_t queuedBatches() const { return queue_.size(); }
    int lastConvertedCount() const { return lastConverted_; }

private:
    // Converts one batch; false when force exit stopped it.
    bool runBatch(const std::vector<NativeString>& paths);

    StatusWindow& window_;
    const ConversionOptions& options_;
    RunState& runState_;
    std::deque<std::vector<NativeString>> queue_;
    int lastConverted_ = 0;
};

}  // namespace pomu

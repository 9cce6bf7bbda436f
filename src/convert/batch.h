// The drop batch: every dropped path converted in turn, a summary, a report, and drops queued.
#pragma once

#include <deque>
#include <map>
#include <vector>

#include "convert/batch_log.h"
#include "convert/job.h"
#include "convert/progress.h"
#include "convert/report.h"

namespace pomu {

// "<converted> 7z complete!" or "<converted> zip complete!".
NativeString summaryText(int converted, bool zip);

// What the batch takes from a drop: its paths in order and, by their place among them, the
// outcomes already settled before the batch (a searched folder with no archives, a subfolder
// that could not be searched), which no job is run for.
struct Drop {
    std::vector<NativeString> paths;
    std::map<std::size_t, ConversionOutcome> settled = {};
};

enum class BatchEnd {
    finished,   // every batch ran and its summary is shown
    queued,     // a batch was running: the drop waits for its turn
    forceExit,  // the user forced the exit: the window must close now
};

// Runs drops one batch after another. A drop that arrives while a batch runs (the tool runner
// handles window events) is queued and converted afterwards as a batch of its own, never
// inside the running one. Each batch keeps a line per dropped path and writes them to the log.
// The window's progress covers every file from the first drop until the queue is empty.
class DropBatches {
  public:
    DropBatches(StatusWindow& window, const ConversionOptions& options, RunState& runState,
                std::optional<NativeString> logPath = platform::logFilePath())
        : window_(window), options_(options), runState_(runState), log_(std::move(logPath)) {}

    BatchEnd drop(std::vector<NativeString> paths) { return drop(Drop{std::move(paths)}); }
    BatchEnd drop(Drop drop);
    // Who is asked for a batch's password; without one, encrypted sources need a password.
    void setPasswordQuestion(PasswordQuestion* question) { question_ = question; }
    std::size_t queuedBatches() const { return queue_.size(); }
    int lastConvertedCount() const { return lastConverted_; }
    // The report of the batch whose summary was shown last.
    const BatchReport& lastReport() const { return lastReport_; }
    const std::optional<NativeString>& logPath() const { return log_.path(); }

  private:
    // Converts one batch; false when force exit stopped it.
    bool runBatch(const Drop& batch);
    struct Memory;
    // One dropped path through the job, timed and described.
    FileReport convertOne(const NativeString& path, int index, int count, Memory& memory,
                          BatchPassword* passwords);
    void showProgressWhenDue();

    StatusWindow& window_;
    const ConversionOptions& options_;
    RunState& runState_;
    BatchLog log_;
    PasswordQuestion* question_ = nullptr;
    std::deque<Drop> queue_;
    BatchProgress progress_;
    int lastConverted_ = 0;
    BatchReport lastReport_;
};

}  // namespace pomu

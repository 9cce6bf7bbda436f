// Drop batches in turn: summary line, report and log, progress, and the force-exit stop.
#include "convert/batch.h"

#include <chrono>

#include "convert/plan.h"
#include "convert/rar_support.h"

namespace pomu {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Lets the tool runner move the batch's progress on while one file is converted.
class ProgressFeed {
  public:
    ProgressFeed(RunState& runState, BatchProgress& progress) : runState_(runState) {
        runState_.progress = &progress;
    }
    ProgressFeed(const ProgressFeed&) = delete;
    ProgressFeed& operator=(const ProgressFeed&) = delete;
    ~ProgressFeed() { runState_.progress = nullptr; }

  private:
    RunState& runState_;
};

}  // namespace

NativeString summaryText(int converted, bool zip) {
    NativeString text = toNative(converted);
    text += POMU_T(" ");
    text += zip ? POMU_T("zip complete!") : POMU_T("7z complete!");
    return text;
}

BatchEnd DropBatches::drop(std::vector<NativeString> paths) {
    if (runState_.busy) {
        if (!runState_.forceExit) {
            progress_.addFiles(int(paths.size()));
            queue_.push_back(std::move(paths));
        }
        return BatchEnd::queued;
    }
    progress_ = BatchProgress();
    progress_.addFiles(int(paths.size()));
    queue_.push_back(std::move(paths));
    runState_.busy = true;
    showProgressWhenDue();
    while (!queue_.empty()) {
        const std::vector<NativeString> batch = std::move(queue_.front());
        queue_.pop_front();
        if (!runBatch(batch)) {
            queue_.clear();  // force exit drops whatever waits
            window_.showProgress(std::nullopt);
            return BatchEnd::forceExit;
        }
    }
    runState_.busy = false;
    window_.showProgress(std::nullopt);
    return BatchEnd::finished;
}

FileReport DropBatches::convertOne(const NativeString& path, int index, int count) {
    // The job takes its snapshot of the options at entry, on this thread: read now, the ZIP
    // option names the target it works on.
    const bool zip = options_.zip;
    const Clock::time_point start = Clock::now();
    // Asked only when a RAR source comes, so a start without one never runs it.
    if (isRarSource(path)) learnRarSupport(options_, window_, runState_);
    // The new archive is tested before its source moves, and only then.
    progress_.fileStarts(options_.deleteProcessed);
    ConversionOutcome outcome;
    {
        const ProgressFeed feed(runState_, progress_);
        outcome = convertFile(window_, path, index, count, options_, runState_);
    }
    progress_.fileEnds();
    showProgressWhenDue();
    const double seconds = secondsSince(start);
    NativeString target;
    if (outcome.reason != Reason::skipped && outcome.reason != Reason::pathTooLong) {
        target = targetPath(path, zip).value_or(NativeString());
    }
    const bool folder = !outcome.converted() && platform::isFolder(path);
    return describeFile(path, target, outcome, folder, seconds);
}

void DropBatches::showProgressWhenDue() {
    if (const std::optional<double> shown = progress_.due(BatchProgress::Clock::now())) {
        window_.showProgress(*shown);
    }
}

bool DropBatches::runBatch(const std::vector<NativeString>& paths) {
    const int count = static_cast<int>(paths.size());
    const Clock::time_point start = Clock::now();
    BatchReport report;
    int converted = 0;
    for (int index = 0; index < count; ++index) {
        report.files.push_back(convertOne(paths[std::size_t(index)], index, count));
        log_.fileEnded(report.files.back());
        if (report.files.back().outcome == FileOutcome::converted) ++converted;
        if (runState_.forceExit) {
            report.stopped = true;
            report.seconds = secondsSince(start);
            log_.batchEnded(report);
            return false;
        }
    }
    report.seconds = secondsSince(start);
    log_.batchEnded(report);
    lastConverted_ = converted;
    lastReport_ = std::move(report);
    // The wording follows the ZIP option as it is now, at the end of the batch.
    window_.writeStatus(summaryText(converted, options_.zip));
    return true;
}

}  // namespace pomu

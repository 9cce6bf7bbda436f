// Drop batches in turn: summary line, report and log, progress, and the force-exit stop.
#include "convert/batch.h"

#include <algorithm>
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

bool sameName(NativeView a, NativeView b) {
#ifdef _WIN32
    return equalsIgnoringCase(a, b);
#else
    return a == b;
#endif
}

}  // namespace

// What the batch has done so far, which the files after it must respect.
struct DropBatches::Memory {
    const std::vector<NativeString>& dropped;
    // A source that went to the Recycle Bin, and the dropped file whose conversion moved it.
    std::vector<std::pair<NativeString, NativeString>> moved;
    // An output made in this batch, and its source.
    std::vector<std::pair<platform::FileIdentity, NativeString>> made;

    // A later volume of a set goes with its first volume, never by itself; a file that went
    // with a set earlier is part of it; an archive made earlier in the batch is never replaced.
    std::optional<ConversionOutcome> refusal(const NativeString& path, StatusWindow& window,
                                             const ConversionOptions& options) const {
        const std::optional<NativeString> first = firstVolumeOf(path);
        const auto dropped = [&](const NativeString& name) {
            return std::ranges::any_of(this->dropped,
                                       [&](const NativeString& d) { return sameName(d, name); });
        };
        if (first && dropped(*first)) return outcomeOf(Reason::volumeOfSet, *first);
        for (const auto& [source, by] : moved) {
            if (sameName(source, path)) return outcomeOf(Reason::volumeOfSet, by);
        }
        if (first) {
            if (!platform::pathExists(*first)) return outcomeOf(Reason::firstVolumeMissing, *first);
            return outcomeOf(Reason::volumeOfSet, *first);
        }
        const std::optional<NativeString> target = targetPath(path, options.zip);
        const std::optional<NativeString> firstOutput =
            target ? firstOutputPath(*target, options.div100MB || options.div1GB) : std::nullopt;
        for (const std::optional<NativeString>& output : {target, firstOutput}) {
            const auto now = output ? platform::fileIdentity(*output) : std::nullopt;
            for (const auto& [identity, source] : made) {
                if (!now || *now != identity) continue;
                window.writeStatus(kExistsText);
                ConversionOutcome outcome = outcomeOf(Reason::madeInBatch, *output);
                outcome.cause = source;
                return outcome;
            }
        }
        return std::nullopt;
    }

    void remember(const NativeString& path, const ConversionOutcome& outcome,
                  const ConversionOptions& options) {
        for (const NativeString& source : outcome.moved) moved.emplace_back(source, path);
        if (!outcome.converted()) return;
        const std::optional<NativeString> target = targetPath(path, options.zip);
        if (!target) return;
        for (const auto& output : {std::optional(*target), volumePath(*target, 1)}) {
            const auto identity = output ? platform::fileIdentity(*output) : std::nullopt;
            if (identity) made.emplace_back(*identity, path);
        }
    }
};

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

FileReport DropBatches::convertOne(const NativeString& path, int index, int count, Memory& memory,
                                   BatchPassword* passwords) {
    // The job takes its snapshot of the options at entry, on this thread: read now, the ZIP
    // option names the target it works on.
    const ConversionOptions options = options_;
    const bool zip = options.zip;
    const Clock::time_point start = Clock::now();
    // Asked only when a RAR source comes, so a start without one never runs it.
    if (isRarSource(path)) learnRarSupport(options_, window_, runState_);
    // The new archive is tested before its source moves, and only then.
    progress_.fileStarts(options_.deleteProcessed);
    ConversionOutcome outcome;
    if (std::optional<ConversionOutcome> refused = memory.refusal(path, window_, options)) {
        outcome = *refused;
    } else {
        const ProgressFeed feed(runState_, progress_);
        outcome = convertFile(window_, path, index, count, options_, runState_, passwords);
        memory.remember(path, outcome, options);
    }
    progress_.fileEnds();
    showProgressWhenDue();
    const double seconds = secondsSince(start);
    NativeString target;
    if (countsAs(outcome) != FileOutcome::skipped && outcome.reason != Reason::pathTooLong) {
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
    Memory memory{paths, {}, {}};
    // Asked for once, when the first encrypted source comes; wiped when the batch ends.
    std::optional<BatchPassword> password;
    if (question_) password.emplace(*question_);
    int converted = 0;
    for (int index = 0; index < count; ++index) {
        report.files.push_back(convertOne(paths[std::size_t(index)], index, count, memory,
                                          password ? &*password : nullptr));
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

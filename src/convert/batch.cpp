// Drop batches in turn: summary line, report and log, progress, and the force-exit stop.
#include "convert/batch.h"

#include <chrono>
#include <unordered_map>
#include <unordered_set>

#include "convert/keyed_groups.h"
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

// Hashes under a seed of the batch's own, so a drop of names made to collide stays linear.
struct SeededKeys {
    std::uint64_t seed = randomSeed();
    std::size_t operator()(const NativeString& key) const {
        return std::size_t(seededHash(
            {reinterpret_cast<const char*>(key.data()), key.size() * sizeof(Char)}, seed));
    }
    std::size_t operator()(const platform::FileIdentity& file) const {
        return std::size_t(spreadBits(spreadBits(file.volume ^ seed) ^ file.index));
    }
};

}  // namespace

// What the batch has done so far, which the files after it must respect. Each file looks up
// its names once: a drop of many files stays linear.
struct DropBatches::Memory {
    explicit Memory(const std::vector<NativeString>& paths)
        : dropped(paths.size(), keys), moved(0, keys), made(0, keys) {
        for (const NativeString& path : paths) dropped.insert(nameKey(path));
    }

    SeededKeys keys;
    std::unordered_set<NativeString, SeededKeys> dropped;
    // A source that went to the Recycle Bin, and the dropped file whose conversion moved it.
    std::unordered_map<NativeString, NativeString, SeededKeys> moved;
    // An output made in this batch, and its source.
    std::unordered_map<platform::FileIdentity, NativeString, SeededKeys> made;

    // A later volume of a set goes with its first volume, never by itself; a file that went
    // with a set earlier is part of it; an archive made earlier in the batch is never replaced.
    std::optional<ConversionOutcome> refusal(const NativeString& path, StatusWindow& window,
                                             const ConversionOptions& options) const {
        const std::optional<NativeString> first = firstVolumeOf(path);
        if (first && dropped.contains(nameKey(*first))) {
            return outcomeOf(Reason::volumeOfSet, *first);
        }
        if (const auto by = moved.find(nameKey(path)); by != moved.end()) {
            return outcomeOf(Reason::volumeOfSet, by->second);
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
            const auto source = now ? made.find(*now) : made.end();
            if (source == made.end()) continue;
            ConversionOutcome outcome = outcomeOf(Reason::madeInBatch, *output);
            outcome.cause = source->second;
            return targetStands(window, outcome);
        }
        return std::nullopt;
    }

    void remember(const NativeString& path, const ConversionOutcome& outcome,
                  const ConversionOptions& options) {
        for (const NativeString& source : outcome.moved) moved.emplace(nameKey(source), path);
        if (!outcome.converted()) return;
        const std::optional<NativeString> target = targetPath(path, options.zip);
        if (!target) return;
        for (const auto& output : {std::optional(*target), volumePath(*target, 1)}) {
            const auto identity = output ? platform::fileIdentity(*output) : std::nullopt;
            if (identity) made.emplace(*identity, path);
        }
    }
};

NativeString summaryText(int converted, bool zip) {
    NativeString text = toNative(converted);
    text += POMU_T(" ");
    text += zip ? POMU_T("zip complete!") : POMU_T("7z complete!");
    return text;
}

BatchEnd DropBatches::drop(Drop dropped) {
    if (runState_.busy) {
        if (!runState_.forceExit) {
            progress_.addFiles(int(dropped.paths.size()));
            queue_.push_back(std::move(dropped));
        }
        return BatchEnd::queued;
    }
    progress_ = BatchProgress();
    progress_.addFiles(int(dropped.paths.size()));
    queue_.push_back(std::move(dropped));
    runState_.busy = true;
    showProgressWhenDue();
    while (!queue_.empty()) {
        const Drop batch = std::move(queue_.front());
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
    const Clock::time_point start = Clock::now();
    // Asked only when a RAR source comes, so a start without one never runs it. The question
    // handles window events: the options are read after it.
    if (isRarSource(path)) learnRarSupport(options_, window_, runState_);
    // The job's snapshot of the options, taken here: the ZIP option names the target it works
    // on, in the report and in what the batch remembers.
    const ConversionOptions options = options_;
    const bool zip = options.zip;
    // The new archive is tested before its source moves, and only then.
    progress_.fileStarts(options.deleteProcessed);
    ConversionOutcome outcome;
    if (std::optional<ConversionOutcome> refused = memory.refusal(path, window_, options)) {
        outcome = *refused;
    } else {
        const ProgressFeed feed(runState_, progress_);
        outcome = convertFile(window_, path, index, count, options, runState_, passwords);
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

bool DropBatches::runBatch(const Drop& batch) {
    const std::vector<NativeString>& paths = batch.paths;
    const int count = static_cast<int>(paths.size());
    const Clock::time_point start = Clock::now();
    BatchReport report;
    Memory memory(paths);
    // Asked for once, when the first encrypted source comes; wiped when the batch ends.
    std::optional<BatchPassword> password;
    if (question_) password.emplace(*question_);
    int converted = 0;
    for (int index = 0; index < count; ++index) {
        const NativeString& path = paths[std::size_t(index)];
        if (const auto settled = batch.settled.find(std::size_t(index));
            settled != batch.settled.end()) {
            progress_.fileStarts(false);
            progress_.fileEnds();
            report.files.push_back(describeFile(path, {}, settled->second, false, 0));
        } else {
            report.files.push_back(
                convertOne(path, index, count, memory, password ? &*password : nullptr));
        }
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

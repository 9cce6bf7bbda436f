// How far the running file and the batch are, from the steps the archiver runs.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace pomu {

// One file's job as its archiver runs: the source's listing, extraction, compression, the new
// archive's listing and, when the source is to be moved, its test. Each step has a share of
// the whole; the fraction never goes back.
class FileProgress {
  public:
    explicit FileProgress(bool tested);

    // A run with this command word is under way and has done this fraction of its work. A word
    // that comes later in the job moves on to that step; one that is not ahead is a step run
    // again or not foreseen, and moves nothing.
    void stepRuns(NativeView word, double done);
    // 0 to 1.
    double fraction() const { return shown_; }

  private:
    struct Step {
        NativeView word;
        double share;
    };
    std::vector<Step> steps_;
    std::size_t current_ = 0;
    double shown_ = 0;
};

// Files done plus the running file's share, over every file dropped so far (a drop that waits
// for its turn adds its files); shown at most about five times a second.
class BatchProgress {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kShowEvery = std::chrono::milliseconds(200);

    void addFiles(int count) { files_ += count; }
    void fileStarts(bool tested) { file_.emplace(tested); }
    void stepRuns(NativeView word, double done);
    void fileEnds();
    // 0 to 1 (0 before any file).
    double fraction() const;
    // The fraction when it is due to be shown at `now`: it changed and the last one shown is
    // old enough. The first is due at once.
    std::optional<double> due(Clock::time_point now);

  private:
    int files_ = 0;
    int done_ = 0;
    std::optional<FileProgress> file_;
    std::optional<Clock::time_point> shownAt_;
    double shown_ = -1;
};

}  // namespace pomu

// Step shares of one file's job, and the batch's fraction with its pace of updates.
#include "convert/progress.h"

#include <algorithm>
#include <cmath>

#include "convert/archiver.h"

namespace pomu {
namespace {

// The test run's word; only the job starts it, after the new archive's listing.
constexpr NativeView kTestWord = POMU_T("t");

// Rough shares of a conversion's time at the default level: compression is the slow part,
// testing reads the whole new archive again, listings print what the headers hold.
constexpr double kListingShare = 1;
constexpr double kExtractShare = 24;
constexpr double kCompressShare = 60;
constexpr double kTestShare = 14;

// The share of a batch under which nothing is shown again: a thousandth is a pixel or less.
constexpr double kVisibleChange = 0.001;

}  // namespace

FileProgress::FileProgress(bool tested)
    : steps_{{archiver::kList, kListingShare},
             {archiver::kExtract, kExtractShare},
             {archiver::kAdd, kCompressShare},
             {archiver::kList, kListingShare}} {
    if (tested) steps_.push_back({kTestWord, kTestShare});
}

void FileProgress::stepRuns(NativeView word, double done) {
    std::size_t at = current_;
    while (at < steps_.size() && steps_[at].word != word) ++at;
    if (at == steps_.size()) return;
    current_ = at;
    double total = 0;
    double before = 0;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        total += steps_[i].share;
        if (i < at) before += steps_[i].share;
    }
    const double within = std::clamp(done, 0.0, 1.0) * steps_[at].share;
    shown_ = std::max(shown_, (before + within) / total);
}

void BatchProgress::stepRuns(NativeView word, double done) {
    if (file_) file_->stepRuns(word, done);
}

void BatchProgress::fileEnds() {
    file_.reset();
    done_ = std::min(done_ + 1, files_);
}

double BatchProgress::fraction() const {
    if (files_ <= 0) return 0;
    const double running = file_ ? file_->fraction() : 0;
    return std::min(1.0, (double(done_) + running) / double(files_));
}

std::optional<double> BatchProgress::due(Clock::time_point now) {
    const double current = fraction();
    if (shownAt_ && now - *shownAt_ < kShowEvery) return std::nullopt;
    if (shownAt_ && std::abs(current - shown_) < kVisibleChange) return std::nullopt;
    shownAt_ = now;
    shown_ = current;
    return current;
}

}  // namespace pomu

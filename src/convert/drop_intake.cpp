// The drops' way to the batches: straight on, or behind a search of dropped folders.
#include "convert/drop_intake.h"

#include "convert/job.h"

namespace pomu {
namespace {

// Entries read between two looks at the clock.
constexpr std::size_t kEntriesPerLook = 256;

}  // namespace

NativeString searchText(std::size_t entries) {
    return POMU_T("Searching...") + NativeString(kLineBreak) + POMU_T("(") +
           toNative(static_cast<long long>(entries)) + POMU_T(" files)");
}

void DropIntake::take(std::vector<NativeString> paths) {
    DropSearch search(std::move(paths), options_.zip);
    if (queue_.empty() && !working_ && !search.hasFolders()) {
        window_.handOver(search.result(false));
        return;
    }
    queue_.push_back(std::move(search));
    if (!working_) window_.scheduleSlice();
}

void DropIntake::slice() {
    // A question or a batch under way schedules the next slice when it is done.
    if (working_ || queue_.empty() || runState_.busy) return;
    working_ = true;
    const auto start = std::chrono::steady_clock::now();
    bool done = false;
    while (!done && std::chrono::steady_clock::now() - start < kSliceTime) {
        done = queue_.front().advance(kEntriesPerLook);
    }
    if (!done) {
        if (const auto now = std::chrono::steady_clock::now(); now - shownAt_ >= kShowEvery) {
            shownAt_ = now;
            window_.showSearch(queue_.front().entriesRead());
        }
        working_ = false;
        window_.scheduleSlice();
        return;
    }
    DropSearch search = std::move(queue_.front());
    queue_.pop_front();
    const bool yes = search.archives() > 0 && window_.askToConvert(search.question());
    // The window closed while it asked.
    if (!working_) return;
    // While the batches run, a drop of files only joins their queue as any drop does.
    working_ = false;
    window_.handOver(search.result(yes));
    resume();
}

void DropIntake::resume() {
    if (!working_ && !queue_.empty()) window_.scheduleSlice();
}

void DropIntake::clear() {
    queue_.clear();
    working_ = false;
}

}  // namespace pomu

// Drops on their way to the batches: folders searched in slices first, in the order they came.
#pragma once

#include <chrono>
#include <deque>
#include <vector>

#include "convert/folder_search.h"
#include "options/options.h"

namespace pomu {

// "Searching..." with the entries read so far on a second line: the status while a search runs.
NativeString searchText(std::size_t entries);

// A drop with folders waits while its folders are searched, a slice at a time from the
// window's own event loop, and while the user is asked about them once; drops that come
// meanwhile wait behind it, so every drop reaches the batches in the order it came. A search
// waits for a running batch to end: no question comes up in the middle of one.
class DropIntake {
  public:
    class Window {
      public:
        virtual ~Window() = default;
        // Calls slice() soon from the event loop, after the window's own pending events.
        virtual void scheduleSlice() = 0;
        // The search has read this many entries so far.
        virtual void showSearch(std::size_t entries) = 0;
        // Yes or no to the question.
        virtual bool askToConvert(NativeView question) = 0;
        // The drop goes to the batches (and may run them before it returns).
        virtual void handOver(Drop drop) = 0;
    };

    // How long one slice searches before the window's events are handled again.
    static constexpr std::chrono::milliseconds kSliceTime{8};
    static constexpr std::chrono::milliseconds kShowEvery{200};

    DropIntake(Window& window, const ConversionOptions& options, const RunState& runState)
        : window_(window), options_(options), runState_(runState) {}

    void take(std::vector<NativeString> paths);
    void slice();
    // A batch has ended: a drop that waited for it goes on.
    void resume();
    // The window has closed: what waits is dropped.
    void clear();
    bool idle() const { return queue_.empty() && !working_; }

  private:
    Window& window_;
    const ConversionOptions& options_;
    const RunState& runState_;
    std::deque<DropSearch> queue_;
    bool working_ = false;  // a slice runs or asks
    std::chrono::steady_clock::time_point shownAt_{};
};

}  // namespace pomu

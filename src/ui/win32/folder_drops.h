// The window's drops on their way to the batches: dropped folders searched in slices on a
// timer, and the one question about what they hold.
#pragma once

#include <windows.h>

#include "convert/drop_intake.h"

namespace pomu::ui {

struct WindowState;

// The timer whose ticks run the search's slices: the lowest of the window's events, so input
// and painting always come first.
inline constexpr UINT_PTR kSearchTimer = 0x5345;

class FolderDrops final : private DropIntake::Window {
  public:
    explicit FolderDrops(WindowState& state);
    FolderDrops(const FolderDrops&) = delete;
    FolderDrops& operator=(const FolderDrops&) = delete;

    DropIntake& intake() { return intake_; }
    const DropIntake& intake() const { return intake_; }
    // WM_TIMER of kSearchTimer.
    void onTimer();

  private:
    void scheduleSlice() override;
    void showSearch(std::size_t entries) override;
    bool askToConvert(NativeView question) override;
    void handOver(Drop drop) override;

    WindowState& state_;
    DropIntake intake_;
};

}  // namespace pomu::ui

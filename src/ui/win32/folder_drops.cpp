// The folder question in a message box, and the search's slices on the window's timer.
#include "ui/win32/folder_drops.h"

#include "ui/win32/drop_batch.h"
#include "ui/win32/window_state.h"

namespace pomu::ui {

FolderDrops::FolderDrops(WindowState& state)
    : state_(state), intake_(*this, theOptions(), theRunState()) {}

void FolderDrops::onTimer() {
    if (state_.window != nullptr) KillTimer(state_.window, kSearchTimer);
    intake_.slice();
}

void FolderDrops::scheduleSlice() {
    if (state_.window != nullptr)
        SetTimer(state_.window, kSearchTimer, USER_TIMER_MINIMUM, nullptr);
}

void FolderDrops::showSearch(std::size_t entries) {
    state_.statusLine.writeStatus(searchText(entries));
}

bool FolderDrops::askToConvert(NativeView question) {
    if (state_.window == nullptr) return false;
    const NativeString text(question);
    return MessageBoxW(state_.window, text.c_str(), kCaption, MB_YESNO) == IDYES;
}

void FolderDrops::handOver(Drop drop) {
    runDrop(state_, std::move(drop));
}

}  // namespace pomu::ui

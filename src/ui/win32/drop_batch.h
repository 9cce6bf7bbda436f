// The drop handler: every dropped path read whole, the drop released, the batch run or queued.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/win32/window_state.h"

namespace pomu::ui {

// Every path of the drop at its full length, in the drop's order: a path too long for the
// job reaches it whole and is refused there, never cut into another name.
std::vector<NativeString> readDroppedPaths(HDROP drop);

// WM_DROPFILES. The drop is released before any conversion starts; a drop during a batch is
// queued, and one on an inert window is only released.
void handleDrop(WindowState& state, HDROP drop);

}  // namespace pomu::ui

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
// queued, and one on an inert window is only released. Dropped folders are searched first.
void handleDrop(WindowState& state, HDROP drop);

// The drop, its folders searched, to the batches: run now, or queued behind a running batch.
void runDrop(WindowState& state, Drop drop);

// Files from the command line or a later start: one drop, taken from the event loop.
inline constexpr UINT kHandedFilesMessage = WM_APP + 1;
void takeHandedFiles(WindowState& state, std::vector<NativeString> files);
// kHandedFilesMessage: every handed list goes in as a drop.
void handleHandedFiles(WindowState& state);

// WM_COPYDATA from a later start: true when it held a list of paths and the window takes
// drops; nothing of it runs until the event loop takes it.
bool handleCopyData(WindowState& state, const COPYDATASTRUCT* message);

}  // namespace pomu::ui

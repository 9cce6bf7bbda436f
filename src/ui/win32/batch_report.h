// After a batch: the tooltip naming the files not converted, the taskbar flash, opening the log.
#pragma once

#include "ui/win32/window_state.h"

namespace pomu::ui {

// The tooltip of the last batch, or none after a batch where every file was converted; the
// taskbar entry flashes until the window is activated when it is not in front.
void showBatchReport(WindowState& state);

// No tooltip while a new batch runs.
void clearBatchReport(WindowState& state);

// A double click on the window: the log opens in the program Windows uses for text files.
void openLog(const WindowState& state);

}  // namespace pomu::ui

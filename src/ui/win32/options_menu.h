// The options menu: loading, check marks, the context menu and the menu commands.
#pragma once

#include <windows.h>

#include "options/options.h"
#include "ui/win32/window_state.h"

namespace pomu::ui {

// Loads the menu resource from the window's module and takes its first popup.
bool loadOptionsMenu(WindowState& state, HINSTANCE instance);

// Sets or clears the check mark of one item, addressed by command id.
void setCheckMark(HMENU menu, UINT commandId, bool checked);

// Check marks for every option; of the split pair only one can be on.
void putCheckMarks(HMENU menu, const ConversionOptions& options);

// Where the menu opens: the request's screen position, or under the status line for a
// request from the keyboard (-1, -1).
POINT optionsMenuPosition(HWND window, LPARAM request);

// WM_CONTEXTMENU: the options menu at the request's position; nothing in an inert window.
void showOptionsMenu(WindowState& state, LPARAM request);

// WM_COMMAND: ESC closes; an option item toggles its option and its check mark.
void handleCommand(WindowState& state, UINT commandId);

}  // namespace pomu::ui

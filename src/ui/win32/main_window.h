// The main window: its dialog procedure, its set-up, and its creation from the template.
#pragma once

#include <windows.h>

#include "ui/win32/window_state.h"

namespace pomu::ui {

// The dialog procedure of IDD_MAIN. It reports every event as not handled, so the default
// dialog processing follows each one.
INT_PTR CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_INITDIALOG: settings, the 7-Zip folder, drops, the options menu and its check marks.
void setUpWindow(WindowState& state);

// Creates the window from IDD_MAIN in the module's resources; the state must outlive it.
// Shows, marks and decorates it; null when set-up closed it or it could not be created.
HWND createMainWindow(HINSTANCE instance, WindowState& state);

// The state a main window was created with, or null for any other window.
WindowState* windowStateOf(HWND window);

}  // namespace pomu::ui

// Application start: the instance rule, the ESC accelerator, the main window and the event loop.
#pragma once

#include <windows.h>

#include "ui/win32/guards.h"

namespace pomu::ui {

// The one accelerator: ESC gives command 27.
AcceleratorTable createAccelerators();

// Runs until the quit message and returns its exit code; keys go to the accelerators of the
// main window while it exists. An error of the event queue ends the loop with exit code 1.
int runEventLoop(const HWND& mainWindow, HACCEL accelerators);

// The program: takes the module instance only and returns the process exit code.
int applicationStart(HINSTANCE instance);

}  // namespace pomu::ui

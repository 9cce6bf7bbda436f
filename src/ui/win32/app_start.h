// Application start: the instance rule, the ESC accelerator, the main window and the event loop.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/text.h"
#include "ui/win32/guards.h"

namespace pomu::ui {

// The one accelerator: ESC gives command 27.
AcceleratorTable createAccelerators();

// Runs until the quit message and returns its exit code; keys go to the accelerators of the
// main window while it exists. An error of the event queue ends the loop with exit code 1.
int runEventLoop(const HWND& mainWindow, HACCEL accelerators);

// The program: takes the module instance and the files it was started with, and returns the
// process exit code. With a running instance the files are handed to it; otherwise they are
// this window's first drop.
int applicationStart(HINSTANCE instance, const std::vector<NativeString>& files = {});

}  // namespace pomu::ui

// The Windows entry point: the files on the command line; the show mode is not used.
#include <windows.h>

#include "ui/win32/app_start.h"
#include "ui/win32/command_line.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return pomu::ui::applicationStart(instance, pomu::ui::commandLineFiles());
}

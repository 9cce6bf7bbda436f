// The Windows entry point; the command line and the show mode are not used.
#include <windows.h>

#include "ui/win32/app_start.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return pomu::ui::applicationStart(instance);
}

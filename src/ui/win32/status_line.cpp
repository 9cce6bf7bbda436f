// The status control and progress bar written through the window, and the pump while a tool runs.
#include "res/resource.h"
#include "ui/win32/window_state.h"

// After windows.h, which the window state brings.
#include <commctrl.h>

#include <cmath>

namespace pomu::ui {

void StatusLine::writeStatus(NativeView text) {
    // After a forced close the batch may still report; the window must not be touched then.
    if (window_ == nullptr || !IsWindow(window_)) return;
    const NativeString terminated(text);
    SetDlgItemTextW(window_, IDC_STATUS, terminated.c_str());
}

void StatusLine::showProgress(std::optional<double> fraction) {
    taskbar_.showProgress(fraction);
    if (window_ == nullptr || !IsWindow(window_)) return;
    const HWND bar = GetDlgItem(window_, IDC_PROGRESS);
    if (bar == nullptr) return;
    if (fraction) {
        SendMessageW(bar, PBM_SETPOS, WPARAM(std::lround(*fraction * kProgressSteps)), 0);
        ShowWindow(bar, SW_SHOWNA);
    } else {
        ShowWindow(bar, SW_HIDE);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
    }
}

void StatusLine::handleEvents(platform::RunningTool& tool) {
    platform::handlePendingEvents(tool);
}

}  // namespace pomu::ui

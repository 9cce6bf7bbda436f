// The status control written through the window, and the event pump while a tool runs.
#include "res/resource.h"
#include "ui/win32/window_state.h"

namespace pomu::ui {

void StatusLine::writeStatus(NativeView text) {
    // After a forced close the batch may still report; the window must not be touched then.
    if (window_ == nullptr || !IsWindow(window_)) return;
    const NativeString terminated(text);
    SetDlgItemTextW(window_, IDC_STATUS, terminated.c_str());
}

void StatusLine::handleEvents(platform::RunningTool& tool) {
    platform::handlePendingEvents(tool);
}

}  // namespace pomu::ui

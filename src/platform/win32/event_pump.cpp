// Waiting for a window event or the tool's end, then handling every pending event.
#include <windows.h>

#include "platform/win32/running_tool.h"

namespace pomu::platform {

void handlePendingEvents(RunningTool& tool) {
    RunningTool::Impl& impl = tool.impl();
    HANDLE thread = impl.thread.get();
    // Blocks until input arrives (or is already queued) or the tool's thread ends: no spinning.
    MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            impl.quitCode = int(message.wParam);
            continue;
        }
        // No accelerators here: ESC does nothing while a tool runs.
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace pomu::platform

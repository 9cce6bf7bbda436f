// Waiting for a window event or the tool's end, then handling every pending event.
#include <windows.h>

#include "platform/win32/running_tool.h"

namespace pomu::platform {

void handlePendingEvents(RunningTool& tool) {
    RunningTool::Impl& impl = tool.impl();
    HANDLE waited[2] = {impl.process.get(), impl.output.readEvent()};
    // A listing blocks once its pipe is full, so a completed read wakes the wait too.
    const DWORD count = impl.output.watched() ? 2 : 1;
    // Blocks until input arrives (or is already queued) or the tool's process ends: no spinning.
    MsgWaitForMultipleObjectsEx(count, waited, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    impl.output.readAvailable();
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

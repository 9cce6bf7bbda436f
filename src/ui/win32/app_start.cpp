// The program's start: one instance, the accelerator, the window, and the event loop.
#include "ui/win32/app_start.h"

#include "convert/interrupted_run.h"
#include "res/resource.h"
#include "ui/win32/drop_batch.h"
#include "ui/win32/main_window.h"
#include "ui/win32/single_instance.h"

namespace pomu::ui {
namespace {

// How long a later start with files waits for a first one still setting up its window.
constexpr DWORD kSetUpWaitMs = 5000;

// Files that no window took end the later start with 1, so that a script or shell sees it.
int exitCodeOf(LaterStart start, bool withFiles) {
    if (start == LaterStart::handedOver) return 0;
    return start == LaterStart::noWindow && !withFiles ? 0 : 1;
}

}  // namespace

AcceleratorTable createAccelerators() {
    ACCEL escape{};
    escape.fVirt = FVIRTKEY;
    escape.key = VK_ESCAPE;
    escape.cmd = ID_ESCAPE;
    return AcceleratorTable(CreateAcceleratorTableW(&escape, 1));
}

int runEventLoop(const HWND& mainWindow, HACCEL accelerators) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) return 1;
        if (mainWindow != nullptr && accelerators != nullptr &&
            TranslateAcceleratorW(mainWindow, accelerators, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int applicationStart(HINSTANCE instance, const std::vector<NativeString>& files) {
    if (const LaterStart start = bringRunningInstanceToFront(files);
        start != LaterStart::noWindow) {
        return exitCodeOf(start, !files.empty());
    }
    const InstanceClaim claim = claimInstance(kInstanceClaimName);
    if (claim.heldElsewhere) {
        // The other one may have its window by now, or soon when it is still setting up.
        return exitCodeOf(bringRunningInstanceToFront(files, kSetUpWaitMs), !files.empty());
    }
    // The one instance now: what a run cut short left behind is undone before any drop.
    cleanUpInterruptedRuns();
    const AcceleratorTable accelerators = createAccelerators();
    WindowState state;
    createMainWindow(instance, state);
    // No window and no set-up: the template could not be used, and no quit message will come.
    if (!state.setUpRan) return 1;
    // Converted from the event loop, as a drop is.
    if (state.ready() && !files.empty()) takeHandedFiles(state, files);
    return runEventLoop(state.window, accelerators.get());
}

}  // namespace pomu::ui

// Finding the running instance by its window marker, and the start-up claim.
#include "ui/win32/single_instance.h"

#include "ui/win32/handed_files.h"
#include "ui/win32/window_state.h"

namespace pomu::ui {
namespace {

BOOL CALLBACK findMarkedWindow(HWND window, LPARAM found) {
    if (reinterpret_cast<ULONG_PTR>(GetPropW(window, kInstanceMarker)) != kInstanceMarkerValue) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

HWND findRunningInstance() {
    HWND found = nullptr;
    EnumWindows(findMarkedWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

LaterStart bringRunningInstanceToFront(const std::vector<NativeString>& files, DWORD waitMs) {
    HWND window = findRunningInstance();
    const ULONGLONG until = GetTickCount64() + (files.empty() ? 0 : waitMs);
    while (window == nullptr && GetTickCount64() < until) {
        Sleep(50);
        window = findRunningInstance();
    }
    if (window == nullptr) return LaterStart::noWindow;
    const bool taken = files.empty() || handFilesTo(window, files);
    SetForegroundWindow(window);
    return taken ? LaterStart::handedOver : LaterStart::notTaken;
}

InstanceClaim claimInstance(const wchar_t* name) {
    InstanceClaim claim;
    claim.mutex = platform::win32::KernelHandle(CreateMutexW(nullptr, FALSE, name));
    const DWORD error = GetLastError();
    if (claim.mutex.valid()) {
        claim.heldElsewhere = error == ERROR_ALREADY_EXISTS;
    } else {
        // Another program's object of that name; any other failure must not stop pomu.
        claim.heldElsewhere = error == ERROR_ACCESS_DENIED;
    }
    if (claim.heldElsewhere) claim.mutex.reset();
    return claim;
}

}  // namespace pomu::ui

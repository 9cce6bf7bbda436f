// Keeping pomu to one instance: the marked main window, and a claim held from the very start.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/text.h"
#include "platform/win32/unique_handle.h"

namespace pomu::ui {

// Per session: another user's pomu is no reason to end.
inline constexpr const wchar_t* kInstanceClaimName = L"Local\\pomu.instance";

// The first top-level window that carries the marker property with the value 1.
HWND findRunningInstance();

// What a later start found: no running instance's window, or one that took its files (or was
// given none) or did not take them.
enum class LaterStart { noWindow, handedOver, notTaken };

// Hands the files (when there are any) to the running instance's window and brings it to the
// front. With files, waits up to waitMs for a window that is still being set up to be marked.
LaterStart bringRunningInstanceToFront(const std::vector<NativeString>& files = {},
                                       DWORD waitMs = 0);

// Taken before the window's set-up, so that a second start during the first one's folder
// choice (its window not marked yet) ends as well.
struct InstanceClaim {
    platform::win32::KernelHandle mutex;
    bool heldElsewhere = false;
};
InstanceClaim claimInstance(const wchar_t* name);

}  // namespace pomu::ui

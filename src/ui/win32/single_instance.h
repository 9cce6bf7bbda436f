// Keeping pomu to one instance: the marked main window, and a claim held from the very start.
#pragma once

#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace pomu::ui {

// Per session: another user's pomu is no reason to end.
inline constexpr const wchar_t* kInstanceClaimName = L"Local\\pomu.instance";

// The first top-level window that carries the marker property with the value 1.
HWND findRunningInstance();

// Brings the running instance's window to the front; false when there is none.
bool bringRunningInstanceToFront();

// Taken before the window's set-up, so that a second start during the first one's folder
// choice (its window not marked yet) ends as well.
struct InstanceClaim {
    platform::win32::KernelHandle mutex;
    bool heldElsewhere = false;
};
InstanceClaim claimInstance(const wchar_t* name);

}  // namespace pomu::ui

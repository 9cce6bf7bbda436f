// The close handler: the force-exit question during a batch, else save, destroy and free the menu.
#pragma once

#include "ui/win32/window_state.h"

namespace pomu::ui {

inline constexpr const wchar_t* kForceExitQuestion = L"Now processing...\nForce exit?";

// The options as they go to the settings file: an empty folder stays empty.
ConversionOptions settingsToSave(const WindowState& state, const ConversionOptions& options);

// WM_CLOSE.
void handleClose(WindowState& state);

}  // namespace pomu::ui

// Closing the main window, or asking whether to force the exit while a batch runs.
#include "ui/win32/closing.h"

#include "options/settings.h"

namespace pomu::ui {

ConversionOptions settingsToSave(const WindowState& state, const ConversionOptions& options) {
    ConversionOptions saved = options;
    if (state.folderFromWorkingFolder) saved.sevenZipFolder.clear();
    return saved;
}

void handleClose(WindowState& state) {
    if (state.window == nullptr) return;
    RunState& run = theRunState();
    if (run.busy && !run.forceExit) {
        if (MessageBoxW(state.window, kForceExitQuestion, kCaption, MB_YESNO) == IDYES) {
            run.forceExit = true;
        }
        return;
    }
    saveSettings(settingsToSave(state, theOptions()));
    DestroyWindow(state.window);
    // The popup goes with the menu resource it belongs to.
    state.optionsMenu = nullptr;
    state.menu.reset();
}

}  // namespace pomu::ui

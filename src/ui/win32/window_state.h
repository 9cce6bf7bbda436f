// The main window's state: owned by whoever creates the window, reachable from it, alive after it.
#pragma once

#include <windows.h>

#include "convert/batch.h"
#include "options/options.h"
#include "ui/win32/folder_drops.h"
#include "ui/win32/guards.h"
#include "ui/win32/password_dialog.h"
#include "ui/win32/taskbar.h"

namespace pomu::ui {

// The caption of the window and of its message boxes.
inline constexpr const wchar_t* kCaption = L"pomu";
// The property that marks the main window of a running instance, and its value.
inline constexpr const wchar_t* kInstanceMarker = L"pomu";
inline constexpr ULONG_PTR kInstanceMarkerValue = 1;
// The progress bar's range: 0 to this.
inline constexpr int kProgressSteps = 1000;

// The status line and progress bars as the job sees them. Once the window is gone, writes
// do nothing.
class StatusLine final : public StatusWindow {
  public:
    StatusLine(const HWND& window, TaskbarButton& taskbar) : window_(window), taskbar_(taskbar) {}
    void writeStatus(NativeView text) override;
    // The bar along the window's bottom edge and the taskbar button's fill.
    void showProgress(std::optional<double> fraction) override;
    void handleEvents(platform::RunningTool& tool) override;

  private:
    const HWND& window_;
    TaskbarButton& taskbar_;
};

struct WindowState {
    WindowState() = default;
    WindowState(const WindowState&) = delete;
    WindowState& operator=(const WindowState&) = delete;

    // Null before set-up and again from the moment the window is destroyed.
    HWND window = nullptr;
    bool setUpRan = false;
    // The loaded menu resource and its first popup; both null in an inert window.
    MenuHandle menu;
    HMENU optionsMenu = nullptr;
    // The 7-Zip folder was found in the working folder from an empty setting: the process
    // starts the tested program by its full path, and the setting is saved empty as loaded.
    bool folderFromWorkingFolder = false;
    // The tooltip of the last batch's report, made on first use; the window owns it.
    HWND reportTip = nullptr;
    IconHandle bigIcon;
    IconHandle smallIcon;
    TaskbarButton taskbar;
    const UINT taskbarButtonCreated = taskbarButtonCreatedMessage();
    StatusLine statusLine{window, taskbar};
    DropBatches batches{statusLine, theOptions(), theRunState()};
    FolderDrops folderDrops{*this};
    // Files from the command line or a later start, waiting for the event loop to take them.
    std::vector<std::vector<NativeString>> handedFiles;
    PasswordDialog passwordDialog{window};

    // Set-up finished: drops are accepted and the options menu is loaded.
    bool ready() const { return window != nullptr && optionsMenu != nullptr; }
};

}  // namespace pomu::ui

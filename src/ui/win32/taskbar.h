// The window's taskbar button: its progress fill and the red of a batch that ended with failures.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <optional>

#include "ui/win32/guards.h"

namespace pomu::ui {

// The message Explorer sends once the window's button exists; only then can it be filled.
UINT taskbarButtonCreatedMessage();

class TaskbarButton {
  public:
    TaskbarButton() = default;
    TaskbarButton(const TaskbarButton&) = delete;
    TaskbarButton& operator=(const TaskbarButton&) = delete;
    ~TaskbarButton();

    // The button exists (again, after Explorer restarted): the taskbar object is made anew and
    // shows what was last asked of it. Without one (no shell taskbar) nothing is shown.
    void created(HWND window);
    // The batch's fraction, or none: the fill goes.
    void showProgress(std::optional<double> fraction);
    // A batch ended with failures: red until the window is activated.
    void showFailure();
    void windowActivated();

  private:
    void apply();

    ComApartment com_;
    HWND window_ = nullptr;
    ITaskbarList3* taskbar_ = nullptr;
    std::optional<double> fraction_;
    bool failed_ = false;
};

}  // namespace pomu::ui

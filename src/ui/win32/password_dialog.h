// The batch's password question as a modal dialog over the main window (IDD_PASSWORD).
#pragma once

#include <windows.h>

#include "convert/batch_password.h"

namespace pomu::ui {

class PasswordDialog final : public PasswordQuestion {
  public:
    // The window it is shown over; null once the window is gone, when nothing is asked.
    explicit PasswordDialog(const HWND& owner) : owner_(owner) {}
    // The password typed, as UTF-8; none for "Skip encrypted archives", ESC or the close box.
    std::optional<Secret> askPassword(NativeView text) override;

  private:
    const HWND& owner_;
};

}  // namespace pomu::ui

// The batch's password question: the dialog, and the window's answer to the conversion's ask.
#pragma once

#include <QString>
#include <optional>

#include "convert/batch_password.h"
#include "ui/qt/prompts.h"

class QWidget;

namespace pomu::ui {

// A masked password field, "Skip encrypted archives" and OK: the password typed, as UTF-8, or
// none when skipped or closed.
std::optional<Secret> askPasswordInDialog(QWidget* owner, const QString& caption,
                                          const QString& text);

// Puts the batch's question through the window's prompts, over the window.
class WindowPasswordQuestion final : public PasswordQuestion {
  public:
    WindowPasswordQuestion(Prompts& prompts, QWidget& owner) : prompts_(prompts), owner_(owner) {}
    std::optional<Secret> askPassword(NativeView text) override;

  private:
    Prompts& prompts_;
    QWidget& owner_;
};

}  // namespace pomu::ui

// The questions and messages the window puts to the user, behind one seam tests can answer.
#pragma once

#include <QString>
#include <optional>

#include "convert/secret.h"

class QWidget;

namespace pomu::ui {

class Prompts {
  public:
    virtual ~Prompts() = default;
    // A folder picked by the user; empty when the choice was cancelled.
    virtual std::optional<QString> chooseFolder(QWidget* owner, const QString& title) = 0;
    // An error message with one OK button and the error icon.
    virtual void showError(QWidget* owner, const QString& caption, const QString& text) = 0;
    // A Yes/No question without an icon; true for Yes.
    virtual bool askYesNo(QWidget* owner, const QString& caption, const QString& text) = 0;
    // A masked password field with "Skip encrypted archives" and OK; none when skipped.
    virtual std::optional<Secret> askPassword(QWidget* owner, const QString& caption,
                                              const QString& text) = 0;
};

}  // namespace pomu::ui

// The real prompts: Qt's folder chooser and message boxes.
#pragma once

#include "ui/qt/prompts.h"

namespace pomu::ui {

class DialogPrompts : public Prompts {
  public:
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title) override;
    void showError(QWidget* owner, const QString& caption, const QString& text) override;
    bool askYesNo(QWidget* owner, const QString& caption, const QString& text) override;
    std::optional<Secret> askPassword(QWidget* owner, const QString& caption,
                                      const QString& text) override;
};

}  // namespace pomu::ui

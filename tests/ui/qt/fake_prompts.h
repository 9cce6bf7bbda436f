// Prompts answered by the test: the chosen folder and the Yes/No answer are set beforehand.
#pragma once

#include <QString>
#include <vector>

#include "ui/qt/prompts.h"

namespace pomu::test {

class FakePrompts : public ui::Prompts {
  public:
    struct Shown {
        QString caption;
        QString text;
        bool operator==(const Shown&) const = default;
    };

    std::optional<QString> chooseFolder(QWidget*, const QString& title) override {
        chooserTitles.push_back(title);
        return folderAnswer;
    }
    void showError(QWidget*, const QString& caption, const QString& text) override {
        errors.push_back({caption, text});
    }
    bool askYesNo(QWidget*, const QString& caption, const QString& text) override {
        questions.push_back({caption, text});
        return yesAnswer;
    }

    std::optional<QString> folderAnswer;  // empty: the chooser is cancelled
    bool yesAnswer = false;
    std::vector<QString> chooserTitles;
    std::vector<Shown> errors;
    std::vector<Shown> questions;
};

}  // namespace pomu::test

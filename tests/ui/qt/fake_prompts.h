// Prompts answered by the test: the chosen folder, the Yes/No answer and the passwords are set
// beforehand.
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

    std::optional<Secret> askPassword(QWidget*, const QString& caption,
                                      const QString& text) override {
        passwordQuestions.push_back({caption, text});
        if (passwordAnswers.empty() || !passwordAnswers.front()) return std::nullopt;
        const std::string answer = *passwordAnswers.front();
        passwordAnswers.erase(passwordAnswers.begin());
        return Secret(answer);
    }

    std::optional<QString> folderAnswer;                      // empty: the chooser is cancelled
    std::vector<std::optional<std::string>> passwordAnswers;  // in turn; none: skipped
    bool yesAnswer = false;
    std::vector<QString> chooserTitles;
    std::vector<Shown> errors;
    std::vector<Shown> questions;
    std::vector<Shown> passwordQuestions;
};

}  // namespace pomu::test

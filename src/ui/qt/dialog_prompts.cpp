// Folder chooser and message boxes shown with Qt's standard dialogs.
#include "ui/qt/dialog_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/qt/password_dialog.h"

namespace pomu::ui {

std::optional<QString> DialogPrompts::chooseFolder(QWidget* owner, const QString& title) {
    const QString folder =
        QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

void DialogPrompts::showError(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool DialogPrompts::askYesNo(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<Secret> DialogPrompts::askPassword(QWidget* owner, const QString& caption,
                                                 const QString& text) {
    return askPasswordInDialog(owner, caption, text);
}

}  // namespace pomu::ui

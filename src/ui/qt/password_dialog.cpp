// The password dialog; the password leaves it as UTF-8 in a Secret, its other copies wiped.
#include "ui/qt/password_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pomu::ui {
namespace {

// RAR's own limit is 127 characters; 7-Zip takes longer ones.
constexpr int kMaxPasswordChars = 256;

}  // namespace

std::optional<Secret> askPasswordInDialog(QWidget* owner, const QString& caption,
                                          const QString& text) {
    QDialog dialog(owner);
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("password"));
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(kMaxPasswordChars);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(
        QString::fromUtf8(kSkipEncryptedText.data(), qsizetype(kSkipEncryptedText.size())),
        QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    QByteArray bytes = field->text().toUtf8();
    Secret password(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    wipe(bytes.data(), std::size_t(bytes.size()));
    field->clear();
    return password;
}

std::optional<Secret> WindowPasswordQuestion::askPassword(NativeView text) {
    const QString question = QFile::decodeName(QByteArray(text.data(), qsizetype(text.size())));
    return prompts_.askPassword(&owner_, QStringLiteral("pomu"), question);
}

}  // namespace pomu::ui

// The options popup's items in their fixed order, and what choosing each one does.
#include "ui/qt/options_menu.h"

namespace pomu::ui {

OptionsMenu::OptionsMenu(ConversionOptions& options, QWidget* parent)
    : QMenu(parent), options_(options) {
    addCommand(QStringLiteral("あったら消す"), kDeleteAlready);
    addCommand(QStringLiteral("やったら消す"), kDeleteProcessed);
    addSeparator();
    addCommand(QStringLiteral("100MBで分割"), kDiv100MB);
    addCommand(QStringLiteral("1GBで分割"), kDiv1GB);
    addSeparator();
    addCommand(QStringLiteral("ZIPで保存"), kZip);
    showChecks();
}

void OptionsMenu::addCommand(const QString& caption, int command) {
    QAction* item = addAction(caption);
    item->setData(command);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, command] { runCommand(command); });
}

QAction* OptionsMenu::action(int command) const {
    for (QAction* item : actions()) {
        if (!item->isSeparator() && item->data().toInt() == command) return item;
    }
    return nullptr;
}

void OptionsMenu::runCommand(int command) {
    switch (command) {
        case kDeleteAlready:
            options_.deleteAlready = !options_.deleteAlready;
            break;
        case kDeleteProcessed:
            options_.deleteProcessed = !options_.deleteProcessed;
            break;
        case kZip:
            options_.zip = !options_.zip;
            break;
        case kDiv1GB:
            toggleDiv1GB(options_);
            break;
        case kDiv100MB:
            toggleDiv100MB(options_);
            break;
        default:
            return;
    }
    showChecks();
}

void OptionsMenu::showChecks() {
    const std::pair<int, bool> checks[] = {
        {kDeleteAlready, options_.deleteAlready},
        {kDeleteProcessed, options_.deleteProcessed},
        {kDiv100MB, options_.div100MB},
        {kDiv1GB, options_.div1GB},
        {kZip, options_.zip},
    };
    for (const auto& [command, on] : checks) action(command)->setChecked(on);
}

}  // namespace pomu::ui

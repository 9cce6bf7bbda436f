// The options popup: five checkable commands over the conversion options.
#pragma once

#include <QMenu>

#include "options/options.h"

namespace pomu::ui {

// Command ids of the menu items, kept as each action's data.
enum MenuCommand : int {
    kDeleteAlready = 40003,
    kDeleteProcessed = 40004,
    kZip = 40006,
    kDiv1GB = 40008,
    kDiv100MB = 40010,
};

class OptionsMenu : public QMenu {
    Q_OBJECT

  public:
    OptionsMenu(ConversionOptions& options, QWidget* parent);

    // The action carrying the command id, or null.
    QAction* action(int command) const;
    // Toggles the option behind the command and sets the check marks from the options.
    void runCommand(int command);
    // Every check mark from the options as they are now.
    void showChecks();

  private:
    void addCommand(const QString& caption, int command);

    ConversionOptions& options_;
};

}  // namespace pomu::ui

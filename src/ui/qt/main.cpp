// Program entry: the Qt application object and the real dialogs around the run.
#include <QApplication>

#include "options/options.h"
#include "pomu_version.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/application.h"
#include "ui/qt/command_line.h"
#include "ui/qt/dialog_prompts.h"
#include "ui/qt/single_instance.h"

int main(int argc, char** argv) {
    pomu::ui::Activation thisStart = pomu::ui::Activation::fromEnvironment();
    // Qt takes its own options (-platform, -style, ...) out of the arguments; the rest are files.
    QApplication app(argc, argv);
    thisStart.files = pomu::ui::commandLineFiles(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pomu"));
    QApplication::setDesktopFileName(QStringLiteral(POMU_APP_ID));
    QApplication::setWindowIcon(pomu::ui::appIcon());

    pomu::ui::DialogPrompts prompts;
    return pomu::ui::runApplication(prompts, pomu::theOptions(), pomu::theRunState(),
                                    pomu::ui::SingleInstance::defaultName(), thisStart);
}

// Start-up order: claim the instance, set the window up, show it, loop until it closes.
#include "ui/qt/application.h"

#include <QApplication>

#include "convert/interrupted_run.h"
#include "ui/qt/main_window.h"

namespace pomu::ui {

int runApplication(Prompts& prompts, ConversionOptions& options, RunState& runState,
                   const QString& instanceName, const Activation& thisStart,
                   std::span<const NativeView> systemArchiverFolders) {
    // Listening starts before set-up, so a second start during the folder choice ends too.
    SingleInstance instance(instanceName);
    // Only the window's own close ends the run, never a message box closing.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!instance.claim(thisStart)) return 0;
    // The one instance now: what a run cut short left behind is undone before any drop.
    cleanUpInterruptedRuns();

    MainWindow window(options, runState, prompts);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window,
                     [&window](const Activation& activation) {
                         window.bringToFront(activation);
                         window.takeFiles(activation.files);
                     });
    // A close during a batch comes from inside the running loop, which ends as soon as the
    // batch has returned.
    QObject::connect(&window, &MainWindow::closed, &window, [] { QApplication::exit(0); });

    window.setUp(systemArchiverFolders);
    // Closed during set-up: the loop has not started, and an exit request would be lost.
    if (window.isClosed()) return 0;
    window.show();
    window.takeFiles(thisStart.files);
    return QApplication::exec();
}

}  // namespace pomu::ui

// The whole run in process: one instance, set-up failures, and the loop ending with 0 on close.
#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTimer>

#include "options/settings.h"
#include "ui/qt/application.h"
#include "ui/qt/single_instance.h"
#include "window_fixture.h"

namespace pomu::test {
namespace {

using ui::MainWindow;

constexpr int kWatchdogExit = 99;

MainWindow* runningWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<MainWindow*>(widget)) return found;
    }
    return nullptr;
}

class ApplicationTest : public WindowTest {
  protected:
    // Runs the program with the action started from its event loop; a loop that does not end
    // is stopped by a watchdog with kWatchdogExit.
    int run(std::function<void(MainWindow&)> action = {}) {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(kWatchdogExit); });
        watchdog.start(30000);
        if (action) {
            QTimer::singleShot(0, [this, action] {
                MainWindow* found = runningWindow();
                ASSERT_NE(found, nullptr);
                QObject::connect(&found->statusLine(), &ui::StatusLine::written,
                                 [this](const QString& text) { statuses << text; });
                action(*found);
            });
        }
        constexpr NativeView kNoSystemArchiver = "/nonexistent/pomu/";
        return ui::runApplication(prompts, options, runState, instanceName, {},
                                  {&kNoSystemArchiver, 1});
    }

    ScratchFolder runtime;
    QString instanceName = QString::fromStdString((runtime.path() / "pomu.socket").string());
};

TEST_F(ApplicationTest, EndsAtOnceWhenAnotherInstanceRuns) {
    writeUsualSettings();
    ui::SingleInstance first(instanceName);
    ASSERT_TRUE(first.claim());
    QSignalSpy activations(&first, &ui::SingleInstance::activationRequested);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(runningWindow(), nullptr);
    EXPECT_TRUE(activations.wait(10000) || activations.count() == 1);
    // Nothing was set up: no settings read or written, no questions asked.
    EXPECT_EQ(options.sevenZipFolder, "");
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(ApplicationTest, EndsWithZeroWhenTheArchiverIsMissing) {
    ScratchFolder lacking;
    writeFile(lacking.path() / "7z", "");
    writeSettings({"[SystemSetting]", "dir=" + lacking.folder()});
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(prompts.errors, (std::vector<FakePrompts::Shown>{{"pomu", "7z.so not found"}}));
    EXPECT_EQ(runningWindow(), nullptr);
    EXPECT_NE(settingsText()->find("zip=OFF"), std::string::npos);
}

TEST_F(ApplicationTest, EscapeEndsTheRunWithZero) {
    writeUsualSettings();
    bool shown = false;
    EXPECT_EQ(run([&](MainWindow& w) {
                  shown = w.isVisible() && w.isReady();
                  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                  QApplication::sendEvent(&w, &escape);
              }),
              0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(runningWindow(), nullptr);
    EXPECT_NE(settingsText()->find("deleteAlready=OFF"), std::string::npos);
}

TEST_F(ApplicationTest, AnInertWindowStillClosesAndEndsTheRun) {
    ScratchFolder empty;
    writeSettings({"[SystemSetting]", "dir=" + empty.folder()});
    bool inert = false;
    EXPECT_EQ(run([&](MainWindow& w) {
                  inert = w.isVisible() && !w.isReady();
                  w.close();
              }),
              0);
    EXPECT_TRUE(inert);
    EXPECT_EQ(prompts.chooserTitles.size(), 1u);
    ConversionOptions saved;
    loadSettingsFrom(settingsFile, saved);
    EXPECT_EQ(saved.sevenZipFolder, empty.folder());
}

TEST_F(ApplicationTest, ForceExitDuringABatchEndsTheRunWithZero) {
    writeUsualSettings({"deleteProcessed=ON"});
    const NativeString big = makeArchive("big.zip", {{"big.bin", noise(6 << 20)}});
    const NativeString next = makeArchive("next.zip", sample);
    prompts.yesAnswer = true;
    EXPECT_EQ(run([&](MainWindow& w) {
                  QObject::connect(&w.statusLine(), &ui::StatusLine::written, &w,
                                   [&w](const QString& text) {
                                       if (text.endsWith("(1/2)")) {
                                           QTimer::singleShot(0, &w, [&w] { w.close(); });
                                       }
                                   });
                  EXPECT_TRUE(sendDropTo(w, {big, next}));
              }),
              0);
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(statuses, QStringList{"Processing file...\n(1/2)"});
    EXPECT_TRUE(fs::exists(big));
    EXPECT_TRUE(fs::exists(next));
    EXPECT_FALSE(fs::exists(folder.file("next.7z")));
    ConversionOptions saved;
    loadSettingsFrom(settingsFile, saved);
    EXPECT_TRUE(saved.deleteProcessed);
}

TEST_F(ApplicationTest, ABatchThatFinishesKeepsTheRunGoingUntilClosed) {
    writeUsualSettings();
    const NativeString source = makeArchive("one.zip", sample);
    EXPECT_EQ(run([&](MainWindow& w) {
                  QObject::connect(&w.statusLine(), &ui::StatusLine::written, &w,
                                   [&w](const QString& text) {
                                       if (text.endsWith("complete!")) {
                                           QTimer::singleShot(0, &w, [&w] { w.close(); });
                                       }
                                   });
                  EXPECT_TRUE(sendDropTo(w, {source}));
              }),
              0);
    EXPECT_EQ(statuses, (QStringList{"Processing file...", "1 7z complete!"}));
    EXPECT_TRUE(unpacksTo(folder.file("one.7z"), sample));
}

}  // namespace
}  // namespace pomu::test

// Closing the window: ESC, the close box, force exit during a run, and the saved settings.
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include "options/settings.h"
#include "session_bus.h"
#include "window_fixture.h"

namespace pomu::test {
namespace {

const FakePrompts::Shown kForceExitQuestion{"pomu", "Now processing...\nForce exit?"};

void pressEscape(QWidget& target, bool posted) {
    if (posted) {
        QCoreApplication::postEvent(
            &target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    } else {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&target, &key);
    }
}

TEST_F(WindowTest, EscapeClosesTheIdleWindowAndSavesTheSettings) {
    writeUsualSettings({"deleteAlready=ON"});
    ui::MainWindow& w = openWindow();
    pressEscape(w, false);
    EXPECT_TRUE(w.isClosed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(prompts.questions.empty());
    ConversionOptions saved;
    loadSettingsFrom(settingsFile, saved);
    EXPECT_EQ(saved.sevenZipFolder, archiverFolder());
    EXPECT_TRUE(saved.deleteAlready);
    EXPECT_NE(settingsText()->find("zip=OFF"), std::string::npos);
    // A later close request changes nothing more.
    EXPECT_TRUE(w.close());
    EXPECT_EQ(closes, 1);
}

TEST_F(WindowTest, EscapeDuringARunDoesNothing) {
    writeUsualSettings();
    ui::MainWindow& w = openWindow();
    const NativeString source = makeArchive("slow.zip", {{"big.bin", noise(4 << 20)}});
    bool pressedWhileBusy = false;
    whenStatusShows("Processing file...", [&] {
        pressedWhileBusy = runState.busy;
        pressEscape(w, true);
    });
    dropAndWait({source});
    EXPECT_TRUE(pressedWhileBusy);
    EXPECT_FALSE(w.isClosed());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_EQ(statuses, (QStringList{"Processing file...", "1 7z complete!"}));
    EXPECT_TRUE(archiveTests(folder.file("slow.7z")));
    // Idle again: ESC closes.
    pressEscape(w, false);
    EXPECT_TRUE(w.isClosed());
}

TEST_F(WindowTest, NoToTheForceExitQuestionLeavesTheBatchRunning) {
    writeUsualSettings();
    ui::MainWindow& w = openWindow();
    const NativeString source = makeArchive("keep.zip", {{"big.bin", noise(4 << 20)}});
    prompts.yesAnswer = false;
    bool closeAccepted = true;
    whenStatusShows("Processing file...", [&] { closeAccepted = w.close(); });
    dropAndWait({source});
    EXPECT_FALSE(closeAccepted);
    EXPECT_EQ(prompts.questions, std::vector<FakePrompts::Shown>{kForceExitQuestion});
    EXPECT_FALSE(runState.forceExit);
    EXPECT_FALSE(w.isClosed());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(statuses, (QStringList{"Processing file...", "1 7z complete!"}));
    EXPECT_TRUE(archiveTests(folder.file("keep.7z")));
    // The settings are written only by the close.
    EXPECT_EQ(settingsText()->find("zip="), std::string::npos);
}

TEST_F(WindowTest, YesStopsTheBatchKeepsTheSourcesAndClosesSaved) {
    writeUsualSettings({"deleteProcessed=ON"});
    ui::MainWindow& w = openWindow();
    const NativeString first = makeArchive("first.zip", {{"big.bin", noise(6 << 20)}});
    const NativeString second = makeArchive("second.zip", sample);
    prompts.yesAnswer = true;
    BusMonitor monitor(
        QStringLiteral("type='signal',interface='com.canonical.Unity.LauncherEntry'"));
    ASSERT_TRUE(monitor.started()) << "no dbus-daemon or dbus-monitor";
    whenStatusShows("Processing file...\n(1/2)", [&] {
        EXPECT_FALSE(w.close());
        EXPECT_TRUE(runState.forceExit);
        EXPECT_FALSE(w.isClosed());
    });
    dropAndWait({first, second});
    EXPECT_EQ(prompts.questions, std::vector<FakePrompts::Shown>{kForceExitQuestion});
    EXPECT_TRUE(w.isClosed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(closes, 1);
    // The taskbar entry does not stay filled after the window has gone.
    const LauncherUpdates updates = readUpdates(monitor.stop());
    ASSERT_FALSE(updates.progressVisible.empty());
    EXPECT_FALSE(updates.progressVisible.back());
    // No summary, no second file, no half-made archive; both sources stay.
    EXPECT_EQ(statuses, QStringList{"Processing file...\n(1/2)"});
    EXPECT_FALSE(fs::exists(folder.file("first.7z")));
    EXPECT_FALSE(fs::exists(folder.file("second.7z")));
    EXPECT_TRUE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    ConversionOptions saved;
    loadSettingsFrom(settingsFile, saved);
    EXPECT_TRUE(saved.deleteProcessed);
    EXPECT_EQ(saved.sevenZipFolder, archiverFolder());
}

TEST_F(WindowTest, ASecondCloseAfterYesClosesAtOnceAndTheBatchNoLongerWrites) {
    writeUsualSettings();
    ui::MainWindow& w = openWindow();
    const NativeString first = makeArchive("first.zip", {{"big.bin", noise(6 << 20)}});
    prompts.yesAnswer = true;
    bool secondCloseAccepted = false;
    whenStatusShows("Processing file...", [&] {
        w.close();  // Yes
        QTimer::singleShot(0, [&] {
            secondCloseAccepted = w.close();
            w.statusLabel()->setText(QStringLiteral("after close"));
        });
    });
    dropAndWait({first});
    ASSERT_TRUE(waitUntil([&] { return w.isClosed() && secondCloseAccepted; }));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(closes, 1);
    // The window closed once, and the batch wrote nothing after that.
    EXPECT_EQ(w.statusLabel()->text(), QStringLiteral("after close"));
    EXPECT_EQ(statuses, QStringList{"Processing file..."});
    EXPECT_TRUE(fs::exists(first));
}

// A stand-in archiver that only records its process id and sleeps, so only force exit can
// end its run in time.
NativeString sleepingArchiver(const ScratchFolder& scratch) {
    const fs::path program = scratch.path() / "7z";
    writeFile(program, "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/pids\"\nexec sleep 120\n");
    ::chmod(program.c_str(), 0755);
    writeFile(scratch.path() / "7z.so", "");
    return scratch.folder();
}

TEST_F(WindowTest, YesEndsTheRunningTool) {
    ScratchFolder archiver;
    writeSettings({"[SystemSetting]", "dir=" + sleepingArchiver(archiver)});
    ui::MainWindow& w = openWindow();
    ASSERT_TRUE(w.isReady());
    const NativeString source = makeArchive("any.zip", sample);
    prompts.yesAnswer = true;
    const fs::path pidFile = archiver.path() / "pids";
    whenStatusShows("Processing file...", [&] {
        // Asked only once the stand-in has really started.
        for (int i = 0; i < 1000 && !fs::exists(pidFile); ++i) QThread::msleep(10);
        w.close();
    });
    QElapsedTimer clock;
    clock.start();
    dropAndWait({source});
    EXPECT_LT(clock.elapsed(), 60000);
    EXPECT_TRUE(w.isClosed());
    const std::optional<std::string> pids = readFile(pidFile);
    ASSERT_TRUE(pids.has_value());
    const pid_t pid = std::stoi(*pids);
    // Ended and reaped: the process id no longer names a process of ours.
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(fs::exists(source));
}

}  // namespace
}  // namespace pomu::test

// The real pomu as a separate process: one instance, window and menu, ESC, saved settings, a
// drop, the close question; on an X display (Xvfb) and natively on Wayland (a headless sway).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "desktop.h"
#include "pomu_version.h"
#include "session_bus.h"
#include "support/test_files.h"
#include "ui/qt/archiver_folder.h"
#include "x_drop.h"

namespace pomu::test {
namespace {

// The build's program, or the one POMU_PROGRAM_UNDER_TEST names (an installed /usr/bin/pomu).
QString programUnderTest() {
    const char* installed = std::getenv("POMU_PROGRAM_UNDER_TEST");
    return QString::fromLocal8Bit(installed && *installed ? installed : POMU_PROGRAM);
}

// Each start gets a home of its own: settings, data, state, temp and runtime folders.
class ProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"config", "data", "state", "tmp", "run"}) {
            fs::create_directories(home.path() / name);
        }
        ::chmod((home.path() / "run").c_str(), 0700);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_STATE_HOME", path("state"));
        environment.insert("TMPDIR", path("tmp"));
        environment.insert("XDG_RUNTIME_DIR", path("run"));
        // A sanitized build reports what system libraries keep until exit; the full stack names
        // the callers of a library already unloaded then (Mesa's driver under Wayland).
        QString leaks = environment.value("LSAN_OPTIONS");
        if (!leaks.isEmpty()) leaks += ':';
        environment.insert("LSAN_OPTIONS", leaks + "fast_unwind_on_malloc=0:suppressions=" +
                                               POMU_LSAN_SUPPRESSIONS);
        settingsFile = home.path() / "config" / "pomu" / "pomu.ini";
    }

    QString path(const char* name) const {
        return QString::fromStdString((home.path() / name).string());
    }

    // The system's archiver, or the test's, in the settings; its folder.
    std::string writeArchiverSetting() {
        std::string folder = "/usr/lib/p7zip/";
        if (!ui::holdsArchiver(folder)) folder = utf8(archiverFolder());
        fs::create_directories(settingsFile.parent_path());
        writeFile(settingsFile, "[SystemSetting]\ndir=" + folder + "\n");
        return folder;
    }

    // Starts the program; its main window once it shows on the desktop, empty when none did.
    QString start(QProcess& process, const Desktop& desktop, const QStringList& files = {}) {
        process.setProcessEnvironment(environment);
        process.start(program, files);
        if (!process.waitForStarted(10000)) return {};
        return windowOf(desktop, process.processId());
    }

    // The program's first window titled "pomu" (its main window), once it shows; or the first
    // other than the given one.
    QString windowOf(const Desktop& desktop, qint64 pid, const QString& besides = {}) {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            for (const QString& window : desktop.windowsOf(pid)) {
                if (window != besides) return window;
            }
            QThread::msleep(100);
        }
        return {};
    }

    // Kept in test-artifacts/ under the name.
    static bool showsMoreThanItsBackground(const QImage& shot, const QString& name) {
        QDir().mkpath("test-artifacts");
        EXPECT_TRUE(shot.save("test-artifacts/" + name));
        QSet<QRgb> colours;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) colours.insert(shot.pixel(x, y));
        }
        return colours.size() > 1;
    }

    // The log once it holds this many batch lines (each batch's comes last), within the time.
    std::string logAfterBatches(qsizetype count) {
        const QDeadlineTimer deadline(120000);
        for (;;) {
            std::string text = readFile(home.path() / "state" / "pomu" / "pomu.log").value_or("");
            if (QString::fromStdString(text).count("\tbatch\t") >= count || deadline.hasExpired()) {
                return text;
            }
            QThread::msleep(100);
        }
    }

    bool ends(QProcess& process) {
        if (process.waitForFinished(20000)) return true;
        process.kill();
        process.waitForFinished(5000);
        return false;
    }

    const QString program = programUnderTest();
    ScratchFolder home;
    QProcessEnvironment environment;
    fs::path settingsFile;
};

class PomuProcessTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(desktop->failure().isEmpty()) << desktop->failure().toStdString();
        desktop->addTo(environment);
    }

    // A window closed by a key press never saw its release: the display, which keeps its state
    // from one program to the next, would hold the key down for the next test's windows.
    void TearDown() override { runTool("xdotool", {"keyup", "Escape"}, environment); }

    QString visibleWindowOf(qint64 pid) { return windowOf(*desktop, pid); }
    QRect geometryOf(const QString& window) { return desktop->geometryOf(window); }
    void stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(5000);
    }

    const std::unique_ptr<Desktop> desktop = xDesktop();
};

// The rows both desktops share.
enum class On { x11, wayland };

class PomuOnEachDesktopTest : public ProgramTest, public testing::WithParamInterface<On> {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (GetParam() == On::x11) {
            desktop = xDesktop();
        } else {
            desktop = std::make_unique<WaylandDesktop>();
        }
        // sway is installed with the rest: without it these rows fail, they never skip.
        ASSERT_TRUE(desktop->failure().isEmpty()) << desktop->failure().toStdString();
        desktop->addTo(environment);
    }

    std::unique_ptr<Desktop> desktop;
};

INSTANTIATE_TEST_SUITE_P(, PomuOnEachDesktopTest, testing::Values(On::x11, On::wayland),
                         [](const testing::TestParamInfo<On>& info) {
                             return info.param == On::x11 ? "X11" : "Wayland";
                         });

TEST_F(PomuProcessTest, RunsOnceShowsItsWindowAndClosesOnEscape) {
    // The first start finds the system's archiver by itself, or is given the test's.
    std::string folder = "/usr/lib/p7zip/";
    if (!ui::holdsArchiver(folder)) folder = writeArchiverSetting();

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString window = visibleWindowOf(first.processId());
    ASSERT_FALSE(window.isEmpty()) << first.readAllStandardError().toStdString();

    // A second start ends at once with 0 and leaves the first running.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(visibleWindowOf(first.processId()), window);

    // Its class is the desktop entry's StartupWMClass (under XWayland too), so docks match them.
    EXPECT_EQ(runTool("xprop", {"-id", window, "WM_CLASS"}, environment).output.trimmed(),
              "WM_CLASS(STRING) = \"pomu\", \"pomu\"");

    // The window on screen is small, fixed and shows more than its background.
    const QRect area = geometryOf(window);
    EXPECT_GT(area.width(), 40);
    EXPECT_GT(area.height(), 40);
    EXPECT_LT(area.width(), 600);
    EXPECT_LT(area.height(), 600);
    // Centred on the 1024 x 768 screen, or whatever screen the display has.
    const ToolOutput screenSize = runTool("xdotool", {"getdisplaygeometry"}, environment);
    const QStringList screenWh = screenSize.output.trimmed().split(' ');
    ASSERT_EQ(screenWh.size(), 2);
    EXPECT_LE(std::abs(area.center().x() - screenWh[0].toInt() / 2), 2);
    EXPECT_LE(std::abs(area.center().y() - screenWh[1].toInt() / 2), 2);
    const QString screen = path("tmp") + "/screen.png";
    QThread::msleep(500);  // let the first paint reach the server
    ASSERT_EQ(runTool("import", {"-window", "root", "PNG24:" + screen}, environment).exitCode, 0);
    const QImage shot = QImage(screen).copy(area);
    ASSERT_EQ(shot.size(), area.size());
    EXPECT_TRUE(showsMoreThanItsBackground(shot, "pomu-window.png"));

    // The menu key opens the options menu as a second window; ESC closes the menu first.
    const auto visibleCount = [&] {
        const ToolOutput search = runTool(
            "xdotool", {"search", "--onlyvisible", "--pid", QString::number(first.processId())},
            environment);
        return search.output.split('\n', Qt::SkipEmptyParts).size();
    };
    const auto waitForCount = [&](qsizetype count) {
        const QDeadlineTimer deadline(10000);
        while (visibleCount() != count && !deadline.hasExpired()) QThread::msleep(100);
        return visibleCount() == count;
    };
    EXPECT_EQ(visibleCount(), 1);
    EXPECT_EQ(runTool("xdotool", {"key", "--window", window, "Menu"}, environment).exitCode, 0);
    EXPECT_TRUE(waitForCount(2));
    EXPECT_EQ(runTool("xdotool", {"key", "--window", window, "Escape"}, environment).exitCode, 0);
    EXPECT_TRUE(waitForCount(1));
    EXPECT_EQ(first.state(), QProcess::Running);

    // ESC closes it; the program ends with 0 and its settings are written. Only the key press
    // is sent: the window is gone before a release could reach it.
    EXPECT_EQ(runTool("xdotool", {"keydown", "--window", window, "Escape"}, environment).exitCode,
              0);
    const bool ended = first.waitForFinished(20000);
    EXPECT_TRUE(ended);
    if (!ended) stop(first);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    const std::optional<std::string> text = readFile(settingsFile);
    ASSERT_TRUE(text.has_value());
    std::vector<std::string> lines;
    for (const QString& line : QString::fromStdString(*text).split('\n', Qt::SkipEmptyParts)) {
        lines.push_back(line.trimmed().toStdString());
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"[SystemSetting]", "dir=" + folder, "deleteAlready=OFF",
                                        "deleteProcessed=OFF", "div100MB=OFF", "div1GB=OFF",
                                        "zip=OFF", "keepDate=ON"}));
}

// Two starts at the same moment: exactly one window; the other process ends with 0.
TEST_F(PomuProcessTest, TwoStartsAtOnceGiveOneWindow) {
    writeArchiverSetting();

    QProcess starts[2];
    for (QProcess& start : starts) start.setProcessEnvironment(environment);
    for (QProcess& start : starts) start.start(program, {});
    for (QProcess& start : starts) ASSERT_TRUE(start.waitForStarted(10000));
    const QDeadlineTimer deadline(20000);
    // Waiting is what lets QProcess see an end.
    while (!starts[0].waitForFinished(50) && !starts[1].waitForFinished(50) &&
           !deadline.hasExpired()) {
    }
    const int ended = starts[0].state() == QProcess::NotRunning ? 0 : 1;
    QProcess& other = starts[ended];
    QProcess& running = starts[1 - ended];
    ASSERT_EQ(other.state(), QProcess::NotRunning) << "both instances still run";
    EXPECT_EQ(other.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(other.exitCode(), 0);
    EXPECT_EQ(running.state(), QProcess::Running) << "no instance runs";
    const QString window = visibleWindowOf(running.processId());
    EXPECT_FALSE(window.isEmpty()) << running.readAllStandardError().toStdString();
    if (!window.isEmpty()) {
        EXPECT_EQ(
            runTool("xdotool", {"keydown", "--window", window, "Escape"}, environment).exitCode, 0);
    }
    if (!running.waitForFinished(20000)) stop(running);
    EXPECT_EQ(running.exitCode(), 0);
}

// The launcher's startup id, given to the second start, ends that launch (its busy cursor) and
// asks the window manager for the first window with the launch's time.
TEST_F(PomuProcessTest, ASecondStartWithAStartupIdEndsItsLaunchAndAsksForTheWindowWithItsTime) {
    writeArchiverSetting();
    QProcess first;
    const QString window = start(first, *desktop);
    ASSERT_FALSE(window.isEmpty()) << first.readAllStandardError().toStdString();

    RootListener root(environment.value("DISPLAY"));
    QProcessEnvironment launched = environment;
    launched.insert("DESKTOP_STARTUP_ID", "launcher-7-host_TIME4242");
    QProcess second;
    second.setProcessEnvironment(launched);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    const RootMessages heard = root.heard("remove: ID=launcher-7-host_TIME4242", 10000);
    EXPECT_TRUE(heard.startup.contains("remove: ID=launcher-7-host_TIME4242"))
        << heard.startup.join(" | ").toStdString();
    EXPECT_TRUE(heard.activations.contains({window.toULong(nullptr, 0), 4242ul}));

    EXPECT_TRUE(desktop->press(window, "Escape"));
    EXPECT_TRUE(ends(first));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(PomuProcessTest, ASecondStartDuringTheFolderChoiceEndsAtOnceAndCancelLeavesItInert) {
    // A folder without the archiver: the first start waits in the folder chooser.
    ScratchFolder empty;
    fs::create_directories(settingsFile.parent_path());
    writeFile(settingsFile, "[SystemSetting]\ndir=" + empty.path().string() + "/\n");

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QDeadlineTimer deadline(30000);
    bool chooserShown = false;
    // A start that ended (it could not reach the display) is told at once, with its reason.
    while (!chooserShown && !deadline.hasExpired() && !first.waitForFinished(0)) {
        chooserShown =
            runTool("xdotool", {"search", "--onlyvisible", "--name", "^Select 7-Zip Folder$"},
                    environment)
                .exitCode == 0;
        if (!chooserShown) QThread::msleep(100);
    }
    ASSERT_TRUE(chooserShown) << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // Cancelling the chooser leaves the window open but inert; ESC still closes it, and the
    // folder is saved as it was loaded.
    const ToolOutput chooser = runTool(
        "xdotool", {"search", "--onlyvisible", "--name", "^Select 7-Zip Folder$"}, environment);
    const QString chooserId = chooser.output.section('\n', 0, 0).trimmed();
    ASSERT_FALSE(chooserId.isEmpty());
    EXPECT_EQ(
        runTool("xdotool", {"keydown", "--window", chooserId, "Escape"}, environment).exitCode, 0);
    const QString window = visibleWindowOf(first.processId());
    ASSERT_FALSE(window.isEmpty());
    EXPECT_EQ(runTool("xdotool", {"keydown", "--window", window, "Escape"}, environment).exitCode,
              0);
    const bool ended = first.waitForFinished(20000);
    EXPECT_TRUE(ended);
    if (!ended) stop(first);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    const std::optional<std::string> text = readFile(settingsFile);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find("dir=" + empty.path().string() + "/\n"), std::string::npos) << *text;
    EXPECT_NE(text->find("zip=OFF"), std::string::npos) << *text;
}

// A new user's first start: no settings at all, the system's 7-Zip found without asking, and
// an archive dropped from outside converted beside its source.
TEST_P(PomuOnEachDesktopTest, AFirstStartFindsTheSystemArchiverAndConvertsADrop) {
    const std::string systemFolders[] = {"/usr/lib/7zip/", "/usr/lib/p7zip/",
                                         "/usr/libexec/p7zip/"};
    if (std::none_of(std::begin(systemFolders), std::end(systemFolders),
                     [](const std::string& folder) { return ui::holdsArchiver(folder); })) {
        GTEST_SKIP() << "no 7-Zip where the system's packages put it";
    }
    fs::create_directories(home.path() / "home");
    environment.insert("HOME", path("home"));
    ScratchFolder files;
    fs::create_directories(files.path() / "in" / "sub");
    writeFile(files.path() / "in" / "a.txt", noise(20000));
    writeFile(files.path() / "in" / "sub" / "b.txt", "second file");
    // Large enough for the bars to be seen moving, not only empty and full.
    writeFile(files.path() / "in" / "big.bin", noise(24 << 20));
    const NativeString source = files.file("sample.zip");
    ASSERT_EQ(runArchiver({"a", "-tzip", source, files.file("in")}).exitCode, 0);

    BusMonitor monitor(
        QStringLiteral("type='signal',interface='com.canonical.Unity.LauncherEntry'"));
    ASSERT_TRUE(monitor.started()) << "no dbus-daemon or dbus-monitor";

    QProcess pomu;
    // The window shows once set-up has returned: a folder chooser would have kept it back.
    const QString window = start(pomu, *desktop);
    ASSERT_FALSE(window.isEmpty()) << pomu.readAllStandardError().toStdString();

    ASSERT_TRUE(desktop->dropFiles(window, {QString::fromStdString(source)}));
    // The batch's log line comes last, after the proof.
    const fs::path log = home.path() / "state" / "pomu" / "pomu.log";
    const QDeadlineTimer deadline(120000);
    while (readFile(log).value_or("").find("\tbatch\t") == std::string::npos &&
           !deadline.hasExpired()) {
        QThread::msleep(100);
    }
    const std::string text = readFile(log).value_or("");
    EXPECT_NE(text.find("\tconverted\t\t" + source + "\t"), std::string::npos) << text;
    EXPECT_NE(
        text.find("\tbatch\t1 file: 1 converted, 0 not converted, 0 skipped (pomu " POMU_VERSION
                  ")\t"),
        std::string::npos)
        << text;
    const NativeString target = files.file("sample.7z");
    EXPECT_TRUE(archiveTests(target));
    ScratchFolder unpacked;
    EXPECT_TRUE(extractArchive(target, unpacked.folder()));
    EXPECT_EQ(fingerprints(treeContents(unpacked.path() / "in")),
              fingerprints(treeContents(files.path() / "in")));
    EXPECT_TRUE(fs::exists(source)) << "the source left though nobody asked";
    // The installed desktop file's entry filled while the file ran, and emptied at the end.
    const LauncherUpdates updates = readUpdates(monitor.stop());
    ASSERT_FALSE(updates.progress.empty());
    EXPECT_EQ(updates.entries.count("application://" POMU_APP_ID ".desktop"),
              updates.entries.size());
    EXPECT_TRUE(risesThroughTheMiddle(
        std::vector<double>(updates.progress.begin(), updates.progress.end() - 1)));
    EXPECT_FALSE(updates.progressVisible.back());

    EXPECT_TRUE(desktop->press(window, "Escape"));
    EXPECT_TRUE(ends(pomu));
    EXPECT_EQ(pomu.exitCode(), 0);
    const std::string settings = readFile(settingsFile).value_or("");
    const bool savedFound = std::any_of(
        std::begin(systemFolders), std::end(systemFolders), [&](const std::string& folder) {
            return settings.find("\ndir=" + folder + "\n") != std::string::npos;
        });
    EXPECT_TRUE(savedFound) << settings;
}

TEST_P(PomuOnEachDesktopTest, TheRightClickMenuTogglesAnOption) {
    writeArchiverSetting();
    QProcess pomu;
    const QString window = start(pomu, *desktop);
    ASSERT_FALSE(window.isEmpty()) << pomu.readAllStandardError().toStdString();

    // The menu opens where the pointer is; its first item, あったら消す, lies just below.
    const QRect area = desktop->geometryOf(window);
    const QPoint middle(area.width() / 2, area.height() / 2);
    ASSERT_TRUE(desktop->click(window, middle, 3));
    QThread::msleep(500);  // neither desktop tells when a menu has shown
    ASSERT_TRUE(desktop->click(window, middle + QPoint(40, 10), 1));
    QThread::msleep(500);
    EXPECT_TRUE(desktop->press(window, "Escape"));
    EXPECT_TRUE(ends(pomu));
    EXPECT_EQ(pomu.exitCode(), 0);
    const std::string settings = readFile(settingsFile).value_or("");
    EXPECT_NE(settings.find("\ndeleteAlready=ON\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\ndeleteProcessed=OFF\n"), std::string::npos) << settings;
}

TEST_P(PomuOnEachDesktopTest, TheCloseQuestionsYesStopsTheBatch) {
    writeArchiverSetting();
    ScratchFolder files;
    // Large enough for the batch to be running still when the close box is used.
    writeFile(files.path() / "big.bin", noise(64 << 20));
    const NativeString source = files.file("big.zip");
    ASSERT_EQ(runArchiver({"a", "-tzip", "-mx=0", source, files.file("big.bin")}).exitCode, 0);

    QProcess pomu;
    const QString window = start(pomu, *desktop);
    ASSERT_FALSE(window.isEmpty()) << pomu.readAllStandardError().toStdString();
    ASSERT_TRUE(desktop->dropFiles(window, {QString::fromStdString(source)}));
    ASSERT_TRUE(desktop->askToClose(window));
    const QString question = windowOf(*desktop, pomu.processId(), window);
    ASSERT_FALSE(question.isEmpty()) << "no question";
    EXPECT_TRUE(desktop->press(question, "y"));
    EXPECT_TRUE(ends(pomu));
    EXPECT_EQ(pomu.exitCode(), 0);
    EXPECT_TRUE(fs::exists(source));
    EXPECT_FALSE(fs::exists(files.file("big.7z")));
}

// "pomu a.zip" converts it; a second start with a file (relative, as a terminal gives it)
// hands it to the running window and ends with 0; a dropped folder is asked about once (No
// converts none of it, Yes all), and one without archives says so.
TEST_P(PomuOnEachDesktopTest, FilesComeFromTheCommandLineASecondStartAndDroppedFolders) {
    writeArchiverSetting();
    ScratchFolder files;
    for (const char* folder : {"in", "Empty", "Library/Sub"}) {
        fs::create_directories(files.path() / folder);
    }
    writeFile(files.path() / "in" / "a.txt", noise(5000));
    writeFile(files.path() / "Empty" / "notes.txt", "no archive");
    for (const char* name : {"first.zip", "second.zip", "Library/b.zip", "Library/Sub/a.zip"}) {
        ASSERT_EQ(runArchiver({"a", "-tzip", files.file(name), files.file("in")}).exitCode, 0);
    }
    QProcess pomu;
    const QString window = start(pomu, *desktop, {QString::fromStdString(files.file("first.zip"))});
    ASSERT_FALSE(window.isEmpty()) << pomu.readAllStandardError().toStdString();
    EXPECT_NE(logAfterBatches(1).find("\tconverted\t\t" + files.file("first.zip") + "\t"),
              std::string::npos);
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(QString::fromStdString(files.path().string()));
    second.start(program, {"second.zip"});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_NE(logAfterBatches(2).find("\tconverted\t\t" + files.file("second.zip") + "\t"),
              std::string::npos);

    const struct {
        const char* key;
        std::string logged;
    } answers[] = {{"n", "\tnot converted\tfolder, not an archive\t" + files.file("Library")},
                   {"y", "\tconverted\t\t" + files.file("Library/Sub/a.zip")}};
    int batches = 2;
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.key);
        ASSERT_TRUE(desktop->dropFiles(window, {QString::fromStdString(files.file("Library"))}));
        const QString question = windowOf(*desktop, pomu.processId(), window);
        ASSERT_FALSE(question.isEmpty()) << "no question";
        EXPECT_TRUE(desktop->press(question, answer.key));
        EXPECT_NE(logAfterBatches(++batches).find(answer.logged), std::string::npos);
    }
    for (const char* name : {"first.7z", "second.7z", "Library/b.7z", "Library/Sub/a.7z"}) {
        EXPECT_TRUE(archiveTests(files.file(name))) << name;
    }
    ASSERT_TRUE(desktop->dropFiles(window, {QString::fromStdString(files.file("Empty"))}));
    EXPECT_NE(logAfterBatches(++batches).find("\tskipped\tno archives in Empty\t"),
              std::string::npos);
    EXPECT_TRUE(desktop->press(window, "Escape"));
    EXPECT_TRUE(ends(pomu));
}

// Natively on Wayland: what only a compositor decides, the window's place and its focus.
class PomuOnWaylandTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(desktop.failure().isEmpty()) << desktop.failure().toStdString();
        desktop.addTo(environment);
        writeArchiverSetting();
        window = start(first, desktop);
        ASSERT_FALSE(window.isEmpty()) << first.readAllStandardError().toStdString();
    }

    // A second start with the given environment ends at once with 0, the first still running.
    void startASecond(const QProcessEnvironment& with) {
        QProcess second;
        second.setProcessEnvironment(with);
        second.start(program, {});
        ASSERT_TRUE(second.waitForFinished(20000));
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_EQ(first.state(), QProcess::Running);
    }

    void closeFirst() {
        EXPECT_TRUE(desktop.press(window, "Escape"));
        EXPECT_TRUE(ends(first));
        EXPECT_EQ(first.exitCode(), 0);
    }

    bool focused() { return desktop.session().focused()["id"].toInteger() == window.toLongLong(); }

    WaylandDesktop desktop;
    QProcess first;
    QString window;
};

TEST_F(PomuOnWaylandTest, TheWindowMapsUnderItsAppIdFloatingAtItsFixedSize) {
    const QJsonObject view = desktop.session().node(window.toLongLong());
    EXPECT_EQ(view["app_id"].toString(), POMU_APP_ID);
    EXPECT_EQ(view["shell"].toString(), "xdg_shell");
    EXPECT_EQ(view["type"].toString(), "floating_con");
    const QRect area = desktop.geometryOf(window);
    EXPECT_GT(area.width(), 40);
    EXPECT_LT(area.width(), 600);
    EXPECT_TRUE(focused());
    const QString screen = path("tmp") + "/screen.png";
    QThread::msleep(500);  // let the first paint reach the compositor
    const QString region =
        QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    ASSERT_EQ(runTool("grim", {"-g", region, screen}, environment).exitCode, 0);
    EXPECT_TRUE(showsMoreThanItsBackground(QImage(screen), "pomu-window-wayland.png"));
    startASecond(environment);
    closeFirst();
}

// The launcher gives the second start the token; the first window takes the focus with it.
TEST_F(PomuOnWaylandTest, ASecondStartWithATokenBringsTheWindowBackFromAnotherWorkspace) {
    ASSERT_TRUE(focused());
    // The user works in another program there (an empty workspace, which sway 1.7 drops as the
    // focus leaves it, can crash it).
    desktop.session().command("workspace elsewhere");
    ASSERT_TRUE(desktop.client().showWindow());
    ASSERT_FALSE(focused());
    QProcessEnvironment launched = environment;
    const QByteArray token = desktop.client().activationToken();
    ASSERT_FALSE(token.isEmpty());
    launched.insert("XDG_ACTIVATION_TOKEN", QString::fromLatin1(token));
    startASecond(launched);
    const QDeadlineTimer deadline(5000);
    while (!focused() && !deadline.hasExpired()) QThread::msleep(100);
    EXPECT_TRUE(focused()) << "the window stayed on its workspace";
    closeFirst();
}

}  // namespace
}  // namespace pomu::test

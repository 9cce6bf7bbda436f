// The real pomu on an X display: one instance, window and menu, ESC, saved settings, a drop.
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

#include "pomu_version.h"
#include "session_bus.h"
#include "support/test_files.h"
#include "ui/qt/archiver_folder.h"
#include "x_display.h"
#include "x_drop.h"

namespace pomu::test {
namespace {

struct ToolOutput {
    int exitCode = -1;
    QString output;
};

ToolOutput runTool(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolOutput run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (run.exitCode != 0) {
        std::fprintf(stderr, "%s %s: exit %d: %s\n", qPrintable(program),
                     qPrintable(arguments.join(' ')), run.exitCode,
                     process.readAllStandardError().constData());
    }
    return run;
}

// The build's program, or the one POMU_PROGRAM_UNDER_TEST names (an installed /usr/bin/pomu).
QString programUnderTest() {
    const char* installed = std::getenv("POMU_PROGRAM_UNDER_TEST");
    return QString::fromLocal8Bit(installed && *installed ? installed : POMU_PROGRAM);
}

class PomuProcessTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(display.name().isEmpty()) << "no X display and no Xvfb";
        for (const char* name : {"config", "data", "state", "tmp", "run"}) {
            fs::create_directories(home.path() / name);
        }
        ::chmod((home.path() / "run").c_str(), 0700);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display.name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_STATE_HOME", path("state"));
        environment.insert("TMPDIR", path("tmp"));
        environment.insert("XDG_RUNTIME_DIR", path("run"));
        // A sanitized build reports what the system's D-Bus library keeps until exit.
        QString leaks = environment.value("LSAN_OPTIONS");
        if (!leaks.isEmpty()) leaks += ':';
        environment.insert("LSAN_OPTIONS", leaks + "suppressions=" + POMU_LSAN_SUPPRESSIONS);
        settingsFile = home.path() / "config" / "pomu" / "pomu.ini";
    }

    // A window closed by a key press never saw its release: the display, which keeps its state
    // from one program to the next, would hold the key down for the next test's windows.
    void TearDown() override { runTool("xdotool", {"keyup", "Escape"}, environment); }

    QString path(const char* name) const {
        return QString::fromStdString((home.path() / name).string());
    }

    // The id of the program's visible window, once it is mapped.
    QString visibleWindowOf(qint64 pid) {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            const ToolOutput search = runTool(
                "xdotool",
                {"search", "--onlyvisible", "--pid", QString::number(pid), "--name", "^pomu$"},
                environment);
            const QString id = search.output.section('\n', 0, 0).trimmed();
            if (search.exitCode == 0 && !id.isEmpty()) return id;
            QThread::msleep(100);
        }
        return {};
    }

    QRect geometryOf(const QString& window) {
        const ToolOutput shell =
            runTool("xdotool", {"getwindowgeometry", "--shell", window}, environment);
        QMap<QString, int> values;
        for (const QString& line : shell.output.split('\n', Qt::SkipEmptyParts)) {
            values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        }
        return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
    }

    void stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(5000);
    }

    const QString program = programUnderTest();
    XDisplay display;
    ScratchFolder home;
    QProcessEnvironment environment;
    fs::path settingsFile;
};

TEST_F(PomuProcessTest, RunsOnceShowsItsWindowAndClosesOnEscape) {
    // The first start finds the system's archiver by itself, or is given the test's.
    std::string folder = "/usr/lib/p7zip/";
    if (!ui::holdsArchiver(folder)) {
        folder = utf8(archiverFolder());
        fs::create_directories(settingsFile.parent_path());
        writeFile(settingsFile, "[SystemSetting]\ndir=" + folder + "\n");
    }

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
    QDir().mkpath("test-artifacts");
    EXPECT_TRUE(shot.save("test-artifacts/pomu-window.png"));
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) colours.insert(shot.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 1);

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

// A new user's first start: no settings at all, the system's 7-Zip found without asking, and
// an archive dropped from outside converted beside its source.
TEST_F(PomuProcessTest, AFirstStartFindsTheSystemArchiverAndConvertsADrop) {
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
    pomu.setProcessEnvironment(environment);
    pomu.start(program, {});
    ASSERT_TRUE(pomu.waitForStarted(10000));
    const QString window = visibleWindowOf(pomu.processId());
    ASSERT_FALSE(window.isEmpty()) << pomu.readAllStandardError().toStdString();
    EXPECT_NE(runTool("xdotool", {"search", "--onlyvisible", "--name", "^Select 7-Zip Folder$"},
                      environment)
                  .exitCode,
              0)
        << "the folder chooser was shown";

    ASSERT_TRUE(dropFilesOn(display.name(), window, {QString::fromStdString(source)}));
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

    EXPECT_EQ(runTool("xdotool", {"keydown", "--window", window, "Escape"}, environment).exitCode,
              0);
    if (!pomu.waitForFinished(20000)) stop(pomu);
    EXPECT_EQ(pomu.exitCode(), 0);
    const std::string settings = readFile(settingsFile).value_or("");
    const bool savedFound = std::any_of(
        std::begin(systemFolders), std::end(systemFolders), [&](const std::string& folder) {
            return settings.find("\ndir=" + folder + "\n") != std::string::npos;
        });
    EXPECT_TRUE(savedFound) << settings;
}

// Two starts at the same moment: exactly one window; the other process ends with 0.
TEST_F(PomuProcessTest, TwoStartsAtOnceGiveOneWindow) {
    std::string folder = "/usr/lib/p7zip/";
    if (!ui::holdsArchiver(folder)) folder = utf8(archiverFolder());
    fs::create_directories(settingsFile.parent_path());
    writeFile(settingsFile, "[SystemSetting]\ndir=" + folder + "\n");

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

}  // namespace
}  // namespace pomu::test

// The tool runner driving the real archiver: start failures, force exit, events and arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "convert/listing.h"
#include "convert/plan.h"
#include "convert/progress.h"
#include "convert/runner.h"
#include "support/test_files.h"
#include "support/wakeup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#endif

namespace pomu {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::fs::path;

// A headless window that runs a script before each of the runner's passes.
class ScriptedWindow : public HeadlessWindow {
  public:
    std::function<void(int pass, platform::RunningTool& tool)> beforePass;
    int passes = 0;

    void handleEvents(platform::RunningTool& tool) override {
        if (beforePass) beforePass(passes, tool);
        ++passes;
        HeadlessWindow::handleEvents(tool);
    }
};

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// CPU time used by this process itself, not by the tools it started.
double processCpuSeconds() {
#ifdef _WIN32
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto toSeconds = [](FILETIME time) {
        return double((ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return toSeconds(kernel) + toSeconds(user);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toSeconds = [](timeval time) {
        return double(time.tv_sec) + double(time.tv_usec) / 1e6;
    };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
#endif
}

// Sets the current folder for one test and puts the old one back.
class CurrentFolder {
  public:
    explicit CurrentFolder(const path& folder) : old_(test::fs::current_path()) {
        test::fs::current_path(folder);
    }
    ~CurrentFolder() { test::fs::current_path(old_); }

  private:
    path old_;
};

// How long the archiver takes to pack a megabyte of noise at the highest level, measured once
// in this run, so slow inputs are sized for this machine's speed, whatever it is.
double secondsPerMegabyte() {
    static const double measured = [] {
        constexpr std::size_t kMegabytes = 4;
        const test::ScratchFolder scratch;
        const path input = scratch.path() / "baseline.bin";
        test::writeFile(input, test::noise(kMegabytes << 20));
        const Clock::time_point start = Clock::now();
        test::runArchiver(
            {POMU_T("a"), scratch.file("baseline.7z"), input.native(), POMU_T("-mx=9")});
        return std::max(seconds(Clock::now() - start), 0.01) / double(kMegabytes);
    }();
    return measured;
}

class RunnerTest : public testing::Test {
  protected:
    // Noise packed at the highest level, sized to take about that long on this machine.
    ToolCommand slowCompression(double runSeconds) {
        const double megabytes = std::clamp(runSeconds / secondsPerMegabyte(), 1.0, 1024.0);
        const path input = scratch.path() / "noise.bin";
        test::writeFile(input, test::noise(std::size_t(megabytes * double(1 << 20))));
        return test::archiverCommand({POMU_T("a"), slowArchive(), input.native(), POMU_T("-mx=9")});
    }
    NativeString slowArchive() const { return scratch.file("slow.7z"); }

    ToolRun run(const ToolCommand& command, bool show = false, std::string_view input = {}) {
        const Clock::time_point start = Clock::now();
        const ToolRun result = runTool(command, show, window, runState, input);
        elapsed = Clock::now() - start;
        return result;
    }

    test::ScratchFolder scratch;
    RunState runState;
    ScriptedWindow window;
    Clock::duration elapsed{};
};

TEST_F(RunnerTest, ProgramThatCannotStartReturnsAtOnce) {
    test::writeFile(scratch.path() / "plain.txt", "not a program");
    struct Case {
        const char* label;
        NativeString program;
    };
    const std::vector<Case> cases = {
        {"missing file", scratch.file("no-such-archiver")},
        {"folder", scratch.folder()},
        {"missing folder prefix", scratch.file("none") + kSeparator + NativeString(POMU_T("7z"))},
#ifndef _WIN32
        {"file without execute permission", scratch.file("plain.txt")},
        // Only found along PATH; a bare name means the current folder.
        {"bare name", "sh"},
#endif
    };
    const CurrentFolder inScratch(scratch.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ToolCommand command = test::archiverCommand({POMU_T("i")});
        // Windows starts from the line, Linux from the program path: both name the missing one.
        command.line.replace(0, command.line.find(POMU_T("\" ")) + 1,
                             POMU_T("\"") + c.program + POMU_T("\""));
        command.program = c.program;
        window.passes = 0;
        const ToolRun result = run(command);
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.forced);
        EXPECT_EQ(window.passes, 0);
        EXPECT_LT(elapsed, 10s) << "only a wait for a tool that never started takes this long";
    }
}

TEST_F(RunnerTest, ForceExitDuringRunEndsToolWithinOnePass) {
    // A tool left running would take the rest of its 8 s; its end takes a fraction of that. Its
    // input, which it never reads, holds nothing up.
    const ToolCommand command = slowCompression(8);
    const test::PeriodicWakeup wakeup(10);
    int forcedAtPass = -1;
    Clock::time_point forcedAt;
    const Clock::time_point start = Clock::now();
    window.beforePass = [&](int pass, platform::RunningTool&) {
        if (forcedAtPass < 0 && Clock::now() - start > 300ms) {
            runState.forceExit = true;
            forcedAtPass = pass;
            forcedAt = Clock::now();
        }
    };
    const ToolRun result = run(command, false, "SECRET\nSECRET\n");
    ASSERT_GE(forcedAtPass, 0) << "the tool ended before force exit was set";
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.forced);
    EXPECT_FALSE(result.exitCode);
    // The pass that set the flag, then the runner terminates; a few more while the kill lands.
    EXPECT_LE(window.passes - forcedAtPass, 5);
    EXPECT_LT(Clock::now() - forcedAt, 3s);
    EXPECT_FALSE(test::archiveTests(slowArchive()));
}

TEST_F(RunnerTest, ToolForcedOrStoppedBeforeItsFirstPassEndsAtOnce) {
    const ToolCommand command = slowCompression(8);
    runState.forceExit = true;
    const ToolRun result = run(command);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.forced);
    EXPECT_FALSE(result.exitCode);
    EXPECT_LE(window.passes, 2);
    EXPECT_LT(elapsed, 3s) << "a tool left running would take about 8 s";
    EXPECT_FALSE(test::archiveTests(slowArchive()));

    // A run started beside another step and stopped: gone when the call returns, so nothing
    // it writes can land in a folder that is cleared next.
    runState.forceExit = false;
    StartedRun beside = startRun(command, false);
    ASSERT_TRUE(beside.tool);
    stopRun(beside, window);
    EXPECT_TRUE(beside.tool->hasEnded());
    EXPECT_FALSE(beside.tool->exitCode());
}

// A question nobody can answer ends at once; the answer given on the input is read, a line too
// many is never waited for.
TEST_F(RunnerTest, HiddenToolAskingForPasswordReadsOnlyItsInput) {
    test::writeFile(scratch.path() / "secret.txt", "secret contents");
    const NativeString archive = scratch.file("locked.7z");
    ASSERT_EQ(test::runArchiver({POMU_T("a"), POMU_T("-pSECRET"), POMU_T("-mhe=on"), archive,
                                 scratch.file("secret.txt")})
                  .exitCode,
              0);
    struct Case {
        const char* input;
        bool unpacked;
    };
    for (const Case& c : {Case{"", false}, Case{"SECRET\n", true}, Case{"SECRET\nx\nx\n", true},
                          Case{"WRONG\n", false}}) {
        SCOPED_TRACE(c.input);
        test::fs::remove_all(scratch.path() / "out");
        const std::optional<ToolCommand> command =
            extractCommand(test::archiverFolder(), archive, scratch.file("out") + kSeparator);
        ASSERT_TRUE(command);
        // A hang would otherwise stall the suite: force exit ends it after a generous bound.
        const test::PeriodicWakeup wakeup(100);
        const Clock::time_point start = Clock::now();
        window.beforePass = [&](int, platform::RunningTool&) {
            if (Clock::now() - start > 20s) runState.forceExit = true;
        };
        const ToolRun result = run(*command, false, c.input);
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.forced) << "the tool waited for a password";
        ASSERT_TRUE(result.exitCode);
        EXPECT_EQ(*result.exitCode == 0, c.unpacked);
        EXPECT_LT(elapsed, 10s);
        EXPECT_EQ(test::readFile(scratch.path() / "out" / "secret.txt"),
                  c.unpacked ? std::optional<std::string>("secret contents") : std::nullopt);
    }
}

TEST_F(RunnerTest, ReturnsWhenToolEndsWithNoOtherEvent) {
    const ToolCommand command = slowCompression(1);
    // Fires only if the pump missed the tool's end and waited for some other event.
    const test::PeriodicWakeup watchdog(15000);
    const ToolRun result = run(command);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(watchdog.fired(), 0);
    EXPECT_LT(elapsed, 10s);
    EXPECT_TRUE(test::archiveTests(slowArchive()));
}

TEST_F(RunnerTest, TimerKeepsFiringDuringRunWithoutBusyWaiting) {
    const ToolCommand command = slowCompression(2);
    const test::PeriodicWakeup timer(10);
    const double cpuBefore = processCpuSeconds();
    const ToolRun result = run(command);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    const double wall = seconds(elapsed);
    ASSERT_EQ(result.exitCode, 0);
    ASSERT_GT(wall, 0.5) << "the run was too short to judge";
    EXPECT_GE(timer.fired(), int(wall / 0.010 / 2)) << "over " << wall << " s";
    EXPECT_LT(cpuUsed, 0.3 * wall) << cpuUsed << " s of CPU over " << wall << " s";
    // One pass per wake-up, not a loop that keeps passing on its own: the timer's, and the
    // archiver's progress line (about five a second, ten allowed).
    EXPECT_LE(window.passes, timer.fired() + 10 + int(wall * 10));
}

// Hidden, the archiver's own progress line moves the batch's fraction while it packs; a line
// with no room left for the progress switch still runs, counted only when it ends.
TEST_F(RunnerTest, ProgressRisesDuringTheRunAndALineAtTheLimitStillRuns) {
    struct Case {
        const char* label;
        bool padToLimit;
        bool middleValues;
    };
    const Case cases[] = {{"room for the switch", false, true}, {"line at the limit", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::fs::remove(slowArchive());
        ToolCommand command = slowCompression(3);
        if (c.padToLimit) command.line.resize(kMaxCommandChars, Char(' '));
        BatchProgress progress;
        progress.addFiles(1);
        progress.fileStarts(false);
        runState.progress = &progress;
        HeadlessWindow shown;
        const ToolRun result = runTool(command, false, shown, runState);
        runState.progress = nullptr;
        ASSERT_EQ(result.exitCode, 0);
        std::vector<double> values;
        for (const std::optional<double>& value : shown.progress()) values.push_back(value.value());
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        const auto middle = std::count_if(values.begin(), values.end(), [](double v) {
            return v > (1 + 24 + 0.05 * 60) / 86 && v < (1 + 24 + 0.95 * 60) / 86;
        });
        EXPECT_EQ(middle > 0, c.middleValues) << middle << " values within the compression";
    }
}

// A listing is several times what a pipe holds: it arrives whole, and runs to its end while
// nothing reads it (beside another step).
TEST_F(RunnerTest, ListingArrivesWholeAndRunsUnread) {
    const path content = scratch.path() / "content";
    for (int i = 0; i < 2000; ++i) {
        test::fs::create_directories(content / ("d" + std::to_string(i / 100)));
        test::writeFile(content / ("d" + std::to_string(i / 100)) / ("f" + std::to_string(i)),
                        std::to_string(i));
    }
    const NativeString archive = scratch.file("many.zip");
    ASSERT_EQ(test::runArchiver({POMU_T("a"), archive, content.native() + kSeparator + POMU_T("*"),
                                 POMU_T("-tzip")})
                  .exitCode,
              0);
    const std::optional<ToolCommand> command = listCommand(test::archiverFolder(), archive);
    ASSERT_TRUE(command);
    const ListingRun listing = runListing(*command, window, runState);
    EXPECT_EQ(listing.run.exitCode, 0);
    EXPECT_GT(listing.output.size(), 4u * 65536);
    const Listing parsed = parseListing(listing.output);
    EXPECT_TRUE(parsed.complete && !parsed.errors && !parsed.warnings);
    EXPECT_EQ(parsed.entries.size(), 2020u);  // 20 folders

    StartedRun unread = startListingRun(*command);
    ASSERT_TRUE(unread.tool);
    const Clock::time_point deadline = Clock::now() + 30s;
    while (!unread.tool->hasEnded() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(unread.tool->hasEnded()) << "the listing waited for a reader";
    EXPECT_EQ(finishListing(unread, window, runState).output, listing.output);
    // Read as it is handed on, piece by piece, it gives the same listing.
    StartedRun read = startListingRun(*command);
    EXPECT_EQ(finishArchiveListing(read, window, runState).listing.entries.size(), 2020u);

    runState.forceExit = true;
    const ListingRun stopped = runListing(*command, window, runState);
    EXPECT_TRUE(stopped.run.forced);
    EXPECT_FALSE(stopped.run.exitCode);
}

#ifndef _WIN32
TEST_F(RunnerTest, EventsPostedDuringRunAreHandledDuringRun) {
    const ToolCommand command = slowCompression(2);
    bool handled = false;
    bool handledInFirstPass = false;
    bool toolWasRunning = false;
    window.beforePass = [&](int pass, platform::RunningTool& tool) {
        if (pass == 0) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [&] {
                    handled = true;
                    toolWasRunning = !tool.hasEnded();
                },
                Qt::QueuedConnection);
        } else if (pass == 1) {
            handledInFirstPass = handled;
        }
    };
    const ToolRun result = run(command);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(handledInFirstPass);
    EXPECT_TRUE(toolWasRunning) << "the event waited for the tool's end";
}
#endif

// Odd names reach the archiver whole: the extraction finds the archive and writes the folder.
TEST_F(RunnerTest, NamesReachArchiverAsOneArgument) {
    struct Case {
        std::string name;
        bool relative;
    };
    const std::vector<Case> cases = {
        {"with  two blanks", false},  {"日本語の名前", false},
        {"-leading dash", false},     {"-leading dash relative", true},
#ifndef _WIN32
        {"a \"quoted\" name", false},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const path content = scratch.path() / test::native("in " + c.name);
        test::fs::create_directories(content);
        test::writeFile(content / test::native(c.name + ".txt"), c.name);
        const NativeString archive = scratch.file(c.name + ".7z");
        ASSERT_EQ(test::runArchiver({POMU_T("a"), archive, content.native()}).exitCode, 0);

        const path out = scratch.path() / test::native("out " + c.name);
        NativeString source = archive;
        std::optional<CurrentFolder> inScratch;
        if (c.relative) {
            inScratch.emplace(scratch.path());
            source = test::native(c.name + ".7z");
        }
        const std::optional<ToolCommand> command =
            extractCommand(test::archiverFolder(), source, out.native() + kSeparator);
        ASSERT_TRUE(command);
        const ToolRun result = run(*command);
        EXPECT_EQ(result.exitCode, 0);
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"in " + c.name + "/" + c.name + ".txt", c.name}};
        EXPECT_EQ(test::treeContents(out), expected);
    }
}

#ifndef _WIN32
// Starts a program directly and waits for its exit code.
std::optional<int> exitCodeOf(const std::string& program, const std::vector<std::string>& arguments,
                              bool show) {
    std::optional<platform::RunningTool> tool = platform::startTool({program, arguments, {}}, show);
    if (!tool) return std::nullopt;
    while (!tool->hasEnded()) platform::handlePendingEvents(*tool);
    return tool->exitCode();
}

bool isNullDevice(const std::string& file) {
    struct stat info;
    struct stat null;
    return stat(file.c_str(), &info) == 0 && stat("/dev/null", &null) == 0 &&
           info.st_dev == null.st_dev && info.st_ino == null.st_ino;
}

// Hidden, the standard streams are the null device; shown, they are this program's own.
TEST(ToolStart, StandardStreamsFollowShow) {
    // The test's own input is a pipe (see test_main), so an inherited input would show.
    ASSERT_FALSE(isNullDevice("/proc/self/fd/0")) << "the test's input is already the null device";
    for (const bool show : {false, true}) {
        for (const int stream : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "show " << show << ", stream " << stream);
            const std::string own = "/proc/self/fd/" + std::to_string(stream);
            const bool expectNull = !show || isNullDevice(own);
            EXPECT_EQ(exitCodeOf("/usr/bin/test", {own, "-ef", "/dev/null"}, show),
                      expectNull ? 0 : 1);
        }
    }
}

TEST(ToolStart, ToolInheritsNoOtherDescriptor) {
    test::ScratchFolder scratch;
    const std::string file = scratch.file("open.txt");
    const int inheritable = open(file.c_str(), O_CREAT | O_RDWR, 0600);  // no O_CLOEXEC
    ASSERT_GE(inheritable, 3);
    const std::string inChild = "/proc/self/fd/" + std::to_string(inheritable);
    EXPECT_EQ(exitCodeOf("/usr/bin/test", {"-e", inChild}, true), 1);
    EXPECT_EQ(exitCodeOf("/usr/bin/test", {"-e", "/proc/self/fd/2"}, true), 0);
    close(inheritable);
}

// An archiver whose pomu died still holds the workspace lock, so no later instance clears
// the folder it reads from; once it has ended, the lock is free.
TEST(ToolStart, ToolHoldsTheWorkspaceLockWhileItRuns) {
    test::ScratchFolder scratch;
    const std::string lockFile = scratch.file("pomu.lock");
    std::optional<platform::FileLock> lock = platform::tryLockFile(lockFile);
    ASSERT_TRUE(lock);
    std::optional<platform::RunningTool> sleeper =
        platform::startTool({"/bin/sleep", {"30"}, {}}, false);
    ASSERT_TRUE(sleeper);
    lock.reset();  // as when this program is killed
    EXPECT_FALSE(platform::tryLockFile(lockFile)) << "a later instance could take the workspace";
    sleeper->terminate();
    while (!sleeper->hasEnded()) platform::handlePendingEvents(*sleeper);
    EXPECT_TRUE(platform::tryLockFile(lockFile));
}

TEST(ToolStart, KilledToolHasNoExitCodeAndEndedToolKeepsIt) {
    std::optional<platform::RunningTool> sleeper =
        platform::startTool({"/bin/sleep", {"30"}, {}}, false);
    ASSERT_TRUE(sleeper);
    EXPECT_FALSE(sleeper->hasEnded());
    EXPECT_FALSE(sleeper->exitCode());
    sleeper->terminate();
    while (!sleeper->hasEnded()) platform::handlePendingEvents(*sleeper);
    EXPECT_FALSE(sleeper->exitCode());

    EXPECT_EQ(exitCodeOf("/bin/sh", {"-c", "exit 3"}, false), 3);
}
#endif

}  // namespace
}  // namespace pomu

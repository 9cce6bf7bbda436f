// The tool runner with a real window and the real 7z.exe: messages, quit, timers, force exit.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <map>

#include "convert/plan.h"
#include "convert/runner.h"
#include "platform/win32/running_tool.h"
#include "platform/win32/unique_handle.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kGiveUp = WM_APP + 1;

// What the test window saw; its window procedure finds it through the window's user data.
struct WindowLog {
    int ticks = 0;
    int appMessages = 0;
    std::map<UINT_PTR, std::function<void()>> actions;  // one-shot timers
};

LRESULT CALLBACK logWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* log = reinterpret_cast<WindowLog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (log && message == WM_TIMER && wParam == kTickTimer) {
        ++log->ticks;
        PostMessageW(window, WM_APP, 0, 0);
        return 0;
    }
    if (log && message == WM_TIMER && log->actions.count(wParam)) {
        KillTimer(window, wParam);
        log->actions[wParam]();
        return 0;
    }
    if (log && message == WM_APP) {
        ++log->appMessages;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A real top-level window that is never shown.
class HiddenWindow {
  public:
    HiddenWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = logWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"pomu runner test";
        RegisterClassW(&windowClass);  // fails harmlessly once registered
        handle_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log));
    }
    ~HiddenWindow() { DestroyWindow(handle_); }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    HWND handle() const { return handle_; }
    void tickEvery(UINT milliseconds) { SetTimer(handle_, kTickTimer, milliseconds, nullptr); }
    void after(UINT milliseconds, std::function<void()> action) {
        const UINT_PTR id = 100 + log.actions.size();
        log.actions[id] = std::move(action);
        SetTimer(handle_, id, milliseconds, nullptr);
    }

    WindowLog log;

  private:
    HWND handle_ = nullptr;
};

// The status window the runner pumps; it keeps its own handle on the tool's process.
class PumpingWindow : public StatusWindow {
  public:
    explicit PumpingWindow(const WindowLog& log) : log_(log) {}
    ~PumpingWindow() override {
        if (process) CloseHandle(process);
    }
    void writeStatus(NativeView) override {}
    void showProgress(std::optional<double>) override {}
    void handleEvents(platform::RunningTool& tool) override {
        if (!process) {
            DuplicateHandle(GetCurrentProcess(), tool.impl().process.get(), GetCurrentProcess(),
                            &process, 0, FALSE, DUPLICATE_SAME_ACCESS);
        }
        ++passes;
        platform::handlePendingEvents(tool);
        if (!tool.hasEnded()) appMessagesWhileRunning = log_.appMessages;
    }

    HANDLE process = nullptr;
    int passes = 0;
    int appMessagesWhileRunning = 0;

  private:
    const WindowLog& log_;
};

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

double toSeconds(FILETIME time) {
    return double((ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

double ownCpuSeconds() {
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    return toSeconds(kernel) + toSeconds(user);
}

class RunnerWin32Test : public testing::Test {
  protected:
    void TearDown() override {
        MSG message;  // nothing of this test reaches the next one
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // Noise packed at the highest level on one thread: about 0.1 s per MB under Wine here.
    ToolCommand slowCompression(std::size_t megabytes) {
        const test::fs::path input = scratch.path() / "noise.bin";
        test::writeFile(input, test::noise(megabytes << 20));
        return test::archiverCommand(
            {L"a", scratch.file("slow.7z"), input.native(), L"-mx=9", L"-mmt1"});
    }

    ToolRun run(const ToolCommand& command, bool show = false) {
        const Clock::time_point start = Clock::now();
        const ToolRun result = runTool(command, show, pump, runState);
        elapsed = Clock::now() - start;
        return result;
    }

    test::ScratchFolder scratch;
    HiddenWindow window;
    PumpingWindow pump{window.log};
    RunState runState;
    Clock::duration elapsed{};
};

TEST_F(RunnerWin32Test, PostedMessagesAreHandledWhileTheToolRuns) {
    window.tickEvery(10);
    const ToolRun result = run(slowCompression(2));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_GT(pump.appMessagesWhileRunning, 0) << "messages waited for the tool's end";
}

// A quit taken by the runner's pump is handed on, through a second run, to the main loop.
TEST_F(RunnerWin32Test, QuitDuringARunStillEndsTheMessageLoop) {
    bool postedWhileRunning = false;
    window.after(200, [&] {
        postedWhileRunning = pump.process && WaitForSingleObject(pump.process, 0) == WAIT_TIMEOUT;
        PostQuitMessage(42);
    });
    EXPECT_EQ(run(slowCompression(8)).exitCode, 0) << "a quit request does not stop the tool";
    ASSERT_TRUE(postedWhileRunning) << "the tool ended before the quit request came";
    EXPECT_EQ(run(test::archiverCommand({L"i"})).exitCode, 0);

    // A timer comes after a pending quit, so giving up never hides one.
    window.after(2000, [&] { PostMessageW(window.handle(), kGiveUp, 0, 0); });
    MSG message;
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0 && message.message != kGiveUp) {
        DispatchMessageW(&message);
    }
    EXPECT_EQ(got, 0) << "the quit request was lost";
    EXPECT_EQ(message.wParam, 42u);
}

TEST_F(RunnerWin32Test, ReturnsSoonAfterTheToolEndsWithoutBusyWaiting) {
    window.tickEvery(10);
    const double cpuBefore = ownCpuSeconds();
    // The official 7z.exe packs 2 MB in about 0.2 s here: 8 MB keeps the run long enough.
    const ToolRun result = run(slowCompression(8));
    FILETIME returned;
    GetSystemTimeAsFileTime(&returned);
    const double cpu = ownCpuSeconds() - cpuBefore;
    const double wall = seconds(elapsed);
    ASSERT_EQ(result.exitCode, 0);
    ASSERT_GT(wall, 0.3) << "the run was too short to judge";

    FILETIME creation, exit, kernel, user;
    ASSERT_TRUE(GetProcessTimes(pump.process, &creation, &exit, &kernel, &user));
    EXPECT_LT(toSeconds(returned) - toSeconds(exit), 0.3) << "slow to notice the tool's end";
    EXPECT_GE(window.log.ticks, int(wall / 0.010 / 3)) << "over " << wall << " s";
    EXPECT_LT(cpu, 0.3 * wall) << cpu << " s of CPU over " << wall << " s";
    // Under Wine a spinning pump waits in the wine server, not on the CPU: count its passes.
    // A tick wakes it at most twice (the timer, then the message the timer posts).
    EXPECT_LE(pump.passes, 2 * window.log.ticks + 10);
}

TEST_F(RunnerWin32Test, ForceExitEndsTheArchiverAtOnce) {
    Clock::time_point forcedAt;
    window.after(300, [&] {
        runState.forceExit = true;
        forcedAt = Clock::now();
    });
    const ToolRun result = run(slowCompression(60));
    ASSERT_TRUE(result.forced) << "the tool ended before force exit was set";
    EXPECT_FALSE(result.exitCode);
    EXPECT_LT(Clock::now() - forcedAt, 1s);
    ASSERT_TRUE(pump.process);
    EXPECT_EQ(WaitForSingleObject(pump.process, 0), WAIT_OBJECT_0) << "7z.exe still runs";
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeProcess(pump.process, &code));
    EXPECT_EQ(code, 0u);
}

// pomu ended from outside (Task Manager, a crash, TerminateProcess): its 7z.exe ends with it.
TEST_F(RunnerWin32Test, ArchiverEndsWithTheProgramThatStartedIt) {
    constexpr const wchar_t* kChildVariable = L"POMU_RUNNER_CHILD_REPORT";
    wchar_t report[MAX_PATH] = {};
    if (GetEnvironmentVariableW(kChildVariable, report, MAX_PATH) > 0) {
        // The child: a slow archiver, its process id told through a file, then a wait to die.
        std::optional<platform::RunningTool> tool = platform::startTool(slowCompression(20), false);
        const DWORD id = tool ? GetProcessId(tool->impl().process.get()) : 0;
        const NativeString written = NativeString(report) + L".part";
        test::writeFile(written, std::to_string(id));
        MoveFileW(written.c_str(), report);
        Sleep(INFINITE);
    }
    const NativeString reportFile = scratch.file("archiver.id");
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring line =
        L"\"" + std::wstring(self) +
        L"\" --gtest_filter=RunnerWin32Test.ArchiverEndsWithTheProgramThatStartedIt";
    SetEnvironmentVariableW(kChildVariable, reportFile.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &info);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    ASSERT_TRUE(started);
    const platform::win32::KernelHandle child(info.hProcess);
    const platform::win32::KernelHandle childThread(info.hThread);
    std::optional<std::string> id;
    for (const Clock::time_point until = Clock::now() + 60s; !id && Clock::now() < until;) {
        id = test::readFile(reportFile);
        if (!id) Sleep(50);
    }
    ASSERT_TRUE(id) << "the child never started its archiver";
    const platform::win32::KernelHandle archiver(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, DWORD(std::stoul(*id))));
    ASSERT_TRUE(archiver.valid());
    EXPECT_EQ(WaitForSingleObject(archiver.get(), 0), DWORD(WAIT_TIMEOUT));

    TerminateProcess(child.get(), 1);
    EXPECT_EQ(WaitForSingleObject(child.get(), 5000), DWORD(WAIT_OBJECT_0));
    const bool ended = WaitForSingleObject(archiver.get(), 2000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended) << "7z.exe outlived the program that started it";
    if (!ended) TerminateProcess(archiver.get(), 1);
}

TEST_F(RunnerWin32Test, HiddenToolAskingForAPasswordEndsAtOnce) {
    test::writeFile(scratch.path() / "secret.txt", "secret");
    const NativeString archive = scratch.file("locked.7z");
    ASSERT_EQ(test::runArchiver({L"a", L"-pSECRET", archive, scratch.file("secret.txt")}).exitCode,
              0);
    const std::optional<ToolCommand> command =
        extractCommand(test::archiverFolder(), archive, scratch.file("out") + L"\\");
    ASSERT_TRUE(command);
    window.after(20000, [&] { runState.forceExit = true; });  // a hang fails instead of stalling
    const ToolRun result = run(*command);
    EXPECT_FALSE(result.forced) << "the tool waited for an answer";
    ASSERT_TRUE(result.exitCode);
    EXPECT_NE(*result.exitCode, 0);
    EXPECT_LT(elapsed, 5s);
}

// An inheritable handle of this program never reaches the tool, shown or hidden.
TEST_F(RunnerWin32Test, ToolInheritsNoHandleOfThisProgram) {
    const NativeString file = scratch.file("held.txt");
    for (const bool show : {false, true}) {
        SCOPED_TRACE(show ? "shown" : "hidden");
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        const HANDLE held = CreateFileW(file.c_str(), GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::optional<platform::RunningTool> tool = platform::startTool(slowCompression(30), show);
        CloseHandle(held);
        ASSERT_TRUE(tool);
        // With no copy in the tool, nobody holds the file any more.
        const HANDLE again = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the tool inherited the handle";
        if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
        EXPECT_FALSE(tool->hasEnded());
        tool->terminate();
        while (!tool->hasEnded()) platform::handlePendingEvents(*tool);
        EXPECT_FALSE(tool->exitCode()) << "a killed tool has no exit code of its own";
    }
}

}  // namespace
}  // namespace pomu

#endif  // _WIN32

// pomu.exe as a whole process under Wine: one instance, ESC, the settings file, and a screenshot.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "convert/archiver.h"
#include "platform/win32/unique_handle.h"
#include "support/test_files.h"

namespace pomu::test {
namespace {

using platform::win32::KernelHandle;
using namespace std::chrono_literals;

constexpr auto kPatience = 30s;

// Under Wine the Unix root is drive Z:.
NativeString fromUnix(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return native(path);
}

// A process this test started; ended by force if a test leaves it running.
class Process {
  public:
    Process(KernelHandle process, DWORD id) : process_(std::move(process)), id_(id) {}
    Process(Process&&) = default;
    ~Process() {
        if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 255);
            WaitForSingleObject(process_.get(), 5000);
        }
    }
    DWORD id() const { return id_; }
    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once the process has ended within the time; empty while it runs.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds limit = kPatience) const {
        if (WaitForSingleObject(process_.get(), DWORD(limit.count())) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

  private:
    KernelHandle process_;
    DWORD id_;
};

std::optional<Process> start(const NativeString& line, const NativeString& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return std::nullopt;
    }
    CloseHandle(info.hThread);
    return Process(KernelHandle(info.hProcess), info.dwProcessId);
}

// Runs a Unix command through /bin/sh. Wine does not wait for a Unix program, so the command
// must leave a file behind to wait for.
bool startUnix(const std::string& command) {
    const NativeString line = L"Z:\\bin\\sh -c \"" + native(command) + L"\"";
    return start(line, L"").has_value();
}

// The file's contents once it exists, within the time.
std::optional<std::string> waitForFile(const fs::path& path) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(path)) return readFile(path);
        std::this_thread::sleep_for(50ms);
    }
    return std::nullopt;
}

struct WindowSearch {
    DWORD process;
    std::function<bool(HWND)> wanted;
    HWND found = nullptr;
};

HWND findTopLevel(DWORD process, std::function<bool(HWND)> wanted) {
    WindowSearch search{process, std::move(wanted)};
    EnumWindows(
        [](HWND window, LPARAM pointer) {
            auto& search = *reinterpret_cast<WindowSearch*>(pointer);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != search.process || !search.wanted(window)) return TRUE;
            search.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForTopLevel(const Process& process, std::function<bool(HWND)> wanted) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < end && process.running()) {
        if (HWND window = findTopLevel(process.id(), wanted)) return window;
        std::this_thread::sleep_for(50ms);
    }
    return nullptr;
}

bool isMarked(HWND window) {
    return reinterpret_cast<ULONG_PTR>(GetPropW(window, L"pomu")) == 1;
}

bool isOtherDialog(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return IsWindowVisible(window) && std::wstring(name) == L"#32770" && !isMarked(window);
}

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A folder with its own pomu.exe and settings file, and the archiver files asked for.
class ProgramFolder {
  public:
    explicit ProgramFolder(const std::vector<NativeView>& archiverFiles) {
        fs::copy_file(fromUnix(POMU_EXE_UNIX_PATH), scratch_.path() / "pomu.exe");
        for (const NativeView file : archiverFiles) {
            fs::copy_file(fs::path(archiverFolder()) / file, scratch_.path() / file);
        }
    }
    NativeString folder() const { return scratch_.folder(); }
    fs::path settings() const { return scratch_.path() / "pomu.ini"; }
    void writeSettings(const NativeString& dir) {
        writeFile(settings(), "[SystemSetting]\r\ndir=" + utf8(dir) + "\r\n");
    }
    std::optional<Process> startPomu() const {
        return start(L"\"" + scratch_.file("pomu.exe") + L"\"", folder());
    }

  private:
    ScratchFolder scratch_;
};

const std::vector<NativeView> kBothArchiverFiles = {archiver::kProgramName, archiver::kLibraryName};

// The whole screen as a PNG, and the number of colours inside the rectangle.
std::optional<int> screenshotColours(const std::string& png, const RECT& area) {
    const std::string counted = png + ".colours";
    std::error_code error;
    fs::remove(fromUnix(png), error);
    fs::remove(fromUnix(counted), error);
    const std::string crop = std::to_string(area.right - area.left) + "x" +
                             std::to_string(area.bottom - area.top) + "+" +
                             std::to_string(area.left) + "+" + std::to_string(area.top);
    // The count appears at once when done (renamed into place), or as nothing on a failure.
    if (!startUnix("import -window root '" + png + "' && convert '" + png + "' -crop " + crop +
                   " +repage -format %k info: > '" + counted + ".part'; mv '" + counted +
                   ".part' '" + counted + "'")) {
        return std::nullopt;
    }
    const std::optional<std::string> text = waitForFile(fromUnix(counted));
    if (!text || text->empty()) return std::nullopt;
    return std::stoi(*text);
}

TEST(WholeProgram, secondStartEndsWhileTheFirstRunsAndEscapeClosesItWithItsSettingsSaved) {
    ProgramFolder program(kBothArchiverFiles);
    program.writeSettings(program.folder());
    std::optional<Process> first = program.startPomu();
    ASSERT_TRUE(first);
    const HWND window = waitForTopLevel(*first, isMarked);
    ASSERT_NE(window, nullptr) << "the first start shows its marked window";
    EXPECT_EQ(textOf(window), L"pomu");

    // A look at the window as the screen shows it, kept for people to see.
    std::this_thread::sleep_for(1s);
    const std::string folder = POMU_ARTIFACT_UNIX_DIR;
    fs::create_directories(fromUnix(folder));
    RECT area{};
    GetWindowRect(window, &area);
    const std::optional<int> colours = screenshotColours(folder + "/pomu-window.png", area);
    ASSERT_TRUE(colours) << "screenshot in " << folder;
    EXPECT_GT(*colours, 1) << "the window area is not blank";

    // Something else in front, so that the second start has to bring the first one forward.
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 80,
                                       40, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);

    std::optional<Process> second = program.startPomu();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(GetForegroundWindow(), window) << "the running window came to the front";
    DestroyWindow(other);
    EXPECT_TRUE(first->running());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(findTopLevel(second->id(), [](HWND) { return true; }), nullptr);

    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    EXPECT_EQ(first->waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(readFile(program.settings()).value_or(""),
              "[SystemSetting]\r\ndir=" + utf8(program.folder()) +
                  "\r\ndeleteAlready=OFF\r\ndeleteProcessed=OFF\r\ndiv100MB=OFF\r\ndiv1GB=OFF"
                  "\r\nzip=OFF\r\n");
}

TEST(WholeProgram, secondStartEndsWhileTheFirstStillAsksForTheFolder) {
    ProgramFolder program({});
    const NativeString missing = program.folder() + L"missing\\";
    program.writeSettings(missing);
    std::optional<Process> first = program.startPomu();
    ASSERT_TRUE(first);
    const HWND chooser = waitForTopLevel(*first, isOtherDialog);
    ASSERT_NE(chooser, nullptr) << "the folder chooser is open";
    EXPECT_EQ(findTopLevel(first->id(), isMarked), nullptr) << "not marked during set-up";

    std::optional<Process> second = program.startPomu();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->waitForExit(), std::optional<DWORD>(0)) << "no second window beside it";
    EXPECT_TRUE(first->running());

    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    const HWND inert = waitForTopLevel(*first, isMarked);
    ASSERT_NE(inert, nullptr) << "the inert window is shown and marked";
    PostMessageW(inert, WM_CLOSE, 0, 0);
    EXPECT_EQ(first->waitForExit(), std::optional<DWORD>(0));
    const std::string saved = readFile(program.settings()).value_or("");
    EXPECT_NE(saved.find("dir=" + utf8(missing) + "\r\n"), std::string::npos) << saved;
}

TEST(WholeProgram, missingLibraryIsReportedAndTheProgramEndsWithZero) {
    ProgramFolder program({archiver::kProgramName});
    program.writeSettings(program.folder());
    std::optional<Process> first = program.startPomu();
    ASSERT_TRUE(first);
    const HWND box = waitForTopLevel(*first, isOtherDialog);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(textOf(box), L"pomu");
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), L"7z.dll not found");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(first->waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(findTopLevel(first->id(), [](HWND) { return true; }), nullptr);
}

}  // namespace
}  // namespace pomu::test

// pomu.exe as a whole process under Wine: one instance, ESC, settings, screenshot, a kill mid-run.
#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "convert/archiver.h"
#include "fs/workspace.h"
#include "platform/win32/unique_handle.h"
#include "res/resource.h"
#include "support/environment.h"
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
    // As Task Manager ends a process: no chance to clean up.
    bool kill() const {
        return TerminateProcess(process_.get(), 1) &&
               WaitForSingleObject(process_.get(), 5000) == WAIT_OBJECT_0;
    }
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
    void writeSettings(const NativeString& dir, const std::string& more = "") {
        writeFile(settings(), "[SystemSetting]\r\ndir=" + utf8(dir) + "\r\n" + more);
    }
    std::optional<Process> startPomu(const NativeString& files = {},
                                     const NativeString& in = {}) const {
        return start(L"\"" + scratch_.file("pomu.exe") + L"\"" + files, in.empty() ? folder() : in);
    }
    // The log once it holds this many batch lines (each batch's comes last), within the time.
    std::string logAfterBatches(std::size_t count) const {
        const auto end = std::chrono::steady_clock::now() + kPatience;
        for (;;) {
            std::string text = readFile(scratch_.path() / "pomu.log").value_or("");
            std::size_t found = 0;
            for (std::size_t at = 0; (at = text.find("\tbatch\t", at)) != text.npos; ++at) ++found;
            if (found >= count || std::chrono::steady_clock::now() >= end) return text;
            std::this_thread::sleep_for(100ms);
        }
    }

  private:
    ScratchFolder scratch_;
};

// The archivers the process started that still run.
std::vector<DWORD> childrenNamed(DWORD parent, NativeView name) {
    std::vector<DWORD> found;
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, name.data()) == 0) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

// A drop of one file on the window of another process. A drop block made here means nothing
// there, so the block is written into that process's memory, where the drop functions take
// it as fixed memory.
bool dropOn(HWND window, DWORD process, const NativeString& path) {
    std::vector<char> block(sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(header + 1));
    const KernelHandle target(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process));
    void* remote = target.valid() ? VirtualAllocEx(target.get(), nullptr, block.size(),
                                                   MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                                  : nullptr;
    return remote &&
           WriteProcessMemory(target.get(), remote, block.data(), block.size(), nullptr) &&
           PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

bool waitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

const std::vector<NativeView> kBothArchiverFiles = {archiver::kProgramName, archiver::kLibraryName};

// The rectangle of the screen as a PNG, and the number of colours in it.
std::optional<int> screenshotColours(const std::string& png, const RECT& area) {
    const std::string counted = png + ".colours";
    const std::string screen = png + ".screen.png";
    std::error_code error;
    fs::remove(fromUnix(png), error);
    fs::remove(fromUnix(counted), error);
    const std::string crop = std::to_string(area.right - area.left) + "x" +
                             std::to_string(area.bottom - area.top) + "+" +
                             std::to_string(area.left) + "+" + std::to_string(area.top);
    // The count appears at once when done (renamed into place), or as nothing on a failure.
    if (!startUnix("import -window root '" + screen + "' && convert '" + screen + "' -crop " +
                   crop + " +repage '" + png + "' && rm '" + screen + "' && convert '" + png +
                   "' -format %k info: > '" + counted + ".part'; mv '" + counted + ".part' '" +
                   counted + "'")) {
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
                  "\r\nzip=OFF\r\nkeepDate=ON\r\n");
}

// Files dragged onto pomu.exe (or sent to it) are converted; a second start with a file, named
// relative to its own folder, hands it to the running window and ends with 0; a dropped folder
// is asked about once (No converts none of it, Yes all), and one without archives says so.
TEST(WholeProgram, filesComeFromTheCommandLineASecondStartAndDroppedFolders) {
    ProgramFolder program(kBothArchiverFiles);
    program.writeSettings(program.folder());
    ScratchFolder files;
    fs::create_directories(files.path() / "Library" / "Sub");
    fs::create_directories(files.path() / "Empty");
    writeFile(files.path() / "a.txt", noise(3000));
    writeFile(files.path() / "Empty" / "notes.txt", "no archive");
    for (const char* name : {"first.zip", "second.zip", "Library\\b.zip", "Library\\Sub\\a.zip"}) {
        ASSERT_EQ(runArchiver({L"a", L"-tzip", files.file(name), files.file("a.txt")}).exitCode,
                  std::optional<DWORD>(0));
    }
    std::optional<Process> pomu = program.startPomu(L" \"" + files.file("first.zip") + L"\"");
    ASSERT_TRUE(pomu);
    const HWND window = waitForTopLevel(*pomu, isMarked);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(program.logAfterBatches(1).find("\tconverted\t\t" + utf8(files.file("first.zip"))),
              std::string::npos);
    std::optional<Process> second = program.startPomu(L" second.zip", files.folder());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->waitForExit(), std::optional<DWORD>(0));
    EXPECT_NE(program.logAfterBatches(2).find("\tconverted\t\t" + utf8(files.file("second.zip"))),
              std::string::npos);

    const struct {
        int answer;
        std::string logged;
    } answers[] = {
        {IDNO, "\tnot converted\tfolder, not an archive\t" + utf8(files.file("Library"))},
        {IDYES, "\tconverted\t\t" + utf8(files.file("Library\\Sub\\a.zip"))}};
    std::size_t batches = 2;
    for (const auto& a : answers) {
        ASSERT_TRUE(dropOn(window, pomu->id(), files.file("Library")));
        const HWND question = waitForTopLevel(*pomu, isOtherDialog);
        ASSERT_NE(question, nullptr) << "no question";
        EXPECT_EQ(textOf(GetDlgItem(question, 0xFFFF)),
                  L"Convert the 2 archives in Library and its subfolders?\r\n\r\n2 .zip");
        PostMessageW(question, WM_COMMAND, a.answer, 0);
        EXPECT_NE(program.logAfterBatches(++batches).find(a.logged), std::string::npos);
    }
    for (const char* name : {"first.7z", "second.7z", "Library\\b.7z", "Library\\Sub\\a.7z"}) {
        EXPECT_TRUE(archiveTests(files.file(name))) << name;
    }
    ASSERT_TRUE(dropOn(window, pomu->id(), files.file("Empty")));
    EXPECT_NE(program.logAfterBatches(++batches).find("\tskipped\tno archives in Empty\t"),
              std::string::npos);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(pomu->waitForExit(), std::optional<DWORD>(0));
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
    // Files that no window takes are not reported as handed over.
    std::optional<Process> withFiles = program.startPomu(L" a.zip");
    ASSERT_TRUE(withFiles);
    EXPECT_EQ(withFiles->waitForExit(), std::optional<DWORD>(1));
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

// pomu.exe ended from outside (Task Manager, a crash) in the middle of a run: its 7z.exe ends
// with it, and the next start clears the workspace and moves the half-written output to the
// Recycle Bin, leaving what stood there before.
TEST(WholeProgram, aKilledRunLeavesNoArchiverAndTheNextStartUndoesIt) {
    ScratchFolder temp;
    const TempFolderOverride override(temp.folder());
    const NativeString workspace = workspacePath().value();
    const NativeString note = workspace.substr(0, workspace.size() - 1) + L".note";
    // Hex digits are slow to pack at level 9, and, packed with PPMd, slow to unpack too: each
    // phase lasts well beyond the 2 s an archiver is given to end with pomu.
    const auto zipOfDigits = [&](const char* name, std::size_t size, const NativeString& method) {
        std::string digits;
        for (const unsigned char c : noise(size)) digits += "0123456789abcdef"[c >> 4];
        writeFile(temp.path() / "digits.txt", digits);
        const NativeString zip = temp.file(name);
        const ArchiverRun made =
            runArchiver({L"a", L"-tzip", method, L"-mx=9", zip, temp.file("digits.txt")});
        return made.exitCode == std::optional<DWORD>(0) ? zip : NativeString();
    };
    const NativeString slowToUnpack = zipOfDigits("unpack.zip", 8'000'000, L"-mm=PPMd");
    const NativeString slowToPack = zipOfDigits("pack.zip", 12'000'000, L"-mm=Copy");
    ASSERT_FALSE(slowToUnpack.empty() || slowToPack.empty());

    const auto has = [](const fs::path& path) { return [path] { return fs::exists(path); }; };
    const auto extracting = [&] {
        std::error_code error;
        return !fs::is_empty(workspace, error) && !error && !fs::exists(note);
    };
    struct Case {
        const char* when;
        const NativeString& made;
        std::string settings;
        std::function<bool()> killNow;  // empty: once the output to move appears
        std::string moved;              // the half-written output the next start moves away
        std::string stale;              // an older file in its place that must stay
        bool barRises = false;          // the window's bar is seen moving before the kill
    };
    const Case cases[] = {
        {"during extraction", slowToUnpack, "level=9\r\n", extracting, "", ""},
        {"during compression", slowToPack, "level=9\r\n", {}, "killed.7z", "", true},
        // 7-Zip writes the first volume only when it is done, so there is nothing to move yet.
        {"during a split compression, beside an older volume", slowToPack,
         "level=9\r\ndiv100MB=ON\r\n", has(note), "", "killed.7z.003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        ProgramFolder program(kBothArchiverFiles);
        program.writeSettings(program.folder(), c.settings);
        const fs::path folder = program.folder();
        const NativeString source = program.folder() + L"killed.zip";
        fs::copy_file(c.made, source);
        const std::optional<std::string> sourceBytes = readFile(source);
        if (!c.stale.empty()) {
            writeFile(folder / c.stale, "the user's own");
            fs::last_write_time(folder / c.stale,
                                fs::file_time_type::clock::now() - std::chrono::hours(1));
        }
        std::optional<Process> pomu = program.startPomu();
        ASSERT_TRUE(pomu);
        const HWND window = waitForTopLevel(*pomu, isMarked);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(dropOn(window, pomu->id(), source));
        const std::function<bool()> killNow = c.killNow ? c.killNow : has(folder / c.moved);
        std::vector<DWORD> archivers;
        // Read from outside, as a user sees it: the bar along the window's bottom edge.
        std::vector<LRESULT> positions;
        const auto barHasRisen = [&] {
            if (!c.barRises) return true;
            const HWND bar = GetDlgItem(window, IDC_PROGRESS);
            if (bar == nullptr || !IsWindowVisible(bar)) return false;
            const LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
            if (positions.empty() || positions.back() != position) positions.push_back(position);
            return positions.size() >= 2 && positions.back() > positions.front();
        };
        ASSERT_TRUE(waitUntil([&] {
            return barHasRisen() && killNow() &&
                   !(archivers = childrenNamed(pomu->id(), archiver::kProgramName)).empty();
        })) << "the run ended before it could be killed";
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << "the bar went back";
        if (c.barRises) {
            // The window mid-run as the screen shows it, kept for people to see.
            RECT area{};
            GetWindowRect(window, &area);
            const std::string folder = POMU_ARTIFACT_UNIX_DIR;
            fs::create_directories(fromUnix(folder));
            const std::optional<int> colours =
                screenshotColours(folder + "/pomu-running.png", area);
            EXPECT_TRUE(colours && *colours > 1) << "no screenshot of the running window";
        }
        std::vector<KernelHandle> handles;
        for (const DWORD id : archivers) handles.emplace_back(OpenProcess(SYNCHRONIZE, FALSE, id));
        ASSERT_TRUE(pomu->kill());
        for (const KernelHandle& archiver : handles) {
            EXPECT_EQ(WaitForSingleObject(archiver.get(), 2000), DWORD(WAIT_OBJECT_0))
                << "7z.exe outlived pomu";
        }
        if (!c.moved.empty()) {
            ASSERT_TRUE(fs::exists(folder / c.moved));
        }

        std::optional<Process> next = program.startPomu();
        ASSERT_TRUE(next);
        const HWND nextWindow = waitForTopLevel(*next, isMarked);
        ASSERT_NE(nextWindow, nullptr);
        EXPECT_FALSE(fs::exists(workspace)) << "the next start left the workspace";
        EXPECT_FALSE(fs::exists(note));
        for (const char* output : {"killed.7z", "killed.7z.001"}) {
            EXPECT_FALSE(fs::exists(folder / output)) << "a half-written " << output;
        }
        if (!c.moved.empty()) {
            EXPECT_TRUE(trashedBytes(folder / c.moved)) << "moved to the Recycle Bin";
        }
        if (!c.stale.empty()) {
            EXPECT_EQ(readFile(folder / c.stale), "the user's own");
        }
        EXPECT_EQ(readFile(source), sourceBytes);
        PostMessageW(nextWindow, WM_CLOSE, 0, 0);
        EXPECT_EQ(next->waitForExit(), std::optional<DWORD>(0));
    }
}

}  // namespace
}  // namespace pomu::test

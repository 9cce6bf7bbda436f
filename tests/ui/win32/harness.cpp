// Timers, hooks and drop blocks that drive the real main window the way the shell and a user do.
#include "ui/win32/harness.h"

#include <algorithm>

#include "res/resource.h"
#include "ui/win32/main_window.h"

// After windows.h, which the harness brings.
#include <commctrl.h>

namespace pomu::test::win32 {
namespace {

// Thread timers and hooks carry no context; the tests run on one thread, one of each at a time.
DialogAnswerer* activeAnswerer = nullptr;
StatusRecorder* activeRecorder = nullptr;
WhileBusy* activeWhileBusy = nullptr;
MenuProbe* activeProbe = nullptr;

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(std::size_t(length) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collectChild(HWND child, LPARAM seenPointer) {
    auto& seen = *reinterpret_cast<SeenDialog*>(seenPointer);
    if (!IsWindowVisible(child)) return TRUE;
    const std::wstring name = className(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(name.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0) {
        seen.hasIcon = true;
    }
    if (_wcsicmp(name.c_str(), L"Button") == 0) seen.buttons.push_back(GetDlgCtrlID(child));
    seen.allTexts.push_back(windowText(child));
    return TRUE;
}

void CALLBACK answererTick(HWND, UINT, UINT_PTR, DWORD) {
    if (activeAnswerer != nullptr) activeAnswerer->onTick();
}

LRESULT CALLBACK recordSetText(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SETTEXT && activeRecorder != nullptr) {
        activeRecorder->record(call->hwnd, reinterpret_cast<const wchar_t*>(call->lParam));
    }
    if (code == HC_ACTION && call->message == PBM_SETPOS && activeRecorder != nullptr) {
        activeRecorder->recordPosition(call->hwnd, int(call->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK whileBusyTick(HWND, UINT, UINT_PTR, DWORD) {
    if (activeWhileBusy != nullptr) activeWhileBusy->onTick();
}

void CALLBACK probeTick(HWND, UINT, UINT_PTR, DWORD) {
    if (activeProbe != nullptr) activeProbe->onTick();
}

void CALLBACK endLoop(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(kLoopTimedOut);
}

struct DialogSearch {
    std::vector<HWND> found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM searchPointer) {
    if (IsWindowVisible(window) && className(window) == L"#32770" &&
        reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC)) !=
            ui::mainWindowProcedure) {
        reinterpret_cast<DialogSearch*>(searchPointer)->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

SettingsFile::SettingsFile() {
    path_ = fs::path(platform::settingsFilePath().value());
    original_ = readFile(path_);
}

SettingsFile::~SettingsFile() {
    std::error_code error;
    if (original_) {
        writeFile(path_, *original_);
    } else {
        fs::remove(path_, error);
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());
}

void SettingsFile::write(const std::string& utf8Text) {
    writeFile(path_, utf8Text);
    // The profile functions keep the file they read last; make them read it again.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());
}

std::optional<std::string> SettingsFile::read() const {
    return readFile(path_);
}

std::string settingsText(const NativeString& folder, const std::vector<std::string>& lines) {
    std::string text = "[SystemSetting]\r\ndir=" + utf8(folder) + "\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

DialogAnswerer::DialogAnswerer(Answer answer) : answer_(std::move(answer)) {
    activeAnswerer = this;
    timer_ = SetTimer(nullptr, 0, 20, answererTick);
}

DialogAnswerer::~DialogAnswerer() {
    KillTimer(nullptr, timer_);
    activeAnswerer = nullptr;
}

void DialogAnswerer::onTick() {
    DialogSearch search;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) {
        if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end()) continue;
        answered_.push_back(dialog);
        SeenDialog seen;
        seen.window = dialog;
        seen.caption = windowText(dialog);
        if (HWND text = GetDlgItem(dialog, 0xFFFF)) {
            seen.messageBox = true;
            seen.text = windowText(text);
        }
        EnumChildWindows(dialog, collectChild, reinterpret_cast<LPARAM>(&seen));
        std::sort(seen.buttons.begin(), seen.buttons.end());
        const int command = answer_(seen);
        seen_.push_back(std::move(seen));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, command)));
    }
}

int answerToGoOn(const SeenDialog& dialog) {
    if (!dialog.messageBox) return IDCANCEL;
    return std::find(dialog.buttons.begin(), dialog.buttons.end(), IDNO) != dialog.buttons.end()
               ? IDNO
               : IDOK;
}

MenuProbe::MenuProbe() {
    activeProbe = this;
    timer_ = SetTimer(nullptr, 0, 20, probeTick);
}

MenuProbe::~MenuProbe() {
    KillTimer(nullptr, timer_);
    activeProbe = nullptr;
}

void MenuProbe::onTick() {
    const HWND menu = FindWindowW(L"#32768", nullptr);
    if (menu == nullptr || !IsWindowVisible(menu)) return;
    RECT at{};
    GetWindowRect(menu, &at);
    if (!opened_) opened_ = at;
    EndMenu();
}

StatusRecorder::StatusRecorder(HWND mainWindow)
    : status_(GetDlgItem(mainWindow, IDC_STATUS)), bar_(GetDlgItem(mainWindow, IDC_PROGRESS)) {
    activeRecorder = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, recordSetText, nullptr, GetCurrentThreadId());
}

StatusRecorder::~StatusRecorder() {
    UnhookWindowsHookEx(hook_);
    activeRecorder = nullptr;
}

void StatusRecorder::record(HWND window, const wchar_t* text) {
    if (window == status_ && text != nullptr) texts_.emplace_back(text);
}

void StatusRecorder::recordPosition(HWND window, int position) {
    if (window == bar_) positions_.push_back(position);
}

WhileBusy::WhileBusy(std::function<void()> action) : action_(std::move(action)) {
    activeWhileBusy = this;
    timer_ = SetTimer(nullptr, 0, 10, whileBusyTick);
}

WhileBusy::~WhileBusy() {
    KillTimer(nullptr, timer_);
    activeWhileBusy = nullptr;
}

void WhileBusy::onTick() {
    if (ran_ || !theRunState().busy) return;
    ran_ = true;  // before the action: it may run modal loops that tick again
    KillTimer(nullptr, timer_);
    action_();
}

HGLOBAL makeDrop(const std::vector<NativeString>& paths) {
    std::size_t chars = 1;
    for (const NativeString& path : paths) chars += path.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
    for (const NativeString& path : paths) {
        std::copy(path.begin(), path.end(), names);
        names += path.size() + 1;  // each name ends in the NUL that GHND put there
    }
    GlobalUnlock(memory);
    return memory;
}

bool dropReleased(HGLOBAL drop) {
    return GlobalSize(drop) == 0;
}

int runLoopFor(const HWND& mainWindow, HACCEL accelerators, int milliseconds) {
    const UINT_PTR limit = SetTimer(nullptr, 0, UINT(milliseconds), endLoop);
    const int code = ui::runEventLoop(mainWindow, accelerators);
    KillTimer(nullptr, limit);
    return code;
}

void drainMessages() {
    MSG message;
    for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message != WM_QUIT) DispatchMessageW(&message);
    }
}

std::wstring statusText(HWND mainWindow) {
    return windowText(GetDlgItem(mainWindow, IDC_STATUS));
}

NativeString makeArchive(const ScratchFolder& folder, const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& files,
                         const std::vector<NativeString>& extra) {
    // A short folder name, so that long archive names stay within the path limit.
    const fs::path content = folder.path() / "content";
    fs::create_directories(content);
    for (const auto& [file, bytes] : files) writeFile(content / file, bytes);
    const NativeString archive = folder.file(name);
    NativeString everything = content.native();
    everything += L"\\*";
    const NativeString type = L"-t" + fs::path(name).extension().native().substr(1);
    std::vector<NativeString> arguments = {L"a", type, archive, everything};
    if (type != L"-ttar") arguments.push_back(L"-mx=0");
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const ArchiverRun run = runArchiver(arguments);
    EXPECT_TRUE(run.exitCode && *run.exitCode == 0) << name;
    fs::remove_all(content);
    return archive;
}

void MainWindowTest::SetUp() {
    theOptions() = ConversionOptions{};
    theRunState() = RunState{};
    state_ = std::make_unique<ui::WindowState>();
    accelerators_ = ui::createAccelerators();
    drainMessages();
}

void MainWindowTest::TearDown() {
    if (state_->window != nullptr) DestroyWindow(state_->window);
    drainMessages();
    state_.reset();
    theOptions() = ConversionOptions{};
    theRunState() = RunState{};
}

HWND MainWindowTest::open(const std::string& settings) {
    settings_.write(settings);
    return ui::createMainWindow(GetModuleHandleW(nullptr), *state_);
}

bool MainWindowTest::checked(UINT commandId) const {
    const UINT state = GetMenuState(state_->optionsMenu, commandId, MF_BYCOMMAND);
    return state != UINT(-1) && (state & MF_CHECKED) != 0;
}

HGLOBAL MainWindowTest::drop(const std::vector<NativeString>& paths) {
    const HGLOBAL block = makeDrop(paths);
    send(WM_DROPFILES, reinterpret_cast<WPARAM>(block));
    return block;
}

}  // namespace pomu::test::win32

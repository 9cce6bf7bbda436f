// The report tooltip over the whole window, FlashWindowEx, and the log opened by the shell.
#include "ui/win32/batch_report.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

namespace pomu::ui {
namespace {

// Wide enough for a file name and its reason on one line; the lines break where the text does.
constexpr LPARAM kTipWidth = 600;
// Long enough to read ten lines.
constexpr LPARAM kTipShownMilliseconds = 30000;

// The size comctl32 before version 6 accepts too (without a manifest that is the one loaded).
TOOLINFOW toolFor(HWND window) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    return tool;
}

// Made once per window; as a window the dialog owns, it is destroyed with the dialog.
HWND tipWindow(WindowState& state) {
    if (state.reportTip != nullptr && IsWindow(state.reportTip)) return state.reportTip;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const auto instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(state.window, GWLP_HINSTANCE));
    // TTS_NOPREFIX: an ampersand in a file name is shown, not taken for an accelerator.
    state.reportTip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, state.window, nullptr, instance, nullptr);
    if (state.reportTip == nullptr) return nullptr;
    SendMessageW(state.reportTip, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
    SendMessageW(state.reportTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, kTipShownMilliseconds);
    return state.reportTip;
}

void flashWhenInBackground(HWND window) {
    if (GetForegroundWindow() == window) return;
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = window;
    flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
}

}  // namespace

void clearBatchReport(WindowState& state) {
    if (state.window == nullptr || state.reportTip == nullptr || !IsWindow(state.reportTip)) {
        return;
    }
    TOOLINFOW tool = toolFor(state.window);
    SendMessageW(state.reportTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void showBatchReport(WindowState& state) {
    if (state.window == nullptr) return;
    clearBatchReport(state);
    NativeString text = tooltipText(state.batches.lastReport());
    const HWND tip = text.empty() ? nullptr : tipWindow(state);
    if (tip != nullptr) {
        TOOLINFOW tool = toolFor(state.window);
        tool.lpszText = text.data();
        SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    flashWhenInBackground(state.window);
    const std::vector<FileReport>& files = state.batches.lastReport().files;
    if (std::any_of(files.begin(), files.end(), [](const FileReport& file) {
            return file.outcome == FileOutcome::notConverted;
        })) {
        state.taskbar.showFailure();
    }
}

void openLog(const WindowState& state) {
    const std::optional<NativeString>& log = state.batches.logPath();
    if (state.window == nullptr || !log || !platform::pathExists(*log)) return;
    ShellExecuteW(state.window, L"open", log->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace pomu::ui

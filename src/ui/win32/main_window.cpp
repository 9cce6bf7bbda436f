// The main window's dialog procedure, its set-up, and showing, marking and decorating it.
#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "options/settings.h"
#include "res/resource.h"
#include "ui/win32/archiver_location.h"
#include "ui/win32/batch_report.h"
#include "ui/win32/closing.h"
#include "ui/win32/drop_batch.h"
#include "ui/win32/options_menu.h"

namespace pomu::ui {
namespace {

void refuseToRun(HWND window, const wchar_t* text) {
    MessageBoxW(window, text, kCaption, MB_OK | MB_ICONERROR);
    SendMessageW(window, WM_CLOSE, 0, 0);
}

IconHandle loadIcon(HINSTANCE instance, int id, int size) {
    return IconHandle(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_LOADTRANSPARENT)));
}

// A thin bar along the bottom edge of the client area, hidden until a batch runs. Made in code
// so the dialog template stays as it is.
void createProgressBar(HWND window) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RECT client{};
    GetClientRect(window, &client);
    RECT unitsHigh{0, 0, 0, 2};  // two dialog units
    MapDialogRect(window, &unitsHigh);
    const int height = std::max(3, int(unitsHigh.bottom));
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    const HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD, 0,
                                     client.bottom - height, client.right, height, window,
                                     reinterpret_cast<HMENU>(IDC_PROGRESS), instance, nullptr);
    if (bar != nullptr) SendMessageW(bar, PBM_SETRANGE32, 0, kProgressSteps);
}

}  // namespace

WindowState* windowStateOf(HWND window) {
    return reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, DWLP_USER));
}

void setUpWindow(WindowState& state) {
    const HWND window = state.window;
    ConversionOptions& options = theOptions();
    loadSettings(options);
    switch (locateArchiver(window, options, state.folderFromWorkingFolder)) {
        case ArchiverCheck::found:
            break;
        case ArchiverCheck::chooserCancelled:
            return;  // inert: no drops, no menu; closing still saves the folder as loaded
        case ArchiverCheck::programMissing:
            refuseToRun(window, L"7z.exe not found");
            return;
        case ArchiverCheck::libraryMissing:
            refuseToRun(window, L"7z.dll not found");
            return;
    }
    DragAcceptFiles(window, TRUE);
    state.batches.setPasswordQuestion(&state.passwordDialog);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    if (loadOptionsMenu(state, instance)) putCheckMarks(state.optionsMenu, options);
}

INT_PTR CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<WindowState*>(lParam);
        if (state == nullptr) return FALSE;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        state->window = window;
        state->setUpRan = true;
        createProgressBar(window);
        setUpWindow(*state);
        return FALSE;  // no control takes the default focus
    }
    WindowState* state = windowStateOf(window);
    if (state == nullptr || state->window != window) return FALSE;
    if (message == state->taskbarButtonCreated) {
        state->taskbar.created(window);
        return FALSE;
    }
    switch (message) {
        case WM_CONTEXTMENU:
            showOptionsMenu(*state, lParam);
            break;
        case WM_COMMAND:
            handleCommand(*state, LOWORD(wParam));
            break;
        case WM_DROPFILES:
            handleDrop(*state, reinterpret_cast<HDROP>(wParam));
            break;
        case WM_COPYDATA:
            // The one answer the sender waits for: whether its files were taken.
            SetWindowLongPtrW(window, DWLP_MSGRESULT,
                              handleCopyData(*state, reinterpret_cast<COPYDATASTRUCT*>(lParam)));
            return TRUE;
        case kHandedFilesMessage:
            handleHandedFiles(*state);
            break;
        case WM_TIMER:
            if (wParam == kSearchTimer) state->folderDrops.onTimer();
            break;
        case WM_LBUTTONDBLCLK:
            openLog(*state);
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) state->taskbar.windowActivated();
            break;
        case WM_CLOSE:
            handleClose(*state);
            break;
        case WM_DESTROY:
            state->folderDrops.intake().clear();
            RemovePropW(window, kInstanceMarker);
            state->window = nullptr;
            PostQuitMessage(0);
            break;
        default:
            break;
    }
    return FALSE;
}

HWND createMainWindow(HINSTANCE instance, WindowState& state) {
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainWindowProcedure,
                       reinterpret_cast<LPARAM>(&state));
    // Set-up may have closed the window already; then there is nothing to show.
    const HWND window = state.window;
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOW);
    SetPropW(window, kInstanceMarker, reinterpret_cast<HANDLE>(kInstanceMarkerValue));
    state.bigIcon = loadIcon(instance, IDI_APP_LARGE, 32);
    state.smallIcon = loadIcon(instance, IDI_APP_SMALL, 16);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.bigIcon.get()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.smallIcon.get()));
    return window;
}

}  // namespace pomu::ui

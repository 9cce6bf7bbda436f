// The options menu's check marks, its display at the pointer, and the option toggles.
#include "ui/win32/options_menu.h"

#include "res/resource.h"

namespace pomu::ui {

bool loadOptionsMenu(WindowState& state, HINSTANCE instance) {
    MenuHandle menu(LoadMenuW(instance, MAKEINTRESOURCEW(IDR_OPTIONS_MENU)));
    if (!menu.valid()) return false;
    const HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr) return false;
    state.menu = std::move(menu);
    state.optionsMenu = popup;
    return true;
}

void setCheckMark(HMENU menu, UINT commandId, bool checked) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = checked ? MFS_CHECKED : MFS_UNCHECKED;
    SetMenuItemInfoW(menu, commandId, FALSE, &info);
}

void putCheckMarks(HMENU menu, const ConversionOptions& options) {
    setCheckMark(menu, ID_DELETE_ALREADY, options.deleteAlready);
    setCheckMark(menu, ID_DELETE_PROCESSED, options.deleteProcessed);
    setCheckMark(menu, ID_DIV100MB, options.div100MB);
    setCheckMark(menu, ID_DIV1GB, !options.div100MB && options.div1GB);
    setCheckMark(menu, ID_ZIP, options.zip);
}

POINT optionsMenuPosition(HWND window, LPARAM request) {
    // Each coordinate is a signed 16-bit value: screens left of or above the main one are
    // negative.
    POINT at{static_cast<short>(LOWORD(request)), static_cast<short>(HIWORD(request))};
    if (at.x == -1 && at.y == -1) {
        RECT status{};
        if (GetWindowRect(GetDlgItem(window, IDC_STATUS), &status)) {
            at = {status.left, status.bottom};
        } else if (GetWindowRect(window, &status)) {
            at = {status.left, status.top};
        }
    }
    return at;
}

void showOptionsMenu(WindowState& state, LPARAM request) {
    if (!state.ready()) return;
    const POINT at = optionsMenuPosition(state.window, request);
    SetForegroundWindow(state.window);
    TrackPopupMenu(state.optionsMenu, TPM_LEFTBUTTON, at.x, at.y, 0, state.window, nullptr);
}

void handleCommand(WindowState& state, UINT commandId) {
    if (commandId == ID_ESCAPE) {
        if (state.window != nullptr) SendMessageW(state.window, WM_CLOSE, 0, 0);
        return;
    }
    // An inert window has no menu, so it has no option commands either.
    if (!state.ready()) return;
    ConversionOptions& options = theOptions();
    const HMENU menu = state.optionsMenu;
    switch (commandId) {
        case ID_DELETE_ALREADY:
            options.deleteAlready = !options.deleteAlready;
            setCheckMark(menu, ID_DELETE_ALREADY, options.deleteAlready);
            break;
        case ID_DELETE_PROCESSED:
            options.deleteProcessed = !options.deleteProcessed;
            setCheckMark(menu, ID_DELETE_PROCESSED, options.deleteProcessed);
            break;
        case ID_ZIP:
            options.zip = !options.zip;
            setCheckMark(menu, ID_ZIP, options.zip);
            break;
        case ID_DIV1GB:
            toggleDiv1GB(options);
            setCheckMark(menu, ID_DIV1GB, options.div1GB);
            setCheckMark(menu, ID_DIV100MB, options.div100MB);
            break;
        case ID_DIV100MB:
            toggleDiv100MB(options);
            setCheckMark(menu, ID_DIV100MB, options.div100MB);
            setCheckMark(menu, ID_DIV1GB, options.div1GB);
            break;
        default:
            break;  // the cancel command after a refused close, and anything else
    }
}

}  // namespace pomu::ui

// Moving one path to the Recycle Bin with the shell's file operation.
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <vector>

#include "platform/platform.h"

namespace pomu::platform {

namespace {

// The shell's own codes below 0x100 are mostly Win32 errors; the rest have no text of theirs.
NativeString reasonFor(int code) {
    if (code == 0) return L"the Recycle Bin cannot take it here";
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    NativeString reason = length ? NativeString(text, length) : NativeString();
    if (text) LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                               reason.back() == L'.' || reason.back() == L' ')) {
        reason.pop_back();
    }
    if (!reason.empty()) return reason;
    return L"the shell's error " + toNative(code);
}

}  // namespace

bool moveToTrash(NativeView path, NativeString* why) {
    // The shell takes no \\?\ paths; a path it cannot take is not moved.
    if (path.empty() || !fitsPath(path) || path.find(L'\0') != NativeView::npos) {
        if (why) *why = L"the shell cannot take its path";
        return false;
    }
    // A list of paths ended by an empty string: the path and two terminators.
    std::vector<wchar_t> list(path.begin(), path.end());
    list.push_back(L'\0');
    list.push_back(L'\0');

    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.data();
    operation.pTo = nullptr;
    // Where the Recycle Bin cannot take the path (a network share, most USB drives, a file over
    // the bin's quota) the shell would delete it for good without a word; it asks instead,
    // and a refusal leaves the path in place.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_WANTNUKEWARNING;
    operation.lpszProgressTitle = nullptr;
    operation.hNameMappings = nullptr;
    const int result = SHFileOperationW(&operation);
    // Only a path that has really gone counts as moved.
    if (result == 0 && !operation.fAnyOperationsAborted && !pathExists(path)) return true;
    if (why) *why = reasonFor(operation.fAnyOperationsAborted ? 0 : result);
    return false;
}

}  // namespace pomu::platform

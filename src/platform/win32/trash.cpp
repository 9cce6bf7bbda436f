// Moving one path to the Recycle Bin with the shell's file operation.
#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

#include <vector>

#include "platform/platform.h"

namespace pomu::platform {

bool moveToTrash(NativeView path) {
    // The shell takes no \\?\ paths; a path it cannot take is not moved.
    if (path.empty() || !fitsPath(path) || path.find(L'\0') != NativeView::npos) return false;
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
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) return false;
    // Only a path that has really gone counts as moved.
    return !pathExists(path);
}

}  // namespace pomu::platform

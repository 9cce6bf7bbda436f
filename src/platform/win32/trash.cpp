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
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO;
    operation.lpszProgressTitle = nullptr;
    operation.hNameMappings = nullptr;
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace pomu::platform

// The list of paths in a WM_COPYDATA message, written by the later start and checked by the window.
#include "ui/win32/handed_files.h"

#include "ui/win32/command_line.h"

namespace pomu::ui {
namespace {

// A window that is running a batch still answers from its event pump; a hung one does not.
constexpr UINT kHandOverTimeoutMs = 10000;

}  // namespace

std::vector<wchar_t> handedFilesData(const std::vector<NativeString>& files) {
    std::vector<wchar_t> data;
    for (const NativeString& file : files) {
        data.insert(data.end(), file.begin(), file.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return data;
}

std::optional<std::vector<NativeString>> readHandedFiles(const COPYDATASTRUCT& message) {
    if (message.dwData != kHandedFilesTag || message.lpData == nullptr ||
        message.cbData % sizeof(wchar_t) != 0) {
        return std::nullopt;
    }
    const std::size_t chars = message.cbData / sizeof(wchar_t);
    if (chars < 2 || chars > kHandedFilesMaxChars) return std::nullopt;
    const NativeView data(static_cast<const wchar_t*>(message.lpData), chars);
    if (data[chars - 1] != L'\0' || data[chars - 2] != L'\0') return std::nullopt;
    std::vector<NativeString> files;
    std::size_t start = 0;
    while (start + 1 < chars) {
        const std::size_t end = data.find(L'\0', start);
        const NativeView path = data.substr(start, end - start);
        if (path.empty() || path.size() > kHandedPathMaxChars || !isFullyQualified(path)) {
            return std::nullopt;
        }
        for (const wchar_t c : path) {
            if (c < L' ') return std::nullopt;
        }
        files.emplace_back(path);
        start = end + 1;
    }
    if (files.empty()) return std::nullopt;
    return files;
}

bool handFilesTo(HWND window, const std::vector<NativeString>& files) {
    std::vector<wchar_t> data = handedFilesData(files);
    COPYDATASTRUCT message{};
    message.dwData = kHandedFilesTag;
    message.cbData = DWORD(data.size() * sizeof(wchar_t));
    message.lpData = data.data();
    DWORD_PTR taken = FALSE;
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message),
                               SMTO_ABORTIFHUNG, kHandOverTimeoutMs, &taken) != 0 &&
           taken == TRUE;
}

}  // namespace pomu::ui

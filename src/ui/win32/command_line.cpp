// Command-line arguments taken as paths: as given, relative ones against the start's folder.
#include "ui/win32/command_line.h"

#include <windows.h>

#include <shellapi.h>  // after windows.h, which it needs

namespace pomu::ui {
namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// "a.zip", "..\a.zip", "\a.zip" (the current drive) or "D:a.zip" (that drive's current folder)
// as the system resolves them; the name itself is not changed.
NativeString fullPath(const NativeString& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    NativeString full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

}  // namespace

bool isFullyQualified(NativeView path) {
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) return true;
    const wchar_t drive = path.empty() ? L'\0' : asciiLower(path[0]);
    return path.size() >= 3 && drive >= L'a' && drive <= L'z' && path[1] == L':' &&
           isSeparator(path[2]);
}

std::vector<NativeString> commandLineFiles() {
    std::vector<NativeString> files;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return files;
    for (int i = 1; i < count; ++i) {
        const NativeString argument(arguments[i]);
        if (argument.empty()) continue;
        files.push_back(isFullyQualified(argument) ? argument : fullPath(argument));
    }
    LocalFree(arguments);
    return files;
}

}  // namespace pomu::ui

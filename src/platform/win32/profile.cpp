// Windows profile functions over GetPrivateProfileStringW / WritePrivateProfileStringW.
#include <windows.h>

#include <algorithm>

#include "platform/platform.h"

namespace pomu::platform {
namespace {

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (valid()) CloseHandle(handle_);
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void close() {
        if (valid()) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE handle_;
};

// The profile functions write a file that starts with a UTF-16 byte-order mark in UTF-16, and
// a new file in the system code page, which would turn a folder name in other scripts into
// question marks. So a missing file is first created holding the mark alone.
void createUnicodeFileIfMissing(const NativeString& file) {
    FileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) return;  // it exists already, or the write below fails as well
    static constexpr unsigned char kMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    const bool marked =
        WriteFile(handle.get(), kMark, sizeof kMark, &written, nullptr) && written == sizeof kMark;
    handle.close();
    if (!marked) DeleteFileW(file.c_str());
}

bool hasLineBreak(NativeView text) {
    return text.find_first_of(L"\r\n") != NativeView::npos;
}

}  // namespace

NativeString readProfileString(NativeView file, NativeView section, NativeView key,
                               NativeView defaultValue, std::size_t bufferChars) {
    if (bufferChars == 0) return {};
    const DWORD size = DWORD(std::min<std::size_t>(bufferChars, 0x7FFFFFFF));
    NativeString buffer(size, L'\0');
    const DWORD copied = GetPrivateProfileStringW(
        NativeString(section).c_str(), NativeString(key).c_str(),
        NativeString(defaultValue).c_str(), buffer.data(), size, NativeString(file).c_str());
    buffer.resize(std::min<DWORD>(copied, size - 1));
    return buffer;
}

bool writeProfileString(NativeView file, NativeView section, NativeView key, NativeView value) {
    // A line break would end the line early and add lines of its own to the file.
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
    const NativeString path(file);
    createUnicodeFileIfMissing(path);
    return WritePrivateProfileStringW(NativeString(section).c_str(), NativeString(key).c_str(),
                                      NativeString(value).c_str(), path.c_str()) != FALSE;
}

}  // namespace pomu::platform

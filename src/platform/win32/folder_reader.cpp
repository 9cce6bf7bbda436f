// Reading one folder's entries in turn with the find functions, at any path length.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

NativeString reasonFor(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return L"permission denied";
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) return L"no longer there";
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    NativeString reason = length ? NativeString(text, length) : NativeString();
    if (text) LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                               reason.back() == L'.' || reason.back() == L' ')) {
        reason.pop_back();
    }
    return reason.empty() ? L"error " + toNative(static_cast<long long>(error)) : reason;
}

FolderEntry::Kind kindOf(DWORD attributes) {
    using Kind = FolderEntry::Kind;
    // A junction or a symbolic link is a reparse point, folder or not: never followed.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return Kind::other;
    return Kind::file;
}

}  // namespace

struct FolderReader::Impl {
    win32::FindHandle find;
    WIN32_FIND_DATAW data{};
    bool holdsNext = false;  // data holds an entry not handed out yet
};

FolderReader::FolderReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FolderReader::FolderReader(FolderReader&&) noexcept = default;
FolderReader& FolderReader::operator=(FolderReader&&) noexcept = default;
FolderReader::~FolderReader() = default;

std::optional<FolderEntry> FolderReader::next() {
    Impl& impl = *impl_;
    for (;;) {
        if (!impl.holdsNext) {
            if (!impl.find.valid()) return std::nullopt;
            if (!FindNextFileW(impl.find.get(), &impl.data)) {
                const DWORD error = GetLastError();
                if (error != ERROR_NO_MORE_FILES) failure_ = reasonFor(error);
                impl.find.reset();
                return std::nullopt;
            }
        }
        impl.holdsNext = false;
        const NativeView name(impl.data.cFileName);
        if (name == L"." || name == L"..") continue;
        return FolderEntry{NativeString(name), kindOf(impl.data.dwFileAttributes)};
    }
}

std::optional<FolderReader> openFolder(NativeView folder, bool followLink, NativeString* why) {
    const std::optional<NativeString> root = win32::extendedPath(folder);
    const DWORD attributes = root ? GetFileAttributesW(root->c_str()) : INVALID_FILE_ATTRIBUTES;
    DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    if (!root) error = ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = ERROR_DIRECTORY;
    }
    if (error == ERROR_SUCCESS && !followLink && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (why) *why = L"a link, not followed";
        return std::nullopt;
    }
    auto impl = std::make_unique<FolderReader::Impl>();
    if (error == ERROR_SUCCESS) {
        const NativeString pattern = win32::joinPath(*root, L"*");
        impl->find = win32::FindHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic,
                                                        &impl->data, FindExSearchNameMatch, nullptr,
                                                        FIND_FIRST_EX_LARGE_FETCH));
        error = impl->find.valid() ? ERROR_SUCCESS : GetLastError();
        impl->holdsNext = impl->find.valid();
        // A drive's root with nothing on it lists no "." either.
        if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        if (why) *why = reasonFor(error);
        return std::nullopt;
    }
    return FolderReader(std::move(impl));
}

}  // namespace pomu::platform

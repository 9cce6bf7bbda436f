// The workspace lock: a file opened exclusively and deleted when closed.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {

struct FileLock::Impl {
    win32::KernelHandle file;
};

FileLock::FileLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FileLock::FileLock(FileLock&&) noexcept = default;
FileLock& FileLock::operator=(FileLock&&) noexcept = default;
FileLock::~FileLock() = default;

std::optional<FileLock> tryLockFile(NativeView path) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return std::nullopt;
    // No sharing: a second open fails with a sharing violation while this one holds it.
    win32::KernelHandle file(
        CreateFileW(api->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file.valid()) return std::nullopt;
    return FileLock(std::make_unique<FileLock::Impl>(FileLock::Impl{std::move(file)}));
}

}  // namespace pomu::platform

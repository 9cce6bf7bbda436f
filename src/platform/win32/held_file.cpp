// Holding the file the archiver writes, and flushing finished outputs to the disk.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/file_identity.h"
#include "platform/win32/long_path.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

struct HeldFile::Impl {
    win32::KernelHandle file;
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
};

HeldFile::HeldFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
HeldFile::HeldFile(HeldFile&&) noexcept = default;
HeldFile& HeldFile::operator=(HeldFile&&) noexcept = default;
HeldFile::~HeldFile() = default;

// A file record in use keeps its index (NTFS), and a file held open keeps its entry until it
// is let go even when deleted (FAT): no other file takes that index meanwhile.
bool HeldFile::standsAt(NativeView path) const {
    const std::optional<FileIdentity> now = fileIdentity(path);
    return now && now->volume == impl_->volume && now->index == impl_->index;
}

std::optional<HeldFile> holdFile(NativeView path) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return std::nullopt;
    // Its attributes only: no access that another program's sharing could refuse.
    win32::KernelHandle file(CreateFileW(api->c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return std::nullopt;
    }
    auto impl = std::make_unique<HeldFile::Impl>();
    impl->file = std::move(file);
    impl->volume = info.dwVolumeSerialNumber;
    impl->index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return HeldFile(std::move(impl));
}

bool flushFile(NativeView path, const FileIdentity& identity) {
    const std::optional<NativeString> api = win32::apiPath(path);
    if (!api) return false;
    // Flushing needs write access; the check and the flush go through one handle.
    const win32::KernelHandle file(CreateFileW(api->c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
    const std::optional<FileIdentity> now =
        file.valid() ? identityOf(file.get(), *api) : std::nullopt;
    return now && *now == identity && FlushFileBuffers(file.get());
}

bool flushFolder(NativeView) {
    return true;
}

}  // namespace pomu::platform

// Opening, locating and deleting one entry through its own handle.
#include "platform/win32/entry.h"

#include <cstddef>
#include <vector>

#include "platform/win32/long_path.h"

namespace pomu::platform::win32 {
namespace {

constexpr DWORD kBlockingAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;

bool setAttributes(const OpenedEntry& entry, DWORD attributes) {
    FILE_BASIC_INFO info{};  // zero times leave the times as they are
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &info, sizeof info) != 0;
}

}  // namespace

std::optional<OpenedEntry> openEntry(NativeView path, bool forDeletion) {
    const std::optional<NativeString> api = apiPath(path);
    if (!api) return std::nullopt;
    const DWORD access =
        FILE_READ_ATTRIBUTES | (forDeletion ? (DELETE | FILE_WRITE_ATTRIBUTES) : 0);
    OpenedEntry entry;
    entry.handle = KernelHandle(CreateFileW(
        api->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry.handle.valid()) return std::nullopt;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(entry.handle.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        return std::nullopt;
    }
    entry.attributes = tag.FileAttributes;
    return entry;
}

std::optional<Location> locate(const OpenedEntry& entry) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(entry.handle.get(), &information)) return std::nullopt;
    // A path of any length fits the larger buffer; most fit the first.
    for (const std::size_t chars : {std::size_t(1024), std::size_t(32768)}) {
        std::vector<DWORD> buffer((sizeof(FILE_NAME_INFO) + chars * sizeof(wchar_t)) /
                                  sizeof(DWORD));
        auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
        const std::size_t bytes = buffer.size() * sizeof(DWORD);
        if (GetFileInformationByHandleEx(entry.handle.get(), FileNameInfo, name, DWORD(bytes))) {
            // The buffer holds a little more than `chars`: a name that fills it up is whole.
            const std::size_t room = (bytes - offsetof(FILE_NAME_INFO, FileName)) / sizeof(wchar_t);
            const std::size_t length = name->FileNameLength / sizeof(wchar_t);
            if (length > room) return std::nullopt;
            return Location{information.dwVolumeSerialNumber, NativeString(name->FileName, length)};
        }
        if (GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    }
    return std::nullopt;
}

bool liesIn(const OpenedEntry& entry, const Location& folder, NativeView name) {
    const std::optional<Location> actual = locate(entry);
    if (!actual || actual->volume != folder.volume) return false;
    const NativeString expected = joinPath(folder.path, name);
    return CompareStringOrdinal(actual->path.data(), int(actual->path.size()), expected.data(),
                                int(expected.size()), TRUE) == CSTR_EQUAL;
}

bool deleteEntry(const OpenedEntry& entry) {
    const bool blocked = (entry.attributes & kBlockingAttributes) != 0;
    const DWORD cleared = entry.isFolder() ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_ARCHIVE;
    const bool changed = blocked && setAttributes(entry, cleared);
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(entry.handle.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition)) {
        return true;
    }
    if (changed) setAttributes(entry, entry.attributes & kSettableAttributes);
    return false;
}

}  // namespace pomu::platform::win32

// The 7-Zip folder checks of set-up and the folder chooser.
#include "ui/win32/archiver_location.h"

#include "convert/archiver.h"
#include "convert/plan.h"
#include "ui/win32/guards.h"

namespace pomu::ui {
namespace {

// Where the 7-Zip installers (exe and msi) record their folder under Software\7-Zip, in the
// order tried: the x64 installer's Path64, then Path, which every installer writes; this user's
// first. Path32 names the 32-bit installer's folder; it is not asked for, but a Path the 32-bit
// installer left is taken: its 7z.exe reads and writes the same archives, only with less memory.
struct RecordedFolder {
    HKEY root;
    const wchar_t* value;
};
const RecordedFolder kRecordedFolders[] = {
    {HKEY_CURRENT_USER, L"Path64"},
    {HKEY_CURRENT_USER, L"Path"},
    {HKEY_LOCAL_MACHINE, L"Path64"},
    {HKEY_LOCAL_MACHINE, L"Path"},
};
constexpr const wchar_t* kInstallerKey = L"Software\\7-Zip";
constexpr const wchar_t* kDefaultFolderName = L"7-Zip";

// A folder prefix that fits with the archiver's file names after it; empty otherwise.
std::optional<NativeString> asPrefix(NativeString folder) {
    if (folder.empty()) return std::nullopt;
    if (folder.back() != kSeparator) folder += kSeparator;
    if (!fitsPath(archiverPath(folder, archiver::kProgramName))) return std::nullopt;
    return folder;
}

// The 64-bit view, where the x64 installer writes, also if pomu runs as a 32-bit program.
std::optional<NativeString> recordedFolder(const RecordedFolder& recorded) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(recorded.root, kInstallerKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const RegistryKey key(opened);
    wchar_t folder[MAX_PATH] = {};
    DWORD bytes = sizeof folder;
    // RRF_RT_REG_SZ: a string, and one that ends within the buffer.
    if (RegGetValueW(key.get(), nullptr, recorded.value, RRF_RT_REG_SZ, nullptr, folder, &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return asPrefix(folder);
}

// %ProgramFiles%\7-Zip\, where the installers put it when asked nothing.
std::optional<NativeString> defaultFolder() {
    wchar_t programFiles[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    NativeString folder(programFiles, length);
    if (folder.back() != kSeparator) folder += kSeparator;
    return asPrefix(folder + kDefaultFolderName);
}

// The first installed folder with both files; a lone 7z.exe there would fail at the first run.
std::optional<NativeString> installedArchiver() {
    for (const NativeString& folder : installedArchiverFolders()) {
        if (archiverFileExists(folder, archiver::kProgramName) &&
            archiverFileExists(folder, archiver::kLibraryName)) {
            return folder;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<NativeString> installedArchiverFolders() {
    std::vector<NativeString> folders;
    for (const RecordedFolder& recorded : kRecordedFolders) {
        if (auto folder = recordedFolder(recorded)) folders.push_back(std::move(*folder));
    }
    if (auto folder = defaultFolder()) folders.push_back(std::move(*folder));
    return folders;
}

FolderChoice chooseArchiverFolder(HWND owner) {
    const ComApartment com;
    // The display name gets its own buffer, so a cancelled choice cannot touch the setting.
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = L"Select 7-Zip Folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const ItemList chosen(SHBrowseForFolderW(&info));

    FolderChoice choice;
    if (!chosen.valid()) {
        choice.cancelled = true;
        return choice;
    }
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen.get(), path) && path[0] != L'\0') choice.folder = path;
    return choice;
}

bool archiverFileExists(NativeView folder, NativeView fileName) {
    const NativeString path = archiverPath(folder, fileName);
    return fitsPath(path) && platform::pathExists(path);
}

std::optional<NativeString> workingFolderPrefix() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return std::nullopt;
    NativeString prefix(folder, length);
    if (prefix.back() != kSeparator) prefix += kSeparator;
    if (!fitsPath(archiverPath(prefix, archiver::kProgramName))) return std::nullopt;
    return prefix;
}

ArchiverCheck locateArchiver(HWND owner, ConversionOptions& options,
                             bool& folderFromWorkingFolder) {
    folderFromWorkingFolder = false;
    if (options.sevenZipFolder.empty() &&
        !archiverFileExists(options.sevenZipFolder, archiver::kProgramName)) {
        // Found here, the folder is saved on close like a chosen one.
        if (auto installed = installedArchiver()) options.sevenZipFolder = std::move(*installed);
    }
    if (!archiverFileExists(options.sevenZipFolder, archiver::kProgramName)) {
        const FolderChoice choice = chooseArchiverFolder(owner);
        if (choice.cancelled) return ArchiverCheck::chooserCancelled;
        // A folder with no room left for the separator is not taken; the check below fails.
        if (choice.folder && fitsPath(*choice.folder + kSeparator)) {
            options.sevenZipFolder = *choice.folder + kSeparator;
        }
    }
    if (!archiverFileExists(options.sevenZipFolder, archiver::kProgramName)) {
        return ArchiverCheck::programMissing;
    }
    if (!archiverFileExists(options.sevenZipFolder, archiver::kLibraryName)) {
        return ArchiverCheck::libraryMissing;
    }
    if (options.sevenZipFolder.empty()) {
        // A bare program name would be searched for in other places too (the program's own
        // folder first); the one that was just found is started by its full path instead.
        if (const std::optional<NativeString> prefix = workingFolderPrefix()) {
            options.sevenZipFolder = *prefix;
            folderFromWorkingFolder = true;
        }
    }
    return ArchiverCheck::found;
}

}  // namespace pomu::ui

// The 7-Zip folder checks of set-up and the folder chooser.
#include "ui/win32/archiver_location.h"

#include "convert/archiver.h"
#include "convert/plan.h"
#include "ui/win32/guards.h"

namespace pomu::ui {

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

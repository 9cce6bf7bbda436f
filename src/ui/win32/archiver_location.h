// Finding the 7-Zip folder at set-up: the setting, the working folder, the installed one, or the
// chooser.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "options/options.h"

namespace pomu::ui {

enum class ArchiverCheck {
    found,
    chooserCancelled,  // the window stays, inert
    programMissing,    // "7z.exe not found"
    libraryMissing,    // "7z.dll not found"
};

struct FolderChoice {
    bool cancelled = false;
    std::optional<NativeString> folder;  // empty when the chosen item has no usable path
};

// The shell's folder chooser, owned by the window, with COM set up on this thread around it.
FolderChoice chooseArchiverFolder(HWND owner);

// True when the archiver file lies in the folder (empty: the working folder).
bool archiverFileExists(NativeView folder, NativeView fileName);

// The working folder with a separator, when the archiver found there by its bare name can be
// started by its full path; empty otherwise.
std::optional<NativeString> workingFolderPrefix();

// The folders 7-Zip's installers record or use, in the order they are tried, each ending in a
// separator; whether they hold 7-Zip is not looked at here.
std::vector<NativeString> installedArchiverFolders();

// Checks the folder in options, asking for it when 7z.exe is not there. An empty folder first
// takes the working folder's 7z.exe, then the first installed folder that holds 7z.exe and
// 7z.dll. A cancelled choice leaves the folder exactly as it was loaded.
ArchiverCheck locateArchiver(HWND owner, ConversionOptions& options, bool& folderFromWorkingFolder);

}  // namespace pomu::ui

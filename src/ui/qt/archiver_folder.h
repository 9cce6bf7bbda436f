// Finding the 7-Zip folder at set-up: the loaded one, the system's, or one the user picks.
#pragma once

#include <array>
#include <span>

#include "options/options.h"
#include "ui/qt/prompts.h"

namespace pomu::ui {

// Where distributions put 7z beside 7z.so, in the order they are tried: the 7zip package
// (Debian 13, Ubuntu 24.04 and later, Arch), Debian 12's p7zip-full, Fedora's p7zip.
inline constexpr std::array<NativeView, 3> kSystemArchiverFolders = {
    "/usr/lib/7zip/", "/usr/lib/p7zip/", "/usr/libexec/p7zip/"};

enum class ArchiverFolder {
    ready,           // 7z and 7z.so are in sevenZipFolder
    cancelled,       // the user cancelled the folder chooser; sevenZipFolder is as loaded
    programMissing,  // "7z not found" was shown
    libraryMissing,  // "7z.so not found" was shown
};

// True when the folder holds both the program and its library.
bool holdsArchiver(NativeView folder);

// An empty folder takes the first of systemFolders that holds both files; a folder without the
// program is asked for. A chosen folder ends in a separator. The two messages are shown here.
ArchiverFolder locateArchiver(ConversionOptions& options, Prompts& prompts, QWidget* owner,
                              std::span<const NativeView> systemFolders = kSystemArchiverFolders);

}  // namespace pomu::ui

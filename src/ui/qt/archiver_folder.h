// Finding the 7-Zip folder at set-up: the loaded one, the system's, or one the user picks.
#pragma once

#include "options/options.h"
#include "ui/qt/prompts.h"

namespace pomu::ui {

// Debian's p7zip-full keeps 7z and 7z.so here.
inline constexpr NativeView kSystemArchiverFolder = "/usr/lib/p7zip/";

enum class ArchiverFolder {
    ready,           // 7z and 7z.so are in sevenZipFolder
    cancelled,       // the user cancelled the folder chooser; sevenZipFolder is as loaded
    programMissing,  // "7z not found" was shown
    libraryMissing,  // "7z.so not found" was shown
};

// True when the folder holds both the program and its library.
bool holdsArchiver(NativeView folder);

// An empty folder takes systemFolder when that holds the archiver; a folder without the
// program is asked for. A chosen folder ends in a separator. The two messages are shown here.
ArchiverFolder locateArchiver(ConversionOptions& options, Prompts& prompts, QWidget* owner,
                              NativeView systemFolder = kSystemArchiverFolder);

}  // namespace pomu::ui

// Command-line arguments taken as paths: bytes as given, relative ones against the start's folder.
#include "ui/qt/command_line.h"

#include <unistd.h>

#include <string>

namespace pomu::ui {

NativeString absolutePath(NativeView path, NativeView workingFolder) {
    if (path.starts_with('/') || workingFolder.empty()) return NativeString(path);
    NativeString absolute(workingFolder);
    if (!absolute.ends_with('/')) absolute += '/';
    return absolute + NativeString(path);
}

std::vector<NativeString> commandLineFiles(int argc, char** argv) {
    // A folder that is gone leaves relative names as they are; they are refused later.
    std::string folder;
    if (const char* here = ::getcwd(nullptr, 0)) {
        folder = here;
        ::free(const_cast<char*>(here));
    }
    std::vector<NativeString> files;
    for (int i = 1; i < argc; ++i) {
        const NativeView argument(argv[i]);
        if (!argument.empty()) files.push_back(absolutePath(argument, folder));
    }
    return files;
}

}  // namespace pomu::ui

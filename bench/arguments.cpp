// Reading the command line losslessly on both platforms.
#include "arguments.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types windows.h declares.
#include <shellapi.h>
#endif

namespace pomu::bench {

std::vector<NativeString> nativeArguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
    std::vector<NativeString> arguments;
#ifdef _WIN32
    // The narrow argv would pass through the ANSI code page and lose characters.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(wide[i]);
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
#endif
    return arguments;
}

NativeString withTrailingSeparator(NativeString folder) {
    if (!folder.empty() && folder.back() != kSeparator && folder.back() != Char('/')) {
        folder += kSeparator;
    }
    return folder;
}

}  // namespace pomu::bench

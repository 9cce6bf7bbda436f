// The command line as native strings, and the archiver folder argument made usable.
#pragma once

#include <vector>

#include "platform/text.h"

namespace pomu::bench {

// Every argument after the program name; UTF-16 on Windows, bytes on Linux.
std::vector<NativeString> nativeArguments(int argc, char** argv);

// The folder with a separator at its end, as the command lines expect it.
NativeString withTrailingSeparator(NativeString folder);

}  // namespace pomu::bench

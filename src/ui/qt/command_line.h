// The files a start is given on its command line ("pomu a.zip", a file manager's "Open With").
#pragma once

#include <vector>

#include "platform/text.h"

namespace pomu::ui {

// The path as given when absolute, else after the folder and a separator; never tidied up,
// so it names what the user named.
NativeString absolutePath(NativeView path, NativeView workingFolder);

// Every argument after the program's name that Qt has not taken as its own, as its bytes, made
// absolute against the folder this start runs in. Empty arguments are left out.
std::vector<NativeString> commandLineFiles(int argc, char** argv);

}  // namespace pomu::ui

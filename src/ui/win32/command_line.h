// The files a start is given on its command line (dragged onto pomu.exe, Explorer's "Send to").
#pragma once

#include <vector>

#include "platform/text.h"

namespace pomu::ui {

// A path that names its drive or share itself (C:\..., \\server\..., \\?\...): taken as given.
bool isFullyQualified(NativeView path);

// Every argument after the program's name, split by the system's own rules; one that is not
// fully qualified is made so against the folder this start runs in. Empty ones are left out.
std::vector<NativeString> commandLineFiles();

}  // namespace pomu::ui

// Turning a path into a form the wide file functions accept at any length.
#pragma once

#include <optional>
#include <utility>

#include "platform/text.h"

namespace pomu::platform::win32 {

// From this length on, folder functions need the \\?\ form (a folder path leaves room for an
// 8.3 file name below the 260-character limit).
inline constexpr std::size_t kLongFormFrom = 248;

// The full path in the \\?\ form (\\?\C:\... or \\?\UNC\server\share\...), without a trailing
// separator except at a drive's root. Empty when the path cannot be made absolute.
std::optional<NativeString> extendedPath(NativeView path);

// A path ready for a wide file function: as given when short, else its \\?\ form. Empty for
// an empty path or one holding a NUL character, which the function would cut short.
std::optional<NativeString> apiPath(NativeView path);

// The folder and the name: "\\?\C:\a\b" gives "\\?\C:\a" and "b"; "\\?\C:\b" gives "\\?\C:\".
std::optional<std::pair<NativeString, NativeString>> splitParent(NativeView extended);

// The folder path followed by the name, with exactly one separator between them.
NativeString joinPath(NativeView folder, NativeView name);

}  // namespace pomu::platform::win32

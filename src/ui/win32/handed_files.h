// A later start's files handed to the running window by WM_COPYDATA, and read back as data.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/text.h"

namespace pomu::ui {

// The message's tag ("pomu"): any other WM_COPYDATA is not ours.
inline constexpr ULONG_PTR kHandedFilesTag = 0x756D6F70;
// Beyond these the message is refused whole.
inline constexpr std::size_t kHandedFilesMaxChars = std::size_t(1) << 20;
inline constexpr std::size_t kHandedPathMaxChars = 32767;

// The message's data: each path followed by a NUL, then one more NUL.
std::vector<wchar_t> handedFilesData(const std::vector<NativeString>& files);

// The paths a message holds, or empty when it is not a list of paths: its tag, a whole number
// of characters ending in the two NULs, and only fully qualified paths of at most 32,767
// characters without control characters. The paths are data: they are only ever converted as
// a drop is, never run or opened by the shell.
std::optional<std::vector<NativeString>> readHandedFiles(const COPYDATASTRUCT& message);

// Sends the files to the running window and waits until it has taken them (or refused them,
// or has not answered in time); true when it took them.
bool handFilesTo(HWND window, const std::vector<NativeString>& files);

}  // namespace pomu::ui

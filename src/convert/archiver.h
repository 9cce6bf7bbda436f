// What pomu relies on from the 7-Zip console program: its file names, command words and switches.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace pomu::archiver {

#ifdef _WIN32
inline constexpr NativeView kProgramName = L"7z.exe";
inline constexpr NativeView kLibraryName = L"7z.dll";
// A name Windows cannot hold (bytes that are not UTF-8, or \ : * ? " < > |) is unpacked with
// private-use characters in their place, which both listings then show.
inline constexpr bool kEscapesNames = true;
// Creation times can be set on unpacking, so the new archive can keep them.
inline constexpr bool kKeepsCreationTimes = true;
// A line break in a name is unpacked as '_', and every listing shows it as '_' too: the two
// agree though the name changed.
inline constexpr bool kRenamesLineBreaks = true;
// A return in a listed value is shown as '_', which the listing cannot tell from one.
inline constexpr bool kShowsReturnAsUnderscore = true;
#else
inline constexpr NativeView kProgramName = "7z";
inline constexpr NativeView kLibraryName = "7z.so";
inline constexpr bool kEscapesNames = false;
inline constexpr bool kKeepsCreationTimes = false;
inline constexpr bool kRenamesLineBreaks = false;
inline constexpr bool kShowsReturnAsUnderscore = false;
#endif

inline constexpr NativeView kExtract = POMU_T("x");
inline constexpr NativeView kAdd = POMU_T("a");
inline constexpr NativeView kOutputFolderSwitch = POMU_T("-o");
inline constexpr NativeView kRecurseSwitch = POMU_T("-r");
inline constexpr NativeView kLevelSwitch = POMU_T("-mx=");
inline constexpr NativeView kZipSwitch = POMU_T("-tzip");
inline constexpr NativeView kVolumes100MBSwitch = POMU_T("-v100m");
inline constexpr NativeView kVolumes1GBSwitch = POMU_T("-v1g");
// The sizes those switches give each volume but the last ("m" and "g" count in 1024s).
inline constexpr std::uint64_t kVolumes100MBBytes = std::uint64_t(100) << 20;
inline constexpr std::uint64_t kVolumes1GBBytes = std::uint64_t(1) << 30;
inline constexpr NativeView kAllFiles = POMU_T("*");
inline constexpr NativeView kCreationTimesSwitch = POMU_T("-mtc=on");
// Progress on standard output even when that is a pipe, the line rewritten in place.
inline constexpr NativeView kProgressSwitch = POMU_T("-bsp1");

inline constexpr NativeView kSevenZipExtension = POMU_T(".7z");
inline constexpr NativeView kZipExtension = POMU_T(".zip");
inline constexpr NativeView kFirstVolumeSuffix = POMU_T(".001");

// The technical listing, written as UTF-8 whatever the console's code page.
inline constexpr NativeView kList = POMU_T("l");
inline constexpr NativeView kTechnicalSwitch = POMU_T("-slt");
inline constexpr NativeView kUtf8OutputSwitch = POMU_T("-sccUTF-8");
// Lists NTFS alternate streams too, which "x" unpacks into the files they belong to (on Linux,
// into files of their own named "file:stream").
inline constexpr NativeView kAltStreamsSwitch = POMU_T("-sns");

// Matched against the names as the archive keeps them, at any depth (-r): lists the entries
// whose names hold a line break.
inline constexpr NativeView kRecurseNamesSwitch = POMU_T("-r");
inline constexpr NativeView kLineBreakPattern = POMU_T("*\n*");

// Reads every file of an archive back and checks its CRC, writing nothing.
inline constexpr NativeView kTest = POMU_T("t");

// Only 0 counts: "a" ends with 1 when it left out files it could not open, and a process
// ended from outside (Task Manager, taskkill) ends with 1 too.
inline constexpr bool runSucceeded(int exitCode) {
    return exitCode == 0;
}

}  // namespace pomu::archiver

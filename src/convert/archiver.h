// What pomu relies on from the 7-Zip console program: its file names, command words and switches.
#pragma once

#include "platform/text.h"

namespace pomu::archiver {

#ifdef _WIN32
inline constexpr NativeView kProgramName = L"7z.exe";
inline constexpr NativeView kLibraryName = L"7z.dll";
#else
inline constexpr NativeView kProgramName = "7z";
inline constexpr NativeView kLibraryName = "7z.so";
#endif

inline constexpr NativeView kExtract = POMU_T("x");
inline constexpr NativeView kAdd = POMU_T("a");
inline constexpr NativeView kOutputFolderSwitch = POMU_T("-o");
inline constexpr NativeView kRecurseSwitch = POMU_T("-r");
inline constexpr NativeView kLevelSwitch = POMU_T("-mx=");
inline constexpr NativeView kZipSwitch = POMU_T("-tzip");
inline constexpr NativeView kVolumes100MBSwitch = POMU_T("-v100m");
inline constexpr NativeView kVolumes1GBSwitch = POMU_T("-v1g");
inline constexpr NativeView kAllFiles = POMU_T("*");

inline constexpr NativeView kSevenZipExtension = POMU_T(".7z");
inline constexpr NativeView kZipExtension = POMU_T(".zip");
inline constexpr NativeView kFirstVolumeSuffix = POMU_T(".001");

// Exit codes: 0 done, 1 warning (some files skipped); 2 and above mean the run failed
// (2 fatal error, 7 bad command line, 8 out of memory, 255 stopped by the user).
inline constexpr int kExitWarning = 1;
inline constexpr bool runSucceeded(int exitCode) { return exitCode == 0 || exitCode == kExitWarning; }

}  // namespace pomu::archiver

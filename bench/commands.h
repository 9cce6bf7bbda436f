// The sub-commands; each measures one thing, prints one line and returns the exit code.
#pragma once

#include <vector>

#include "platform/text.h"

namespace pomu::bench {

using Arguments = std::vector<NativeString>;

// convert <source> <level> <archiverFolder> [delete-processed] [zip]
int convertCommand(const Arguments& arguments);
// force-exit <source> <archiverFolder> [delayMs]
int forceExitCommand(const Arguments& arguments);
// clear <folder>
int clearCommand(const Arguments& arguments);
// walk <folder>
int walkCommand(const Arguments& arguments);
// batch <folder> <level> <archiverFolder>
int batchCommand(const Arguments& arguments);
// search <folder>
int searchCommand(const Arguments& arguments);

// Exit codes shared by the commands.
inline constexpr int kMeasured = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

}  // namespace pomu::bench

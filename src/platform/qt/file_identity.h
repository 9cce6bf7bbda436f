// The identity of a file as statx tells it, for a path or an open descriptor.
#pragma once

#include <optional>

#include "platform/platform.h"

namespace pomu::platform {

// As fileIdentity gives it; statx's own arguments (AT_EMPTY_PATH with "" for the descriptor).
std::optional<FileIdentity> identityAt(int folderFd, const char* path, int flags);

}  // namespace pomu::platform

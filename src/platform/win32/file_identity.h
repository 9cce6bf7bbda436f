// The identity of a file open on Windows, as fileIdentity gives it for a path.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/platform.h"

namespace pomu::platform {

// `api`: the path the handle was opened with, in the form the API takes; its drive tells
// whether the file system's numbers can be trusted.
std::optional<FileIdentity> identityOf(HANDLE file, const NativeString& api);

}  // namespace pomu::platform

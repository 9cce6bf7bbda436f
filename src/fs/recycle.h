// Moving a replaced target or a processed source to the Recycle Bin (Linux: the Trash).
#pragma once

#include "platform/text.h"

namespace pomu {

// True when the path is gone to the Recycle Bin or did not exist; false when it could not be
// moved, and it then stays where it was (`why` then says why, when the system told). Never
// asks, never deletes for good.
bool recycleFile(NativeView path, NativeString* why = nullptr);

}  // namespace pomu

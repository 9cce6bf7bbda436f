// Recycle-bin removal over the platform's trash operation.
#include "fs/recycle.h"

#include "platform/platform.h"

namespace pomu {

bool recycleFile(NativeView path, NativeString* why) {
    if (!platform::pathExists(path)) return true;  // nothing to remove
    if (path.empty() || !fitsPath(path)) return false;
    return platform::moveToTrash(path, why);
}

}  // namespace pomu

// The local file paths a drop carries, as native bytes in the order given.
#pragma once

#include <vector>

#include "platform/text.h"

class QMimeData;
class QUrl;

namespace pomu::ui {

// The file system bytes of a local file URL, exactly as percent-encoded in it (a name that is
// not UTF-8 keeps its bytes); empty for any other URL.
NativeString localPath(const QUrl& url);

// Every local file URL of the drop, in order; other URLs are left out.
std::vector<NativeString> localPaths(const QMimeData* data);

}  // namespace pomu::ui

// Dropping files on a window of another program the way a file manager does (XDND over X11).
#pragma once

#include <QString>
#include <QStringList>

namespace pomu::test {

// Drags the files (absolute paths) onto the middle of the window and drops them there; true
// when the window accepted the drop and said it had finished with it.
bool dropFilesOn(const QString& display, const QString& windowId, const QStringList& files);

}  // namespace pomu::test

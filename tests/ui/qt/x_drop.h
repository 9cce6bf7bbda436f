// Dropping files on a window of another program the way a file manager does (XDND over X11),
// and closing it as a window manager does.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct _XDisplay;  // Xlib's Display

namespace pomu::test {

// Drags the files (absolute paths) onto the middle of the window and drops them there; true
// when the window accepted the drop and said it had finished with it.
bool dropFilesOn(const QString& display, const QString& windowId, const QStringList& files);

// Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW).
bool askToClose(const QString& display, const QString& windowId);

// What programs send to the root window, as a window manager and a launcher hear it: the
// startup-notification messages, and the windows asked to be activated with their times.
struct RootMessages {
    QStringList startup;
    QList<QPair<unsigned long, unsigned long>> activations;  // window, time
};

// Listens from its construction on; heard() reads until the startup message came or the
// time is up.
class RootListener {
  public:
    explicit RootListener(const QString& display);
    ~RootListener();
    RootListener(const RootListener&) = delete;
    RootListener& operator=(const RootListener&) = delete;

    RootMessages heard(const QString& startupMessage, int ms);

  private:
    ::_XDisplay* display_;
};

}  // namespace pomu::test

// What an X11 desktop does with a later start's startup id (DESKTOP_STARTUP_ID).
#pragma once

#include <QByteArray>

class QWidget;

namespace pomu::ui {

// On X11: ends the launcher's startup notification of that id, whose busy cursor would wait for
// a window the later start never shows, and asks the window manager to activate the window
// with the id's launch time (its "_TIME" part), which focus-stealing prevention weighs. Does
// nothing on other platforms.
void finishX11Startup(QWidget& window, const QByteArray& startupId);

}  // namespace pomu::ui

// The startup-notification "remove" message and _NET_ACTIVE_WINDOW, sent over Qt's own X11
// connection: Qt 6.4 takes DESKTOP_STARTUP_ID only as it starts.
#include "ui/qt/x11_startup.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pomu::ui {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

xcb_client_message_event_t messageTo(xcb_window_t window, xcb_atom_t type, uint8_t format) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = format;
    event.window = window;
    event.type = type;
    return event;
}

}  // namespace

void finishX11Startup(QWidget& window, const QByteArray& startupId) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || startupId.isEmpty()) return;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    // The launch time is the user's click on the launcher: newer than anything pomu saw.
    const qsizetype time = startupId.lastIndexOf("_TIME");
    bool timed = false;
    const uint32_t launched = time < 0 ? 0 : startupId.mid(time + 5).toUInt(&timed);
    if (timed) {
        xcb_client_message_event_t activate =
            messageTo(xcb_window_t(window.winId()), atom(connection, "_NET_ACTIVE_WINDOW"), 32);
        activate.data.data32[0] = 1;  // from an application
        activate.data.data32[1] = launched;
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&activate));
    }

    // The message in pieces of 20 bytes, its closing NUL included, as the startup-notification
    // protocol cuts it.
    const QByteArray message = "remove: ID=" + startupId;
    xcb_atom_t type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    for (qsizetype at = 0; at <= message.size(); at += 20) {
        xcb_client_message_event_t piece = messageTo(root, type, 8);
        std::memcpy(piece.data.data8, message.constData() + at,
                    size_t(std::min<qsizetype>(20, message.size() + 1 - at)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&piece));
        type = atom(connection, "_NET_STARTUP_INFO");
    }
    xcb_flush(connection);
}

}  // namespace pomu::ui

// An XDND drag source in a few messages: enter, position, drop, then hand over the URI list.
#include "x_drop.h"

#include <poll.h>

#include <QDeadlineTimer>
#include <QUrl>
#include <algorithm>
#include <array>
#include <memory>
#include <optional>

// Last: Xlib's macros (Status, Bool, None) would break the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pomu::test {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// The next event, waiting for one until the deadline; false when none came by then.
bool nextEvent(Display* display, const QDeadlineTimer& deadline, XEvent& event) {
    while (XPending(display) == 0) {
        if (deadline.hasExpired()) return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        ::poll(&connection, 1, 100);
    }
    XNextEvent(display, &event);
    return true;
}

class DragSource {
  public:
    DragSource(Display* display, Window target, QByteArray uris)
        : display_(display), target_(target), uris_(std::move(uris)) {
        source_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, atom("XdndSelection"), source_, CurrentTime);
    }
    ~DragSource() { XDestroyWindow(display_, source_); }
    DragSource(const DragSource&) = delete;
    DragSource& operator=(const DragSource&) = delete;

    bool drop() {
        const long version = targetVersion();
        if (version < 3) return false;
        send("XdndEnter",
             {long(source_), std::min(version, 5L) << 24, long(atom("text/uri-list")), 0, 0});
        send("XdndPosition",
             {long(source_), 0, middleOfTarget(), CurrentTime, long(atom("XdndActionCopy"))});
        const std::optional<XClientMessageEvent> status = awaitMessage("XdndStatus");
        if (!status || (status->data.l[1] & 1) == 0) {
            send("XdndLeave", {long(source_), 0, 0, 0, 0});
            XFlush(display_);
            return false;
        }
        send("XdndDrop", {long(source_), 0, CurrentTime, 0, 0});
        const std::optional<XClientMessageEvent> finished = awaitMessage("XdndFinished");
        // Version 5 says whether the drop was taken; an older target only that it ended.
        return finished && (version < 5 || (finished->data.l[1] & 1) != 0);
    }

  private:
    Atom atom(const char* name) { return XInternAtom(display_, name, False); }

    long targetVersion() {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, target_, atom("XdndAware"), 0, 1, False, XA_ATOM, &type,
                               &format, &count, &after, &data) != Success ||
            data == nullptr) {
            return 0;
        }
        const long version = count == 1 ? long(*reinterpret_cast<Atom*>(data)) : 0;
        XFree(data);
        return version;
    }

    // The window's middle in root coordinates, packed as XdndPosition wants it.
    long middleOfTarget() {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, target_, &attributes);
        int x = 0, y = 0;
        Window child = None;
        XTranslateCoordinates(display_, target_, DefaultRootWindow(display_), attributes.width / 2,
                              attributes.height / 2, &x, &y, &child);
        return (long(x) << 16) | long(y);
    }

    void send(const char* type, std::array<long, 5> data) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.display = display_;
        event.xclient.window = target_;
        event.xclient.message_type = atom(type);
        event.xclient.format = 32;
        for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
        XSendEvent(display_, target_, False, NoEventMask, &event);
        XFlush(display_);
    }

    // Hands the URI list to the target when it asks for it during the drop.
    void answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = None;
        if (request.target == atom("text/uri-list") && request.property != None) {
            XChangeProperty(display_, request.requestor, request.property, request.target, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(uris_.data()),
                            int(uris_.size()));
            reply.xselection.property = request.property;
        }
        XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
        XFlush(display_);
    }

    std::optional<XClientMessageEvent> awaitMessage(const char* type) {
        const Atom wanted = atom(type);
        const QDeadlineTimer deadline(20000);
        XEvent event;
        while (nextEvent(display_, deadline, event)) {
            if (event.type == SelectionRequest) answer(event.xselectionrequest);
            if (event.type == ClientMessage && event.xclient.message_type == wanted) {
                return event.xclient;
            }
        }
        return std::nullopt;
    }

    Display* display_;
    Window target_;
    QByteArray uris_;
    Window source_ = None;
};

}  // namespace

bool dropFilesOn(const QString& display, const QString& windowId, const QStringList& files) {
    const DisplayHandle connection(XOpenDisplay(display.toLocal8Bit().constData()));
    if (!connection) return false;
    bool parsed = false;
    const Window target = windowId.toULong(&parsed, 0);
    if (!parsed) return false;
    QByteArray uris;
    for (const QString& file : files) uris += QUrl::fromLocalFile(file).toEncoded() + "\r\n";
    DragSource source(connection.get(), target, uris);
    return source.drop();
}

RootListener::RootListener(const QString& display)
    : display_(XOpenDisplay(display.toLocal8Bit().constData())) {
    if (!display_) return;
    XSelectInput(display_, DefaultRootWindow(display_),
                 PropertyChangeMask | SubstructureNotifyMask);
    XSync(display_, False);
}

RootListener::~RootListener() {
    if (display_) XCloseDisplay(display_);
}

RootMessages RootListener::heard(const QString& startupMessage, int ms) {
    RootMessages messages;
    if (!display_) return messages;
    const Atom begin = XInternAtom(display_, "_NET_STARTUP_INFO_BEGIN", False);
    const Atom more = XInternAtom(display_, "_NET_STARTUP_INFO", False);
    const Atom activate = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    QByteArray text;
    const QDeadlineTimer deadline(ms);
    XEvent event;
    while (!messages.startup.contains(startupMessage) && nextEvent(display_, deadline, event)) {
        if (event.type != ClientMessage) continue;
        const XClientMessageEvent& message = event.xclient;
        if (message.message_type == activate) {
            messages.activations.append({message.window, message.data.l[1]});
            continue;
        }
        if (message.message_type != begin && message.message_type != more) continue;
        if (message.message_type == begin) text.clear();
        // Each piece holds 20 bytes; the message ends at its NUL.
        const QByteArray piece(message.data.b, 20);
        const qsizetype end = piece.indexOf('\0');
        text += end < 0 ? piece : piece.left(end);
        if (end >= 0) messages.startup << QString::fromLatin1(text);
    }
    return messages;
}

bool askToClose(const QString& display, const QString& windowId) {
    const DisplayHandle connection(XOpenDisplay(display.toLocal8Bit().constData()));
    bool parsed = false;
    const Window target = windowId.toULong(&parsed, 0);
    if (!connection || !parsed) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = XInternAtom(connection.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(connection.get(), target, False, NoEventMask, &event) != 0;
    XSync(connection.get(), False);
    return sent;
}

}  // namespace pomu::test

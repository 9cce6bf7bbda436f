// A Wayland client of the tests' own: a virtual pointer, a drag from its own window, and the
// activation token a launcher would get.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

namespace pomu::test {

class WaylandClient {
  public:
    // Connects to the compositor's socket (an absolute path) whose layout has the given size.
    WaylandClient(const QString& socket, QSize layout);
    ~WaylandClient();
    WaylandClient(const WaylandClient&) = delete;
    WaylandClient& operator=(const WaylandClient&) = delete;

    bool connected() const;
    // Presses the button (BTN_LEFT, BTN_RIGHT) at the point of the layout and lets it go.
    bool click(QPoint at, unsigned button);
    // Drags the files (absolute paths) as a URI list from a small window at the layout's top
    // left corner to the point and drops them there; true when the target took them and said it
    // had finished with them.
    bool dropFiles(QPoint at, const QStringList& files);
    // A token the compositor made, as a launcher gets one for a program it starts; empty when
    // none came.
    QByteArray activationToken();
    // Maps a small window of the client's own, which keeps it until the client ends.
    bool showWindow();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace pomu::test

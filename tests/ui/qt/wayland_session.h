// A headless sway of the test's own for the whole-program tests on Wayland.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace pomu::test {

class WaylandSession {
  public:
    // Starts sway on the wlroots headless backend in a private runtime folder. sway 1.7 refuses
    // root, so a test run as root starts it as the user POMU_SWAY_USER names (scripts/test
    // makes it); the programs under test stay the test's own user.
    WaylandSession();
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Why the compositor did not start; empty once it runs.
    const QString& failure() const { return failure_; }
    // The Wayland socket's absolute path, for WAYLAND_DISPLAY.
    const QString& socket() const { return socket_; }
    QSize layout() const;

    // swaymsg with the arguments (a command, or "-t", "get_tree"); its JSON answer.
    QJsonArray command(const QString& command) const;
    QJsonObject tree() const;
    QJsonArray inputs() const;
    // The visible views of the program's process in the tree's order; the node with the id;
    // the node with the focus.
    std::vector<QJsonObject> viewsOf(qint64 pid) const;
    QJsonObject node(qint64 id) const;
    QJsonObject focused() const;

  private:
    std::vector<QJsonObject> nodes(const std::function<bool(const QJsonObject&)>& wanted) const;
    QByteArray message(const QStringList& arguments) const;

    QString folder_, socket_, ipc_, failure_;
    QProcess sway_;
};

}  // namespace pomu::test

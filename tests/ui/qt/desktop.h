// The desktop a whole-program row runs on, and the user's hand on it: an X display (Xvfb) or a
// Wayland compositor (a headless sway) with a client of the test's own.
#pragma once

#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

#include "wayland_client.h"
#include "wayland_session.h"

namespace pomu::test {

struct ToolOutput {
    int exitCode = -1;
    QString output;
};
ToolOutput runTool(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment);

class Desktop {
  public:
    virtual ~Desktop() = default;
    // Why the rows cannot run here; empty when they can.
    virtual QString failure() const = 0;
    // What the program under test needs in its environment to show its windows here.
    virtual void addTo(QProcessEnvironment& environment) const = 0;
    // The program's visible windows titled "pomu", the main window first once it is there.
    virtual QStringList windowsOf(qint64 pid) const = 0;
    virtual QRect geometryOf(const QString& window) const = 0;
    // Drags the files (absolute paths) from outside the program onto the window's middle.
    virtual bool dropFiles(const QString& window, const QStringList& files) = 0;
    // Clicks the button (1 left, 3 right) at the point of the window.
    virtual bool click(const QString& window, QPoint at, int button) = 0;
    // Presses the key (an X key name) in the window; a window it closes sees no release.
    virtual bool press(const QString& window, const QString& key) = 0;
    // What the close box does.
    virtual bool askToClose(const QString& window) = 0;
};

// An X display: the one DISPLAY names, or a private Xvfb.
std::unique_ptr<Desktop> xDesktop();

class WaylandDesktop : public Desktop {
  public:
    WaylandDesktop();
    ~WaylandDesktop() override;
    QString failure() const override;
    void addTo(QProcessEnvironment& environment) const override;
    QStringList windowsOf(qint64 pid) const override;
    QRect geometryOf(const QString& window) const override;
    bool dropFiles(const QString& window, const QStringList& files) override;
    bool click(const QString& window, QPoint at, int button) override;
    bool press(const QString& window, const QString& key) override;
    bool askToClose(const QString& window) override;

    const WaylandSession& session() const { return session_; }
    WaylandClient& client() { return client_; }

  private:
    bool hasKeyboard() const;

    WaylandSession session_;
    WaylandClient client_;
    // A virtual keyboard kept for the whole row: the seat has a keyboard before the program
    // starts, and none of the keys typed later are lost while the program takes its own.
    QProcess keyboard_;
};

}  // namespace pomu::test

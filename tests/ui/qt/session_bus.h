// A private D-Bus session bus for a test process, and a monitor of the signals sent on it.
#pragma once

#include <QProcess>
#include <QString>

namespace pomu::test {

// Starts dbus-daemon and points DBUS_SESSION_BUS_ADDRESS at it, so the program under test
// never reaches the user's desktop; the daemon ends with this object. Empty address when
// dbus-daemon could not be started (then the variable is removed: no bus at all).
class PrivateSessionBus {
  public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    static QString address();

  private:
    QProcess daemon_;
};

// dbus-monitor on the private bus, for the signals matching the rule; its output is read once
// it has been stopped.
class BusMonitor {
  public:
    explicit BusMonitor(const QString& matchRule);
    ~BusMonitor();
    BusMonitor(const BusMonitor&) = delete;
    BusMonitor& operator=(const BusMonitor&) = delete;

    bool started() const { return started_; }
    QString stop();

  private:
    QProcess monitor_;
    bool started_ = false;
};

}  // namespace pomu::test

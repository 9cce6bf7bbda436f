// A private D-Bus session bus for a test process, and a monitor of the signals sent on it.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

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
    QTemporaryDir folder_;  // the bus's configuration
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

// The LauncherEntry Update signals a BusMonitor saw.
struct LauncherUpdates {
    QStringList entries;                // the desktop entry each update names
    std::vector<double> progress;       // every "progress" value, in order
    std::vector<bool> progressVisible;  // every "progress-visible" value, in order
};

// The Update signals as dbus-monitor prints them: a key's string line, then its variant line.
LauncherUpdates readUpdates(const QString& monitored);

// Some values strictly between none and all, never going back.
testing::AssertionResult risesThroughTheMiddle(const std::vector<double>& values);

}  // namespace pomu::test

// Starting dbus-daemon and dbus-monitor for the test process.
#include "session_bus.h"

#include <QThread>

namespace pomu::test {
namespace {

constexpr int kStartMs = 10000;
// dbus-monitor prints nothing once it listens; this is long enough for it to say so to the bus.
constexpr int kMonitorSettlesMs = 500;

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(kStartMs)) return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kStartMs)) {
    }
    const QByteArray address = daemon_.readLine().trimmed();
    if (!address.isEmpty()) qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

PrivateSessionBus::~PrivateSessionBus() {
    stopProcess(daemon_);
}

QString PrivateSessionBus::address() {
    return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
}

BusMonitor::BusMonitor(const QString& matchRule) {
    const QString address = PrivateSessionBus::address();
    if (address.isEmpty()) return;
    monitor_.start(QStringLiteral("dbus-monitor"),
                   {QStringLiteral("--address"), address, matchRule});
    started_ = monitor_.waitForStarted(kStartMs);
    if (started_) QThread::msleep(kMonitorSettlesMs);
}

BusMonitor::~BusMonitor() {
    stopProcess(monitor_);
}

QString BusMonitor::stop() {
    stopProcess(monitor_);
    return QString::fromUtf8(monitor_.readAllStandardOutput());
}

}  // namespace pomu::test

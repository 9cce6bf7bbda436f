// Starting dbus-daemon and dbus-monitor for the test process.
#include "session_bus.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>

namespace pomu::test {
namespace {

constexpr int kStartMs = 10000;

// A session bus that starts no services: the desktop's own (the accessibility bus among them)
// would be activated for a program under test and could keep its window from showing for the
// bus's whole timeout.
constexpr char kBusConfig[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
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
    const QString config = folder_.filePath(QStringLiteral("session.conf"));
    QFile file(config);
    if (!folder_.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(kBusConfig) != qint64(sizeof kBusConfig - 1)) {
        return;
    }
    file.close();
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
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

LauncherUpdates readUpdates(const QString& monitored) {
    LauncherUpdates updates;
    static const QRegularExpression entry(QStringLiteral("^\\s*string \"(application://[^\"]*)\""));
    static const QRegularExpression key(QStringLiteral("^\\s*string \"([a-z-]+)\"$"));
    static const QRegularExpression value(
        QStringLiteral("^\\s*variant\\s+(double|boolean) (\\S+)"));
    QString lastKey;
    for (const QString& line : monitored.split('\n')) {
        if (const QRegularExpressionMatch m = entry.match(line); m.hasMatch()) {
            updates.entries << m.captured(1);
        } else if (const QRegularExpressionMatch k = key.match(line); k.hasMatch()) {
            lastKey = k.captured(1);
        } else if (const QRegularExpressionMatch v = value.match(line); v.hasMatch()) {
            if (lastKey == "progress") updates.progress.push_back(v.captured(2).toDouble());
            if (lastKey == "progress-visible") {
                updates.progressVisible.push_back(v.captured(2) == "true");
            }
        }
    }
    return updates;
}

testing::AssertionResult risesThroughTheMiddle(const std::vector<double>& values) {
    if (!std::is_sorted(values.begin(), values.end()))
        return testing::AssertionFailure() << "went back";
    const auto middle =
        std::count_if(values.begin(), values.end(), [](double v) { return v > 0.02 && v < 0.98; });
    if (middle < 2) return testing::AssertionFailure() << middle << " values between 0 and 1";
    return testing::AssertionSuccess();
}

}  // namespace pomu::test

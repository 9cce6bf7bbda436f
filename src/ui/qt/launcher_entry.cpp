// Sending the LauncherEntry Update signal for pomu's desktop file.
#include "ui/qt/launcher_entry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

namespace pomu::ui {
namespace {

const QString kObjectPath = QStringLiteral("/com/canonical/unity/launcherentry/pomu");
const QString kInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");

// Only a bus the session already has: an address in the environment or the user's bus socket.
// Left to itself the D-Bus library would start a bus of its own for an X display.
bool sessionBusAnnounced() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

}  // namespace

LauncherEntry::LauncherEntry(QString desktopFile)
    : appUri_(QStringLiteral("application://") + desktopFile) {}

void LauncherEntry::showProgress(std::optional<double> fraction) {
    send({{QStringLiteral("progress"), fraction.value_or(0.0)},
          {QStringLiteral("progress-visible"), fraction.has_value()}});
}

void LauncherEntry::setUrgent(bool urgent) {
    if (urgent == urgent_) return;
    urgent_ = urgent;
    send({{QStringLiteral("urgent"), urgent}});
}

void LauncherEntry::send(const QVariantMap& properties) {
    if (!sessionBusAnnounced()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage update =
        QDBusMessage::createSignal(kObjectPath, kInterface, QStringLiteral("Update"));
    update << appUri_ << properties;
    bus.send(update);
}

}  // namespace pomu::ui

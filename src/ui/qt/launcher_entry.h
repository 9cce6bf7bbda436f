// The taskbar entry on Linux desktops: the Unity LauncherEntry signal on the session bus.
#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

#include "pomu_version.h"

namespace pomu::ui {

// What KDE Plasma's task manager and the GNOME docks show on pomu's entry: a progress fill and
// a request for attention. Without a session bus nothing is sent and nothing fails.
class LauncherEntry {
  public:
    explicit LauncherEntry(QString desktopFile = QStringLiteral(POMU_APP_ID ".desktop"));

    void showProgress(std::optional<double> fraction);
    void setUrgent(bool urgent);

  private:
    void send(const QVariantMap& properties);

    QString appUri_;
    bool urgent_ = false;
};

}  // namespace pomu::ui

// One running instance per user: the first start listens, a later one connects and ends.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <vector>

#include "platform/text.h"

namespace pomu::ui {

// What a later start hands the running instance with its request: the tokens its launcher gave
// it, which let the running window take the focus (empty when the launcher gave none), and
// the files it was started with.
struct Activation {
    QByteArray xdgActivationToken;         // XDG_ACTIVATION_TOKEN (Wayland)
    QByteArray startupId;                  // DESKTOP_STARTUP_ID (X11 startup notification)
    std::vector<NativeString> files = {};  // absolute paths, as given

    // Read before the application object exists: Qt's X11 plugin takes DESKTOP_STARTUP_ID away.
    static Activation fromEnvironment();
    bool operator==(const Activation&) const = default;
};

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // True when this process is the instance that runs (it now listens), also when no claim
    // could be made at all (it then says why on standard error); false when another instance
    // of this user answered, which has then been asked to come to the front with the request.
    bool claim(const Activation& request = {});

    // The user's runtime folder (or the temp folder) with the user id: what sets one user's
    // session apart. Any length: the socket's address is made from it, not named by it.
    static QString defaultName();
    // The abstract socket's name for the instance name (without the leading NUL).
    static QByteArray socketName(const QString& name);

  signals:
    // A later start asked for the window; tokens it sent that do not fit are left out, and its
    // files are taken only from a request that is a whole, well-formed list of paths. A peer of
    // another user is not heard at all.
    void activationRequested(const pomu::ui::Activation& activation);

  private:
    void acceptConnections();

    QString name_;
    QLocalServer server_;
};

}  // namespace pomu::ui

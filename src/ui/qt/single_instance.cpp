// The instance socket: listen, or reach the running instance; a stale socket is replaced.
#include "ui/qt/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace pomu::ui {
namespace {

constexpr int kConnectTimeoutMs = 3000;

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

QString SingleInstance::defaultName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    return folder + QStringLiteral("/pomu-%1.socket").arg(::getuid());
}

bool SingleInstance::claim() {
    if (server_.listen(name_)) return true;
    if (otherInstanceAnswers()) return false;
    // Nobody answers: the socket was left by an instance that did not end cleanly.
    QLocalServer::removeServer(name_);
    if (server_.listen(name_)) return true;
    // Without the socket the program still runs, only without the one-instance rule.
    return !otherInstanceAnswers();
}

bool SingleInstance::otherInstanceAnswers() const {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (!probe.waitForConnected(kConnectTimeoutMs)) return false;
    probe.disconnectFromServer();
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* connection = server_.nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connection->disconnectFromServer();
        emit activationRequested();
    }
}

}  // namespace pomu::ui

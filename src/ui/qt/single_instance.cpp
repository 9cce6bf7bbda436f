// The instance socket in the abstract namespace: bound atomically, gone with its process.
#include "ui/qt/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/qt/posix_handles.h"

namespace pomu::ui {
namespace {

using platform::posix::UniqueFd;

// A start that finds the name bound but not yet listening waits this long for the first
// instance to listen before it gives up on the rule.
constexpr int kClaimTimeoutMs = 3000;
constexpr int kRetryMs = 10;

// A short, fixed-length address: no folder length can make it exceed sun_path, and an
// abstract name leaves no file behind a killed instance.
sockaddr_un addressFor(const QString& name) {
    const QByteArray digest =
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    const QByteArray text = "pomu-" + QByteArray::number(::getuid()) + "-" + digest;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, text.constData(), size_t(text.size()));
    return address;
}

socklen_t addressLength(const sockaddr_un& address) {
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(address.sun_path + 1));
}

enum class Answer { ourInstance, otherUser, none };

// Connecting is what calls the running instance to the front.
Answer askRunningInstance(const sockaddr_un& address) {
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!probe.valid() || ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address),
                                    addressLength(address)) != 0) {
        return Answer::none;
    }
    // The abstract namespace is shared by all users: only our own listener counts.
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(probe.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        peer.uid != ::getuid()) {
        return Answer::otherUser;
    }
    return Answer::ourInstance;
}

// Running without the rule beats not running; the user is told why.
bool runWithoutClaim(const char* why, int error = 0) {
    std::fprintf(stderr, "pomu: cannot make sure that only one instance runs (%s%s%s); running\n",
                 why, error ? ": " : "", error ? std::strerror(error) : "");
    return true;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

QString SingleInstance::defaultName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    return folder + QStringLiteral("/pomu-%1").arg(::getuid());
}

bool SingleInstance::claim() {
    const sockaddr_un address = addressFor(name_);
    const QDeadlineTimer deadline(kClaimTimeoutMs);
    for (;;) {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd.valid()) return runWithoutClaim("no socket", errno);
        // Only one bind of a name succeeds: two starts at the same moment cannot both win.
        if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), addressLength(address)) ==
            0) {
            if (::listen(fd.get(), SOMAXCONN) != 0) return runWithoutClaim("listen", errno);
            if (!server_.listen(qintptr(fd.get()))) return runWithoutClaim("no server");
            fd.release();  // the server owns it now
            return true;
        }
        if (errno != EADDRINUSE) return runWithoutClaim("bind", errno);
        switch (askRunningInstance(address)) {
            case Answer::ourInstance:
                return false;
            case Answer::otherUser:
                return runWithoutClaim("another user holds the name");
            case Answer::none:
                break;  // bound but not listening yet, or just ended: ask again
        }
        if (deadline.hasExpired())
            return runWithoutClaim("the instance holding it does not answer");
        QThread::msleep(kRetryMs);
    }
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* connection = server_.nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connection->disconnectFromServer();
        emit activationRequested();
    }
}

}  // namespace pomu::ui

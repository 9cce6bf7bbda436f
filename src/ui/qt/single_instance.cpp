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
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/qt/posix_handles.h"

namespace pomu::ui {
namespace {

using platform::posix::UniqueFd;

// A start that finds the name bound but not yet listening waits this long for the first
// instance to listen before it gives up on the rule.
constexpr int kClaimTimeoutMs = 3000;
constexpr int kRetryMs = 10;

// The request: one line "NAME=token" per token, each ended by a newline. It is short, so the
// later start's write never waits on the socket's buffer; the running instance reads it for at
// most this long, and no more than this much of it.
constexpr int kRequestMs = 1000;
constexpr qsizetype kRequestBytes = 1024;
constexpr qsizetype kTokenBytes = 255;
constexpr char kXdgActivationToken[] = "XDG_ACTIVATION_TOKEN";
constexpr char kStartupId[] = "DESKTOP_STARTUP_ID";

// Printable ASCII without blanks: what the launchers give, and nothing that could split a line.
bool isToken(const QByteArray& token) {
    return !token.isEmpty() && token.size() <= kTokenBytes &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

QByteArray requestText(const Activation& request) {
    QByteArray text;
    for (const auto& [name, token] : {std::pair(kXdgActivationToken, &request.xdgActivationToken),
                                      std::pair(kStartupId, &request.startupId)}) {
        if (isToken(*token)) text += QByteArray(name) + '=' + *token + '\n';
    }
    return text;
}

// Only whole lines with a known name and a well-formed token count; anything else is left out.
Activation readRequest(const QByteArray& text) {
    Activation activation;
    const qsizetype end = text.lastIndexOf('\n');
    if (end < 0 || text.size() > kRequestBytes) return activation;
    for (const QByteArray& line : text.left(end).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals), token = line.mid(equals + 1);
        if (equals < 0 || !isToken(token)) continue;
        if (name == kXdgActivationToken) activation.xdgActivationToken = token;
        if (name == kStartupId) activation.startupId = token;
    }
    return activation;
}

// A short, fixed-length address: no folder length can make it exceed sun_path, and an
// abstract name leaves no file behind a killed instance.
sockaddr_un addressFor(const QString& name) {
    const QByteArray text = SingleInstance::socketName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, text.constData(), size_t(text.size()));
    return address;
}

socklen_t addressLength(const sockaddr_un& address) {
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(address.sun_path + 1));
}

enum class Answer { ourInstance, otherUser, none };

// Connecting is what calls the running instance to the front; the request goes with it.
Answer askRunningInstance(const sockaddr_un& address, const Activation& request) {
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
    // Without the tokens the window is still asked for: a failed write changes nothing else.
    const QByteArray text = requestText(request);
    [[maybe_unused]] const ssize_t sent =
        ::send(probe.get(), text.constData(), size_t(text.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    return Answer::ourInstance;
}

// Running without the rule beats not running; the user is told why.
bool runWithoutClaim(const char* why, int error = 0) {
    std::fprintf(stderr, "pomu: cannot make sure that only one instance runs (%s%s%s); running\n",
                 why, error ? ": " : "", error ? std::strerror(error) : "");
    return true;
}

}  // namespace

Activation Activation::fromEnvironment() {
    return {qgetenv(kXdgActivationToken), qgetenv(kStartupId)};
}

QByteArray SingleInstance::socketName(const QString& name) {
    const QByteArray digest =
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return "pomu-" + QByteArray::number(::getuid()) + "-" + digest;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

QString SingleInstance::defaultName() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    return folder + QStringLiteral("/pomu-%1").arg(::getuid());
}

bool SingleInstance::claim(const Activation& request) {
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
        switch (askRunningInstance(address, request)) {
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
        // Answered once, as the loop gets to it: at the peer's end, past the size limit or at
        // the time limit. A peer that stalls or sends garbage still gets the window, untokened.
        struct Pending {
            QByteArray text;
            bool answered = false;
        };
        auto pending = std::make_shared<Pending>();
        const auto read = [connection, pending] {
            pending->text += connection->read(kRequestBytes + 1 - pending->text.size());
        };
        const auto answer = [this, connection, pending, read] {
            if (pending->answered) return;
            pending->answered = true;
            read();
            connection->abort();
            connection->deleteLater();
            emit activationRequested(readRequest(pending->text));
        };
        connect(connection, &QLocalSocket::readyRead, this, [pending, read, answer] {
            read();
            if (pending->text.size() > kRequestBytes) answer();
        });
        connect(connection, &QLocalSocket::disconnected, this, answer);
        QTimer::singleShot(kRequestMs, connection, answer);
    }
}

}  // namespace pomu::ui

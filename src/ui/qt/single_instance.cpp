// The instance socket in the abstract namespace: bound atomically, gone with its process.
#include "ui/qt/single_instance.h"

#include <poll.h>
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
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/qt/posix_handles.h"

namespace pomu::ui {
namespace {

using platform::posix::UniqueFd;

// A start that finds the name bound but not yet listening waits this long for the first
// instance to listen before it gives up on the rule.
constexpr int kClaimTimeoutMs = 3000;
constexpr int kRetryMs = 10;

// The request: one line "NAME=value" per token and per file, each ended by a newline, and a
// last line "END" that says it came whole. A file is its path's bytes percent-encoded, so no
// byte of a name can end its line. The running instance reads at most this much, and gives a
// peer that stops sending this long before it answers.
constexpr int kRequestIdleMs = 1000;
constexpr qsizetype kRequestBytes = 4 << 20;
constexpr qsizetype kTokenBytes = 255;
// The later start gives the running instance this long to take the whole request.
constexpr int kSendMs = 10000;
constexpr char kXdgActivationToken[] = "XDG_ACTIVATION_TOKEN";
constexpr char kStartupId[] = "DESKTOP_STARTUP_ID";
constexpr char kFile[] = "FILE";
constexpr char kEnd[] = "END";

// Printable ASCII without blanks: what the launchers give, and nothing that could split a line.
bool isToken(const QByteArray& token) {
    return !token.isEmpty() && token.size() <= kTokenBytes &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The path a FILE line names: percent-encoding and nothing else, decoded into an absolute path
// that fits. Empty for anything else.
std::optional<NativeString> decodedPath(const QByteArray& value) {
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '%') {
            if (i + 2 >= value.size() || !isHexDigit(value[i + 1]) || !isHexDigit(value[i + 2])) {
                return std::nullopt;
            }
            i += 2;
        } else if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' &&
                   c != '_' && c != '~') {
            return std::nullopt;
        }
    }
    const QByteArray path = QByteArray::fromPercentEncoding(value);
    if (!path.startsWith('/') || path.contains('\0') || !fitsPath(path.toStdString())) {
        return std::nullopt;
    }
    return path.toStdString();
}

QByteArray requestText(const Activation& request) {
    QByteArray text;
    for (const auto& [name, token] : {std::pair(kXdgActivationToken, &request.xdgActivationToken),
                                      std::pair(kStartupId, &request.startupId)}) {
        if (isToken(*token)) text += QByteArray(name) + '=' + *token + '\n';
    }
    for (const NativeString& file : request.files) {
        text +=
            QByteArray(kFile) + '=' + QByteArray::fromStdString(file).toPercentEncoding() + '\n';
    }
    return text + kEnd + '\n';
}

// Only whole lines with a known name and a well-formed token count; anything else is left out.
// Files count only when every line is well-formed and the request ends with its END line.
Activation readRequest(const QByteArray& text) {
    Activation activation;
    const qsizetype end = text.lastIndexOf('\n');
    if (end < 0 || text.size() > kRequestBytes) return activation;
    bool whole = text.size() == end + 1;
    bool ended = false;
    std::vector<NativeString> files;
    for (const QByteArray& line : text.left(end).split('\n')) {
        if (ended) whole = false;  // nothing may follow the end
        if (line == kEnd) {
            ended = true;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals), value = line.mid(equals + 1);
        if (equals >= 0 && name == kFile) {
            std::optional<NativeString> path = decodedPath(value);
            whole = whole && path.has_value();
            if (path) files.push_back(std::move(*path));
            continue;
        }
        if (equals < 0 || !isToken(value)) {
            whole = false;
            continue;
        }
        if (name == kXdgActivationToken) {
            activation.xdgActivationToken = value;
        } else if (name == kStartupId) {
            activation.startupId = value;
        } else {
            whole = false;
        }
    }
    if (whole && ended) activation.files = std::move(files);
    return activation;
}

// Writes the whole request within the time limit; a running instance that takes none of it
// is still asked for its window by the connection itself.
void sendRequest(int fd, const QByteArray& text) {
    const QDeadlineTimer deadline(kSendMs);
    qsizetype sent = 0;
    while (sent < text.size()) {
        const ssize_t written = ::send(fd, text.constData() + sent, size_t(text.size() - sent),
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            sent += written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
        pollfd writable{fd, POLLOUT, 0};
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || ::poll(&writable, 1, int(left)) < 0) return;
    }
}

// The user the peer of a connected socket runs as.
std::optional<uid_t> peerUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return std::nullopt;
    return peer.uid;
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
    if (peerUser(probe.get()) != ::getuid()) return Answer::otherUser;
    // Without the request the window is still asked for: a failed write changes nothing else.
    sendRequest(probe.get(), requestText(request));
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
        // The abstract namespace is open to every user: another one's start is not heard.
        if (peerUser(int(connection->socketDescriptor())) != ::getuid()) {
            connection->abort();
            connection->deleteLater();
            continue;
        }
        // Answered once, as the loop gets to it: at the peer's end, past the size limit or
        // when the peer has sent nothing for a while. A peer that stalls or sends garbage still
        // gets the window, untokened and without files.
        struct Pending {
            QByteArray text;
            bool answered = false;
        };
        auto pending = std::make_shared<Pending>();
        auto* idle = new QTimer(connection);
        idle->setSingleShot(true);
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
        connect(connection, &QLocalSocket::readyRead, this, [pending, read, answer, idle] {
            read();
            if (pending->text.size() > kRequestBytes) return answer();
            idle->start(kRequestIdleMs);
        });
        connect(connection, &QLocalSocket::disconnected, this, answer);
        connect(idle, &QTimer::timeout, this, answer);
        idle->start(kRequestIdleMs);
    }
}

}  // namespace pomu::ui

// Starting sway headless, and reading its tree over its IPC socket with swaymsg.
#include "wayland_session.h"

#include <pwd.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace pomu::test {
namespace {

constexpr int kStartMs = 10000;
// No bar and no borders; the pointer moves no focus; a window that asks with a token gets the
// focus wherever it is; the test client's drag window stays out of the way in the corner.
constexpr char kConfig[] = R"(xwayland disable
focus_follows_mouse no
focus_on_window_activation focus
default_border none
default_floating_border none
for_window [app_id="pomu-test-drag"] move position 0 0
)";

void walk(const QJsonObject& node, const std::function<void(const QJsonObject&)>& visit) {
    visit(node);
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node[children].toArray()) walk(child.toObject(), visit);
    }
}

}  // namespace

WaylandSession::WaylandSession() {
    char pattern[] = "/tmp/pomu-sway-XXXXXX";
    if (!::mkdtemp(pattern)) {
        failure_ = "no runtime folder";
        return;
    }
    folder_ = QString::fromLocal8Bit(pattern);
    QFile config(folder_ + "/sway.conf");
    if (!config.open(QIODevice::WriteOnly) || config.write(kConfig) != qint64(sizeof kConfig - 1)) {
        failure_ = "no configuration";
        return;
    }
    config.close();
    QProcessEnvironment environment;
    for (const char* name : {"PATH", "LANG"}) environment.insert(name, qEnvironmentVariable(name));
    environment.insert("XDG_RUNTIME_DIR", folder_);
    environment.insert("HOME", folder_);
    environment.insert("WLR_BACKENDS", "headless");
    environment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    environment.insert("WLR_RENDERER", "pixman");
    sway_.setProcessEnvironment(environment);
    sway_.setStandardOutputFile(folder_ + "/sway.log");
    sway_.setProcessChannelMode(QProcess::MergedChannels);
    QStringList command{"sway", "-c", folder_ + "/sway.conf"};
    if (::geteuid() == 0) {
        const QByteArray user = qEnvironmentVariableIsEmpty("POMU_SWAY_USER")
                                    ? QByteArray("pomu-sway")
                                    : qgetenv("POMU_SWAY_USER");
        const passwd* account = ::getpwnam(user.constData());
        if (!account || account->pw_uid == 0 ||
            ::chown(pattern, account->pw_uid, account->pw_gid) != 0) {
            failure_ = "sway refuses root, and there is no user " + QString::fromLocal8Bit(user) +
                       " to run it (scripts/test makes one)";
            return;
        }
        const QString uid = QString::number(account->pw_uid);
        const QString gid = QString::number(account->pw_gid);
        command =
            QStringList{"setpriv", "--reuid", uid, "--regid", gid, "--clear-groups"} + command;
    }
    sway_.start(command.takeFirst(), command);
    if (!sway_.waitForStarted(kStartMs)) {
        failure_ = "sway did not start: " + sway_.errorString();
        return;
    }
    const QDeadlineTimer deadline(kStartMs);
    const QDir folder(folder_);
    while (!deadline.hasExpired() && sway_.state() == QProcess::Running) {
        const QStringList sockets = folder.entryList({"wayland-?"}, QDir::System);
        const QStringList ipc = folder.entryList({"sway-ipc.*.sock"}, QDir::System);
        if (!sockets.isEmpty() && !ipc.isEmpty()) {
            socket_ = folder.filePath(sockets.first());
            ipc_ = folder.filePath(ipc.first());
            if (!tree().isEmpty()) return;
        }
        QThread::msleep(50);
    }
    QFile log(folder_ + "/sway.log");
    log.open(QIODevice::ReadOnly);
    failure_ = "sway did not come up: " + QString::fromLocal8Bit(log.readAll().right(2000));
}

WaylandSession::~WaylandSession() {
    // A compositor that ended during the row explains the row's failures.
    if (!socket_.isEmpty() && sway_.waitForFinished(0)) {
        QFile log(folder_ + "/sway.log");
        log.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "sway ended during the row (exit %d): %s\n", sway_.exitCode(),
                     log.readAll().right(2000).constData());
    }
    if (sway_.state() != QProcess::NotRunning) {
        sway_.terminate();
        if (!sway_.waitForFinished(5000)) {
            sway_.kill();
            sway_.waitForFinished(5000);
        }
    }
    std::error_code error;
    if (!folder_.isEmpty()) std::filesystem::remove_all(folder_.toStdString(), error);
}

QByteArray WaylandSession::message(const QStringList& arguments) const {
    if (ipc_.isEmpty()) return {};
    QProcess swaymsg;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SWAYSOCK", ipc_);
    swaymsg.setProcessEnvironment(environment);
    swaymsg.start("swaymsg", QStringList{"-r"} + arguments);
    if (!swaymsg.waitForFinished(10000)) {
        swaymsg.kill();
        swaymsg.waitForFinished();
        return {};
    }
    return swaymsg.readAllStandardOutput();
}

QJsonArray WaylandSession::command(const QString& command) const {
    return QJsonDocument::fromJson(message({"--", command})).array();
}

QJsonObject WaylandSession::tree() const {
    return QJsonDocument::fromJson(message({"-t", "get_tree"})).object();
}

QJsonArray WaylandSession::inputs() const {
    return QJsonDocument::fromJson(message({"-t", "get_inputs"})).array();
}

QSize WaylandSession::layout() const {
    const QJsonObject rect = tree()["rect"].toObject();
    return {rect["width"].toInt(), rect["height"].toInt()};
}

std::vector<QJsonObject> WaylandSession::nodes(
    const std::function<bool(const QJsonObject&)>& wanted) const {
    std::vector<QJsonObject> found;
    walk(tree(), [&](const QJsonObject& node) {
        if (wanted(node)) found.push_back(node);
    });
    return found;
}

std::vector<QJsonObject> WaylandSession::viewsOf(qint64 pid) const {
    return nodes([&](const QJsonObject& node) {
        return node["pid"].toInteger() == pid && node["visible"].toBool();
    });
}

QJsonObject WaylandSession::node(qint64 id) const {
    const auto found = nodes([&](const QJsonObject& node) { return node["id"].toInteger() == id; });
    return found.empty() ? QJsonObject() : found.front();
}

QJsonObject WaylandSession::focused() const {
    const auto found = nodes([](const QJsonObject& node) { return node["focused"].toBool(); });
    return found.empty() ? QJsonObject() : found.front();
}

}  // namespace pomu::test

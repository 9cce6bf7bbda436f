// The two desktops: xdotool and XDND on X11; sway's IPC, the test client and wtype on Wayland.
#include "desktop.h"

#include <linux/input-event-codes.h>

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QThread>
#include <cstdio>

#include "pomu_version.h"
#include "x_display.h"
#include "x_drop.h"

namespace pomu::test {

ToolOutput runTool(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolOutput run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (run.exitCode != 0) {
        std::fprintf(stderr, "%s %s: exit %d: %s\n", qPrintable(program),
                     qPrintable(arguments.join(' ')), run.exitCode,
                     process.readAllStandardError().constData());
    }
    return run;
}

namespace {

// xdotool for what a user does, XDND and WM_DELETE_WINDOW for what other programs send.
class XDesktop : public Desktop {
  public:
    QString failure() const override {
        return display_.name().isEmpty() ? "no X display and no Xvfb" : QString();
    }

    void addTo(QProcessEnvironment& environment) const override {
        environment.insert("DISPLAY", display_.name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
    }

    QStringList windowsOf(qint64 pid) const override {
        const ToolOutput search =
            xdotool({"search", "--onlyvisible", "--pid", QString::number(pid), "--name", "^pomu$"});
        return search.output.split('\n', Qt::SkipEmptyParts);
    }

    QRect geometryOf(const QString& window) const override {
        const ToolOutput shell = xdotool({"getwindowgeometry", "--shell", window});
        QMap<QString, int> values;
        for (const QString& line : shell.output.split('\n', Qt::SkipEmptyParts)) {
            values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        }
        return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
    }

    bool dropFiles(const QString& window, const QStringList& files) override {
        return dropFilesOn(display_.name(), window, files);
    }

    bool click(const QString& window, QPoint at, int button) override {
        return xdotool({"mousemove", "--window", window, QString::number(at.x()),
                        QString::number(at.y()), "click", QString::number(button)})
                   .exitCode == 0;
    }

    bool press(const QString& window, const QString& key) override {
        const bool pressed = xdotool({"keydown", "--window", window, key}).exitCode == 0;
        // The display keeps its keys' state from one program to the next.
        xdotool({"keyup", key});
        return pressed;
    }

    bool askToClose(const QString& window) override {
        return pomu::test::askToClose(display_.name(), window);
    }

  private:
    ToolOutput xdotool(const QStringList& arguments) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        addTo(environment);
        return runTool("xdotool", arguments, environment);
    }

    XDisplay display_;
};

}  // namespace

std::unique_ptr<Desktop> xDesktop() {
    return std::make_unique<XDesktop>();
}

WaylandDesktop::WaylandDesktop() : client_(session_.socket(), session_.layout()) {
    if (!client_.connected()) return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    keyboard_.setProcessEnvironment(environment);
    keyboard_.start("wtype", {"-s", "86400000"});
    keyboard_.waitForStarted(10000);
    const QDeadlineTimer deadline(10000);
    while (!hasKeyboard() && !deadline.hasExpired() && keyboard_.state() == QProcess::Running) {
        QThread::msleep(50);
    }
}

WaylandDesktop::~WaylandDesktop() {
    keyboard_.kill();
    keyboard_.waitForFinished(5000);
}

bool WaylandDesktop::hasKeyboard() const {
    for (const QJsonValue& input : session_.inputs()) {
        if (input["type"] == "keyboard") return true;
    }
    return false;
}

QString WaylandDesktop::failure() const {
    if (!session_.failure().isEmpty()) return session_.failure();
    if (!client_.connected()) return "the test client found no virtual pointer";
    return hasKeyboard() ? QString() : "wtype gave the seat no keyboard";
}

void WaylandDesktop::addTo(QProcessEnvironment& environment) const {
    environment.insert("WAYLAND_DISPLAY", session_.socket());
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.remove("DISPLAY");
}

QStringList WaylandDesktop::windowsOf(qint64 pid) const {
    QStringList windows;
    for (const QJsonObject& view : session_.viewsOf(pid)) {
        if (view["app_id"] == POMU_APP_ID && view["name"] == "pomu") {
            windows << QString::number(view["id"].toInteger());
        }
    }
    return windows;
}

QRect WaylandDesktop::geometryOf(const QString& window) const {
    const QJsonObject rect = session_.node(window.toLongLong())["rect"].toObject();
    return QRect(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(),
                 rect["height"].toInt());
}

bool WaylandDesktop::dropFiles(const QString& window, const QStringList& files) {
    return client_.dropFiles(geometryOf(window).center(), files);
}

bool WaylandDesktop::click(const QString& window, QPoint at, int button) {
    return client_.click(geometryOf(window).topLeft() + at, button == 3 ? BTN_RIGHT : BTN_LEFT);
}

bool WaylandDesktop::press(const QString& window, const QString& key) {
    session_.command("[con_id=" + window + "] focus");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    // A new virtual keyboard loses its first key: a harmless one goes first.
    return runTool("wtype", {"-k", "Shift_L", "-k", key}, environment).exitCode == 0;
}

bool WaylandDesktop::askToClose(const QString& window) {
    const QJsonArray answer = session_.command("[con_id=" + window + "] kill");
    return !answer.isEmpty() && answer[0].toObject()["success"].toBool();
}

}  // namespace pomu::test

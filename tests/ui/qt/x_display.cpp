// Starting a private Xvfb when the tests run without a display.
#include "x_display.h"

namespace pomu::test {

XDisplay::XDisplay() {
    name_ = qEnvironmentVariable("DISPLAY");
    if (!name_.isEmpty()) return;
    // Xvfb picks a free display itself and writes its number to the given descriptor. It must
    // not reset when its last client leaves: a program connecting just then would be refused.
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!server_.waitForStarted(10000)) return;
    QByteArray number;
    while (!number.contains('\n') && server_.waitForReadyRead(10000)) {
        number += server_.readAllStandardOutput();
    }
    const QByteArray digits = number.trimmed();
    if (!digits.isEmpty()) name_ = QStringLiteral(":") + QString::fromLatin1(digits);
}

XDisplay::~XDisplay() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
        server_.kill();
        server_.waitForFinished(5000);
    }
}

}  // namespace pomu::test

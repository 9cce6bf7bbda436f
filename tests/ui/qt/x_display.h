// The X display the whole-program tests use: the one given, or a private Xvfb.
#pragma once

#include <QProcess>
#include <QString>

namespace pomu::test {

class XDisplay {
  public:
    // Uses DISPLAY when it is set; otherwise starts Xvfb on a free display.
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // ":N", or empty when no display could be had.
    const QString& name() const { return name_; }

  private:
    QString name_;
    QProcess server_;
};

}  // namespace pomu::test

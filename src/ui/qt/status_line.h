// The window's status label as the conversion job sees it.
#pragma once

#include <QObject>
#include <QPointer>

#include "convert/status_window.h"

class QLabel;

namespace pomu::ui {

class StatusLine : public QObject, public StatusWindow {
    Q_OBJECT

  public:
    explicit StatusLine(QLabel* label, QObject* parent = nullptr);

    void writeStatus(NativeView text) override;
    void handleEvents(platform::RunningTool& tool) override;

    // After the window has closed, status writes no longer reach it.
    void detach();

  signals:
    void written(const QString& text);

  private:
    QPointer<QLabel> label_;
};

}  // namespace pomu::ui

// The window's status label and progress bar as the conversion job sees them.
#pragma once

#include <QObject>
#include <QPointer>

#include "convert/status_window.h"

class QLabel;
class QProgressBar;

namespace pomu::ui {

class StatusLine : public QObject, public StatusWindow {
    Q_OBJECT

  public:
    explicit StatusLine(QLabel* label, QProgressBar* bar = nullptr, QObject* parent = nullptr);

    void writeStatus(NativeView text) override;
    // The bar along the window's bottom edge: shown with the fraction, hidden with none.
    void showProgress(std::optional<double> fraction) override;
    void handleEvents(platform::RunningTool& tool) override;

    // After the window has closed, status writes no longer reach it.
    void detach();

  signals:
    void written(const QString& text);
    // For the taskbar entry: visible false when the bar is hidden.
    void progressShown(bool visible, double fraction);

  private:
    QPointer<QLabel> label_;
    QPointer<QProgressBar> bar_;
};

}  // namespace pomu::ui

// Status writes into the label, the progress bar, and the event pump while the archiver runs.
#include "ui/qt/status_line.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <cmath>

namespace pomu::ui {

StatusLine::StatusLine(QLabel* label, QProgressBar* bar, QObject* parent)
    : QObject(parent), label_(label), bar_(bar) {}

void StatusLine::writeStatus(NativeView text) {
    if (!label_) return;
    const QString shown = QFile::decodeName(QByteArray(text.data(), qsizetype(text.size())));
    label_->setText(shown);
    emit written(shown);
}

void StatusLine::showProgress(std::optional<double> fraction) {
    if (bar_) {
        if (fraction) {
            bar_->setValue(int(std::lround(*fraction * bar_->maximum())));
            bar_->show();
        } else {
            bar_->hide();
            bar_->setValue(0);
        }
    }
    emit progressShown(fraction.has_value(), fraction.value_or(0.0));
}

void StatusLine::handleEvents(platform::RunningTool& tool) {
    platform::handlePendingEvents(tool);
}

void StatusLine::detach() {
    label_.clear();
    bar_.clear();
}

}  // namespace pomu::ui

// Status writes into the label, and the event pump while the archiver runs.
#include "ui/qt/status_line.h"

#include <QFile>
#include <QLabel>

namespace pomu::ui {

StatusLine::StatusLine(QLabel* label, QObject* parent) : QObject(parent), label_(label) {}

void StatusLine::writeStatus(NativeView text) {
    if (!label_) return;
    const QString shown = QFile::decodeName(QByteArray(text.data(), qsizetype(text.size())));
    label_->setText(shown);
    emit written(shown);
}

void StatusLine::handleEvents(platform::RunningTool& tool) {
    platform::handlePendingEvents(tool);
}

void StatusLine::detach() {
    label_.clear();
}

}  // namespace pomu::ui

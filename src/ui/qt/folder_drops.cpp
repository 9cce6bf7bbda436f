// The folder question on Qt's message box, and the search's slices on a zero timer.
#include "ui/qt/folder_drops.h"

#include <QFile>
#include <QTimer>
#include <QWidget>

namespace pomu::ui {

FolderDrops::FolderDrops(QWidget& owner, Prompts& prompts, StatusWindow& status,
                         const ConversionOptions& options, const RunState& runState,
                         HandOver handOver)
    : owner_(owner),
      prompts_(prompts),
      status_(status),
      handOver_(std::move(handOver)),
      intake_(*this, options, runState) {}

void FolderDrops::scheduleSlice() {
    // A zero timer fires once the events already waiting have been handled.
    QTimer::singleShot(0, this, [this] { intake_.slice(); });
}

void FolderDrops::showSearch(std::size_t entries) {
    status_.writeStatus(searchText(entries));
}

bool FolderDrops::askToConvert(NativeView question) {
    const QString text = QFile::decodeName(QByteArray(question.data(), qsizetype(question.size())));
    return prompts_.askYesNo(&owner_, QStringLiteral("pomu"), text);
}

void FolderDrops::handOver(Drop drop) {
    handOver_(std::move(drop));
}

}  // namespace pomu::ui

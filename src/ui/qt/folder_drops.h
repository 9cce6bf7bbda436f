// The window's drops on their way to the batches: dropped folders searched in slices from the
// event loop, and the one question about what they hold.
#pragma once

#include <QObject>
#include <functional>

#include "convert/drop_intake.h"
#include "ui/qt/prompts.h"

class QWidget;

namespace pomu::ui {

class FolderDrops : public QObject, private DropIntake::Window {
  public:
    using HandOver = std::function<void(Drop)>;
    FolderDrops(QWidget& owner, Prompts& prompts, StatusWindow& status,
                const ConversionOptions& options, const RunState& runState, HandOver handOver);

    DropIntake& intake() { return intake_; }
    const DropIntake& intake() const { return intake_; }

  private:
    void scheduleSlice() override;
    void showSearch(std::size_t entries) override;
    bool askToConvert(NativeView question) override;
    void handOver(Drop drop) override;

    QWidget& owner_;
    Prompts& prompts_;
    StatusWindow& status_;
    HandOver handOver_;
    DropIntake intake_;
};

}  // namespace pomu::ui

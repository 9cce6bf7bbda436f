// The window the compression runs under: it notes each output the archiver creates.
#pragma once

#include <vector>

#include "convert/status_window.h"
#include "fs/workspace.h"

namespace pomu {

// Passes the window on to the runner and, on each pass, notes in the workspace each output
// the archiver has created by then, so a later start can tell it from a file made afterwards.
class OutputWatch final : public StatusWindow {
  public:
    // strayVolumes: volumes that stood beside the target before the job; never its own.
    OutputWatch(StatusWindow& window, Workspace& workspace, NativeView target, bool split,
                const std::vector<int>& strayVolumes);
    void writeStatus(NativeView text) override;
    void showProgress(std::optional<double> fraction) override;
    void handleEvents(platform::RunningTool& tool) override;

    // Notes what the archiver has created since the last call.
    void noteCreated();

  private:
    StatusWindow& window_;
    Workspace& workspace_;
    NativeView target_;
    bool split_;
    const std::vector<int>& strays_;
    int noted_ = 0;
};

}  // namespace pomu

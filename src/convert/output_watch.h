// The window the compression runs under: it notes each output the archiver creates.
#pragma once

#include <vector>

#include "convert/status_window.h"
#include "fs/workspace.h"
#include "platform/platform.h"

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
    // The outputs seen being created that are still those files: a file put in the place of
    // one meanwhile (the user saved it, a sync client restored it) is not the job's to touch.
    std::vector<NativeString> ownOutputs() const;

  private:
    struct Seen {
        int number;  // 0 for the target, n for its n-th volume
        NativeString path;
        platform::FileIdentity identity;
    };

    StatusWindow& window_;
    Workspace& workspace_;
    NativeView target_;
    bool split_;
    const std::vector<int>& strays_;
    std::vector<Seen> seen_;
    std::size_t noted_ = 0;  // of seen_, those written to the workspace's note
};

}  // namespace pomu

// The window the compression runs under: it notes each output the archiver creates.
#pragma once

#include <vector>

#include "convert/status_window.h"
#include "fs/workspace.h"
#include "platform/platform.h"

namespace pomu {

// Passes the window on to the runner and, on each pass, notes in the workspace each output
// the archiver has created by then, so a later start can tell it from a file made afterwards.
// The output being written is held open meanwhile; one the archiver has finished is known by
// its identity as it was left, so it is this run's own on any disk, generation or not.
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
    // The archiver has ended: every output is finished and noted as it was left.
    void finish();
    // pomu itself wrote to these own outputs (a comment): they are known from here as they
    // stand, and any volume that writing began is noted as this run's.
    void rewritten(const std::vector<NativeString>& outputs);
    // The outputs seen being created that are still those files: a file put in the place of
    // one meanwhile (the user saved it, a sync client restored it) is not the job's to touch.
    std::vector<NativeString> ownOutputs() const;
    // Gives each own output that date.
    void date(std::int64_t modified);
    // Writes every output, and the folder's entries for them, through to the disk; false when
    // one is no longer this run's own or the disk did not take it.
    bool flush() const;

  private:
    struct Seen {
        int number;  // 0 for the target, n for its n-th volume
        NativeString path;
        platform::FileIdentity identity;         // as first seen; as left, once finished
        std::optional<platform::HeldFile> held;  // while the archiver may still write it
        bool lost = false;                       // another file took its place
        bool noted = false;                      // the workspace's note has this identity
    };
    bool isOwn(const Seen& seen) const;
    void finish(Seen& seen);
    void writeNotes();

    StatusWindow& window_;
    Workspace& workspace_;
    NativeView target_;
    bool split_;
    const std::vector<int>& strays_;
    std::vector<Seen> seen_;
};

}  // namespace pomu

// The new archive: compressed from the working folder, listed, proven, then kept or removed.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/output_watch.h"
#include "convert/plan.h"
#include "convert/room.h"
#include "convert/source_reading.h"

namespace pomu {

// Owns what the compression writes. Until it is kept, a half-written or unproven archive
// beside the source would look finished: what the archiver was seen creating goes when this
// goes, once nothing reads it any more; a file saved over it meanwhile stays.
class NewArchive {
  public:
    // With a password, the archive is made with it and read back only through it, and must
    // come out encrypted.
    NewArchive(StatusWindow& window, const RunState& runState, Workspace& workspace,
               const ConversionPlan& plan, const Secret* password = nullptr);
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;
    ~NewArchive();

    // Empty when the compression wrote a usable archive; its listing then starts, to run
    // while the working folder is walked and removed. The target's disk must first hold the
    // least the new archive takes. A ZIP gets the comment first (the proof tells whether it
    // came through).
    std::optional<ConversionOutcome> compress(bool show, const Needs& needs,
                                              std::string_view comment = {});
    // The new archive against what the source listed and the working folder held; read back
    // (tested) only when a source is to leave on its strength. Empty when the archive stands;
    // `proof` then says whether it holds all of the source or why the source stays.
    std::optional<ConversionOutcome> prove(const ListedArchive& source,
                                           const std::optional<std::vector<UnpackedFile>>& unpacked,
                                           bool test, ProofResult& proof);
    // Proven: from here a run cut short leaves a finished archive, not one to undo. Every
    // volume takes the given date, when there is one.
    void keep(std::optional<std::int64_t> modified);
    // On the disk before any source leaves: every volume and the folder's entries for them
    // written through, as this run left them. False when that cannot be done.
    bool flush() const;

  private:
    Secret input(int lines) const;
    void writeComment(std::string_view comment);

    StatusWindow& window_;
    const RunState& runState_;
    Workspace& workspace_;
    const ConversionPlan& plan_;
    const Secret* password_;
    std::vector<int> strays_;
    std::optional<OutputWatch> watch_;
    StartedRun listing_;
    bool kept_ = false;
};

}  // namespace pomu

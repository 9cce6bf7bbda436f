// Reading the source: its listing, and the extraction into the working folder beside it.
#pragma once

#include "convert/listed_archive.h"
#include "convert/plan.h"

namespace pomu {

// Owns the source's two archiver runs. Whatever of them still runs is stopped (and waited
// for) when the reading goes, so a source refused or failed half way never leaves the
// archiver writing into the working folder.
class SourceReading {
  public:
    SourceReading(StatusWindow& window, const RunState& runState, const ConversionPlan& plan);
    SourceReading(const SourceReading&) = delete;
    SourceReading& operator=(const SourceReading&) = delete;
    ~SourceReading();

    // The listing is the archiver printing headers: it runs beside a hidden extraction. A
    // shown console waits for it, so it never opens for a source that is refused.
    void start(bool show);
    // What the listing tells before anything is unpacked; a refusal stops the extraction.
    std::optional<ConversionOutcome> refusal();
    // The extraction followed to its end; empty when it ran to its end and unpacked files.
    std::optional<ConversionOutcome> unpack(NativeView workspace);

    const ListedArchive& listed() const { return listed_; }

  private:
    StatusWindow& window_;
    const RunState& runState_;
    const ConversionPlan& plan_;
    bool show_ = false;
    StartedRun listing_;
    StartedRun extraction_;
    ListedArchive listed_;
};

}  // namespace pomu

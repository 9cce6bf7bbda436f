// Reading archives: a finished listing in the proof's terms, and the source's listing with its
// extraction into the working folder beside it.
#pragma once

#include "convert/archive_types.h"
#include "convert/batch_password.h"
#include "convert/encryption.h"
#include "convert/listing.h"
#include "convert/plan.h"
#include "convert/proof.h"
#include "convert/runner.h"

namespace pomu {

// The listing, or why the proof cannot stand on it.
struct ListedArchive {
    Listing listing;
    std::uint64_t textBytes = 0;  // what the listing wrote: the next one takes about as much
    std::optional<ConversionOutcome> failure;
    std::optional<ArchiveType> type;  // the source's, when it is a plain archive
};

// Reads a listing started beside another step once it has ended.
ListedArchive readListing(StartedRun& started, NativeView archive, StatusWindow& window,
                          const RunState& runState);

bool ranToTheEnd(const ToolRun& run);

// A run that did not end by itself with success: stopped, not started, or its exit code.
ConversionOutcome failedRun(const ToolRun& run, Reason failure);

// The source's finished listing judged before anything is unpacked: its plain type noted, or
// why it is not converted (a password, a missing volume, not a plain archive, unreadable).
std::optional<ConversionOutcome> judgeSource(ListedArchive& listed, NativeView source,
                                             const RunState& runState, bool unlocked = false);

// What the proof found, named by its first file, or by the archive when it names none.
ConversionOutcome withProof(ConversionOutcome outcome, const ProofResult& proof,
                            NativeView archive);

// Owns the source's two archiver runs. Whatever of them still runs is stopped (and waited
// for) when the reading goes, so a source refused or failed half way never leaves the
// archiver writing into the working folder.
class SourceReading {
  public:
    // Starts the listing, the archiver printing headers: it tells every file's size before
    // anything is unpacked.
    SourceReading(StatusWindow& window, const RunState& runState, const ConversionPlan& plan);
    SourceReading(const SourceReading&) = delete;
    SourceReading& operator=(const SourceReading&) = delete;
    ~SourceReading();

    // What the listing tells before anything is unpacked. An encrypted source is opened with
    // the batch's password (none: nobody to ask); one that hides its names is listed again
    // with it, and never made into a ZIP.
    std::optional<ConversionOutcome> refusal(BatchPassword* passwords = nullptr, bool zip = false);
    // The extraction into the planned folder, followed to its end; empty when it ran to its
    // end and unpacked files.
    std::optional<ConversionOutcome> unpack(NativeView workspace, bool show);

    const ListedArchive& listed() const { return listed_; }
    // The password the source is read with; null for a source that is not encrypted.
    const Secret* password() const { return password_; }

  private:
    std::optional<ConversionOutcome> unlock(BatchPassword* passwords, bool zip);
    // After a failed extraction: whether 7-Zip said the password was wrong.
    bool passwordRefused(bool show);

    StatusWindow& window_;
    const RunState& runState_;
    const ConversionPlan& plan_;
    StartedRun listing_;
    StartedRun extraction_;
    StartedRun lineBreaks_;  // beside the extraction, where the archiver renames line breaks
    ListedArchive listed_;
    Encryption encryption_ = Encryption::none;
    BatchPassword* passwords_ = nullptr;
    const Secret* password_ = nullptr;
};

}  // namespace pomu

// An archive as the archiver lists it, and what an archiver run that did not succeed means.
#pragma once

#include <optional>

#include "convert/archive_types.h"
#include "convert/listing.h"
#include "convert/outcome.h"
#include "convert/proof.h"
#include "convert/runner.h"

namespace pomu {

// The listing, or why the proof cannot stand on it.
struct ListedArchive {
    Listing listing;
    std::optional<ConversionOutcome> failure;
    std::optional<ArchiveType> type;  // the source's, when it is a plain archive
};

// Reads a listing started beside another step once it has ended.
ListedArchive readListing(StartedRun& started, NativeView archive, StatusWindow& window,
                          const RunState& runState);

bool ranToTheEnd(const ToolRun& run);

// A run that did not end by itself with success: stopped, not started, or its exit code.
ConversionOutcome failedRun(const ToolRun& run, Reason failure);

// What the proof found, named by its first file, or by the archive when it names none.
ConversionOutcome withProof(ConversionOutcome outcome, const ProofResult& proof,
                            NativeView archive);

}  // namespace pomu

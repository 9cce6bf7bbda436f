// Reading a finished listing into the proof's terms, and the outcomes of failed runs.
#include "convert/listed_archive.h"

#include "convert/archiver.h"

namespace pomu {

bool ranToTheEnd(const ToolRun& run) {
    return run.started && !run.forced && run.exitCode && archiver::runSucceeded(*run.exitCode);
}

ConversionOutcome failedRun(const ToolRun& run, Reason failure) {
    if (run.forced) return outcomeOf(Reason::stopped);
    if (!run.started) return outcomeOf(Reason::notStarted);
    ConversionOutcome outcome = outcomeOf(failure);
    outcome.exitCode = run.exitCode;
    return outcome;
}

ConversionOutcome withProof(ConversionOutcome outcome, const ProofResult& proof,
                            NativeView archive) {
    outcome.proof = proof.failure;
    outcome.count = proof.count;
    outcome.detail = proof.file.empty() ? NativeString(archive) : fromUtf8(proof.file);
    return outcome;
}

ListedArchive readListing(StartedRun& started, NativeView archive, StatusWindow& window,
                          const RunState& runState) {
    ListedArchive listed;
    const ListingRun run = finishListing(started, window, runState);
    listed.listing = parseListing(run.output);
    if (ranToTheEnd(run.run)) return listed;
    if (run.run.forced || !run.run.started) {
        listed.failure = failedRun(run.run, Reason::proofFailed);
        return listed;
    }
    ProofResult broken;
    broken.failure = ProofFailure::listingFailed;
    listed.failure = withProof(outcomeOf(Reason::proofFailed), broken, archive);
    listed.failure->exitCode = run.run.exitCode;
    return listed;
}

}  // namespace pomu

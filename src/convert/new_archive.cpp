// Compressing, listing, proving and testing the new archive; removing it unless it was kept.
#include "convert/new_archive.h"

#include "convert/job.h"
#include "convert/room.h"
#include "convert/zip_comment.h"

namespace pomu {

NewArchive::NewArchive(StatusWindow& window, const RunState& runState, Workspace& workspace,
                       const ConversionPlan& plan)
    : window_(window), runState_(runState), workspace_(workspace), plan_(plan) {}

NewArchive::~NewArchive() {
    if (kept_) return;
    stopRun(listing_, window_);
    if (!watch_) return;
    for (const NativeString& output : watch_->ownOutputs()) platform::removeFile(output);
}

std::optional<ConversionOutcome> NewArchive::compress(bool show, std::uint64_t sourceBytes,
                                                      std::string_view comment) {
    // The new archive takes about what the source took; the disk must hold that much first.
    const NativeString folder = folderOf(plan_.target);
    const std::optional<platform::FreeSpace> room = platform::freeSpace(folder);
    if (room && !fits({sourceBytes, 1}, *room)) {
        return outcomeOf(Reason::noRoomToPack, placeOf(folder));
    }
    // Nothing stood at the target or its first volume when the job began, so what appears
    // there now is this job's own; other volumes that stand there are not.
    strays_ = strayVolumes(plan_);
    // Noted before the archiver writes, so the next start undoes a run cut short.
    if (!workspace_.noteOutput(plan_.target, plan_.split)) return outcomeOf(Reason::noWorkspace);
    // A target saved meanwhile counts as one that stood there: in split mode too, where the
    // archiver would try to update it.
    for (const NativeString& output : {plan_.target, plan_.firstOutputPath}) {
        if (platform::pathExists(output)) return outcomeOf(Reason::targetExists, output);
    }
    watch_.emplace(window_, workspace_, plan_.target, plan_.split, strays_);
    StartedRun started = startRun(plan_.compressCommand, show);
    const ToolRun run = finishRun(started, *watch_, runState_);
    watch_->noteCreated();
    if (!ranToTheEnd(run)) {
        if (run.started && !run.forced &&
            (isFull(platform::freeSpace(folder)) ||
             (started.tool && saysDiskFull(started.tool->latestOutput())))) {
            return outcomeOf(Reason::packingOutOfSpace, placeOf(folder));
        }
        return failedRun(run, Reason::compressionFailed);
    }
    if (!isUsableOutput(plan_.firstOutputPath)) return outcomeOf(Reason::noOutput);
    if (!comment.empty()) writeComment(comment);
    listing_ = startListingRun(plan_.outputListCommand);
    return std::nullopt;
}

std::optional<ConversionOutcome> NewArchive::prove(
    const ListedArchive& source, const std::optional<std::vector<UnpackedFile>>& unpacked,
    bool test, ProofResult& proof) {
    const ListedArchive packed = readListing(listing_, plan_.firstOutputPath, window_, runState_);
    if (packed.failure) return packed.failure;
    if (!unpacked) {
        ProofResult walk;
        walk.failure = ProofFailure::notWalked;
        return withProof(outcomeOf(Reason::proofFailed), walk, plan_.source);
    }
    // The source's type was found plain before the extraction, or the job stopped there.
    proof = proveConversion(source.listing, *unpacked, packed.listing, *source.type);
    if (!proof.holds() && !keepsSource(proof.failure)) {
        return withProof(outcomeOf(Reason::proofFailed), proof,
                         proof.ofSource ? plan_.source : plan_.firstOutputPath);
    }
    if (!test || !proof.holds()) return std::nullopt;
    // The data read back in full: a write error or a bad drive shows here, while the source
    // is still in place.
    const ToolRun run = runTool(plan_.testCommand, false, window_, runState_);
    if (ranToTheEnd(run)) return std::nullopt;
    return failedRun(run, Reason::testFailed);
}

void NewArchive::writeComment(std::string_view comment) {
    // Only volumes this run made, all of them and in order, take it; otherwise the archive
    // stays as 7-Zip wrote it, and the proof keeps the source.
    const std::vector<NativeString> volumes = watch_->ownOutputs();
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::optional<NativeString> own =
            plan_.split ? volumePath(plan_.target, int(i) + 1) : std::optional(plan_.target);
        if (own != volumes[i]) return;
    }
    const std::optional<NativeString> next =
        plan_.split ? volumePath(plan_.target, int(volumes.size()) + 1) : std::nullopt;
    if (!volumes.empty() && (next || !plan_.split) &&
        writeZipComment(volumes, next.value_or(NativeString()), plan_.volumeBytes, comment)) {
        // A volume the comment began is noted as one of this run's.
        watch_->noteCreated();
    }
}

void NewArchive::keep(std::optional<std::int64_t> modified) {
    kept_ = true;
    // A date that cannot be set leaves the proven archive as it is.
    if (modified && watch_) {
        for (const NativeString& output : watch_->ownOutputs()) {
            platform::setModifiedTime(output, *modified);
        }
    }
    workspace_.forgetOutput();
}

}  // namespace pomu

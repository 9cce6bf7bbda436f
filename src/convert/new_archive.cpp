// Compressing, listing, proving and testing the new archive; removing it unless it was kept.
#include "convert/new_archive.h"

#include "convert/archiver.h"
#include "convert/encryption.h"
#include "convert/job.h"
#include "convert/room.h"
#include "convert/zip_comment.h"

namespace pomu {

NewArchive::NewArchive(StatusWindow& window, const RunState& runState, Workspace& workspace,
                       const ConversionPlan& plan, const Secret* password)
    : window_(window),
      runState_(runState),
      workspace_(workspace),
      plan_(plan),
      password_(password) {}

// The password as a run of the new archive reads it: twice to make it, once to read it.
Secret NewArchive::input(int lines) const {
    return password_ ? password_->lines(lines) : Secret();
}

NewArchive::~NewArchive() {
    if (kept_) return;
    stopRun(listing_, window_);
    if (!watch_) return;
    bool removed = true;
    for (const NativeString& output : watch_->ownOutputs()) {
        if (!platform::removeFile(output)) removed = false;
    }
    watch_.reset();
    // One that another program holds (a scanner, a preview) stays noted for the next start.
    if (!removed) workspace_.leaveNote();
}

std::optional<ConversionOutcome> NewArchive::compress(bool show, const Needs& needs,
                                                      std::string_view comment) {
    if (auto refused = roomToPack(plan_, needs)) return refused;
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
    StartedRun started = startRun(plan_.compressCommand, show, input(2).bytes());
    const ToolRun run = finishRun(started, *watch_, runState_);
    watch_->finish();
    if (!ranToTheEnd(run)) {
        const NativeString folder = folderOf(plan_.target);
        if (ranOutOfSpace(run, started, folder)) {
            return outcomeOf(Reason::packingOutOfSpace, placeOf(folder));
        }
        return failedRun(run, Reason::compressionFailed);
    }
    if (!isUsableOutput(plan_.firstOutputPath)) return outcomeOf(Reason::noOutput);
    if (!comment.empty()) writeComment(comment);
    listing_ = startListingRun(plan_.outputListCommand, input(1).bytes());
    return std::nullopt;
}

std::optional<ConversionOutcome> NewArchive::prove(
    const ListedArchive& source, const std::optional<std::vector<UnpackedFile>>& unpacked,
    bool test, ProofResult& proof) {
    const ListedArchive packed = readListing(listing_, plan_.firstOutputPath, window_, runState_);
    if (packed.failure) return packed.failure;
    if (password_ &&
        !encryptedAsNeeded(packed.listing, plan_.targetExtension != archiver::kZipExtension)) {
        ProofResult open;
        open.failure = ProofFailure::notEncrypted;
        return withProof(outcomeOf(Reason::proofFailed), open, plan_.firstOutputPath);
    }
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
    const ToolRun run = runTool(plan_.testCommand, false, window_, runState_, input(1).bytes());
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
    if (volumes.empty() || (!next && plan_.split)) return;
    writeZipComment(volumes, next.value_or(NativeString()), plan_.volumeBytes, comment);
    // Written or cut back, the volumes are known from here as they stand now, and a volume the
    // comment began is one of this run's.
    watch_->rewritten(volumes);
}

void NewArchive::keep(std::optional<std::int64_t> modified) {
    kept_ = true;
    if (modified && watch_) watch_->date(*modified);
    workspace_.forgetOutput();
}

bool NewArchive::flush() const {
    return watch_ && watch_->flush();
}

}  // namespace pomu

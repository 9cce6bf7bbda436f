// Listings read into the proof's terms, the source's into a refusal or a plain archive, and its
// extraction followed.
#include "convert/source_reading.h"

#include <algorithm>

#include "convert/archiver.h"
#include "convert/rar_comment.h"
#include "convert/rar_support.h"
#include "convert/room.h"
#include "convert/zip_comment.h"

namespace pomu {
namespace {

// A password is needed, a volume is missing, it is no plain archive (a program, a document, a
// disk image), or the archiver cannot read it faithfully.
std::optional<ConversionOutcome> refusedSource(const ListedArchive& source, NativeView path,
                                               bool unlocked) {
    if (!unlocked && source.listing.anyEncrypted()) return outcomeOf(Reason::needsPassword);
    if (source.listing.missingVolume && source.listing.volumes) {
        ConversionOutcome outcome = outcomeOf(Reason::volumeMissing);
        outcome.count = *source.listing.volumes + 1;  // the volumes it opened come first
        return outcome;
    }
    if (source.failure) {
        // A source the archiver cannot even list is damaged or no archive: say so as such.
        if (source.failure->proof != ProofFailure::listingFailed) return source.failure;
        ConversionOutcome outcome = outcomeOf(Reason::sourceUnreadable);
        outcome.exitCode = source.failure->exitCode;
        return outcome;
    }
    if (!source.type) return outcomeOf(Reason::notPlainArchive, fromUtf8(source.listing.type));
    const ProofResult readable = checkSource(source.listing);
    if (!readable.holds()) return withProof(outcomeOf(Reason::proofFailed), readable, path);
    return std::nullopt;
}

// An archiver without the RAR codec fails on a RAR source as on a damaged one; the user must
// be told what to install instead.
ConversionOutcome unreadableRar(ConversionOutcome outcome, NativeView source,
                                const RunState& runState) {
    const bool unreadable =
        outcome.reason == Reason::sourceUnreadable || outcome.reason == Reason::extractionFailed;
    if (unreadable && runState.archiverReadsRar.has_value() && !*runState.archiverReadsRar &&
        isRarSource(source)) {
        return outcomeOf(Reason::noRarCodec);
    }
    return outcome;
}

}  // namespace

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
    ArchiveListingRun run = finishArchiveListing(started, window, runState);
    listed.listing = std::move(run.listing);
    listed.textBytes = run.textBytes;
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

SourceReading::SourceReading(StatusWindow& window, const RunState& runState,
                             const ConversionPlan& plan)
    : window_(window),
      runState_(runState),
      plan_(plan),
      listing_(startListingRun(plan.sourceListCommand)) {}

SourceReading::~SourceReading() {
    stopRun(lineBreaks_, window_);
    stopRun(extraction_, window_);
    stopRun(listing_, window_);
}

std::optional<ConversionOutcome> judgeSource(ListedArchive& listed, NativeView source,
                                             const RunState& runState, bool unlocked) {
    // A self-extracting program is read as the archive it carries, though its name made the
    // archiver try it as a program first.
    if (isSelfExtracting(listed.listing, source) && listed.listing.triedType == "PE") {
        listed.listing.triedType.clear();
    }
    listed.type = plainArchiveType(listed.listing, source);
    // 7-Zip lists no comment of a RAR 4 archive: its headers tell.
    if (listed.type && listed.type->type == "Rar" &&
        rarFourHasComment(source, listed.listing.offset)) {
        listed.listing.commentUnshown = true;
    }
    // Nor a zip's comment that begins with a NUL: its end record tells.
    if (listed.type && listed.type->type == "zip" && !listed.listing.comment) {
        const std::optional<std::string> comment = zipComment(source);
        if (comment && !comment->empty()) listed.listing.commentUnshown = true;
    }
    std::optional<ConversionOutcome> refused = refusedSource(listed, source, unlocked);
    if (!refused) return std::nullopt;
    return unreadableRar(*refused, source, runState);
}

std::optional<ConversionOutcome> SourceReading::unlock(BatchPassword* passwords, bool zip) {
    // Once the exit is forced, nothing more is asked.
    if (runState_.forceExit) return outcomeOf(Reason::stopped);
    if (!passwords) return outcomeOf(Reason::needsPassword);
    if (zip && encryption_ == Encryption::names) return outcomeOf(Reason::namesInZip);
    password_ = passwords->forSource();
    if (!password_) return outcomeOf(Reason::needsPassword);
    if (zip && !zipTakesPassword(password_->bytes())) return outcomeOf(Reason::zipPassword);
    passwords_ = passwords;
    if (encryption_ != Encryption::names) return std::nullopt;
    const Secret input = password_->lines(1);
    StartedRun again = startListingRun(plan_.sourceListCommand, input.bytes());
    listed_ = readListing(again, plan_.source, window_, runState_);
    // Given the password, only a wrong one leaves the archive unopened.
    if (again.tool && !listed_.listing.complete && listed_.listing.encrypted) {
        passwords->failedOn(plan_.source);
        return outcomeOf(Reason::wrongPassword);
    }
    return std::nullopt;
}

bool SourceReading::passwordRefused(bool show) {
    if (!show && extraction_.tool && saysWrongPassword(extraction_.tool->latestOutput())) {
        return true;
    }
    // The output was the user's to see, or its latest bytes no longer hold the words: a hidden
    // test of the source says it again.
    const std::optional<ToolCommand> probe = passwordProbe(plan_.extractCommand);
    if (!probe) return false;
    const Secret input = password_->lines(1);
    return saysWrongPassword(runListing(*probe, window_, runState_, input.bytes()).output);
}

std::optional<ConversionOutcome> SourceReading::refusal(BatchPassword* passwords, bool zip) {
    listed_ = readListing(listing_, plan_.source, window_, runState_);
    encryption_ = encryptionOf(listed_.listing);
    if (encryption_ != Encryption::none) {
        if (auto refused = unlock(passwords, zip)) return refused;
    }
    if (auto refused = judgeSource(listed_, plan_.source, runState_, password_ != nullptr)) {
        return refused;
    }
    // A '_' the listing shows may be a line break: the names as the archive keeps them tell.
    const auto underscore = [](const ListedEntry& entry) {
        return entry.path.find('_') != std::string_view::npos;
    };
    if (archiver::kRenamesLineBreaks &&
        std::any_of(listed_.listing.entries.begin(), listed_.listing.entries.end(), underscore)) {
        const Secret input = password_ ? password_->lines(1) : Secret();
        lineBreaks_ = startListingRun(plan_.lineBreakListCommand, input.bytes());
    }
    return std::nullopt;
}

std::optional<ConversionOutcome> SourceReading::unpack(NativeView workspace, bool show) {
    const Secret input = password_ ? password_->lines(1) : Secret();
    extraction_ = startRun(plan_.extractCommand, show, input.bytes());
    const ToolRun extracted = finishRun(extraction_, window_, runState_);
    if (!ranToTheEnd(extracted)) {
        // A disk that filled up is no damage of the archive's.
        if (ranOutOfSpace(extracted, extraction_, workspace)) {
            // The place named is the folder that holds the working folder.
            const NativeView folder =
                workspace.substr(0, workspace.find_last_not_of(kSeparator) + 1);
            return outcomeOf(Reason::unpackingOutOfSpace, placeOf(folderOf(folder)));
        }
        if (password_ && extracted.started && !extracted.forced && passwordRefused(show)) {
            passwords_->failedOn(plan_.source);
            return outcomeOf(Reason::wrongPassword);
        }
        return unreadableRar(failedRun(extracted, Reason::extractionFailed), plan_.source,
                             runState_);
    }
    if (!platform::folderHasEntries(workspace)) return outcomeOf(Reason::nothingExtracted);
    if (lineBreaks_.tool) {
        const ListedArchive renamed = readListing(lineBreaks_, plan_.source, window_, runState_);
        if (renamed.failure) return renamed.failure;
        if (!renamed.listing.entries.empty()) {
            listed_.listing.lineBreakName = std::string(renamed.listing.entries.front().path);
        }
    }
    return std::nullopt;
}

}  // namespace pomu

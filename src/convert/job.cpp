// The conversion job's steps, from the skip rule to moving the processed source away.
#include "convert/job.h"

#include <algorithm>
#include <vector>

#include "convert/archive_types.h"
#include "convert/archiver.h"
#include "convert/listing.h"
#include "convert/output_watch.h"
#include "convert/plan.h"
#include "convert/proof.h"
#include "convert/rar_support.h"
#include "convert/runner.h"
#include "fs/recycle.h"
#include "fs/workspace.h"

namespace pomu {
namespace {

// The archiver numbers volumes from .001; a set this long is beyond any real use.
constexpr int kMaxVolumes = 9999;
constexpr int kMaxScannedVolume = 999;

struct Snapshot {
    bool deleteAlready, show, div1GB, div100MB, deleteProcessed, zip, keepDate;
    bool split() const { return div1GB || div100MB; }
};

// What already stands where this job will write: the target and, in split mode, the run of
// volumes from .001 on.
std::vector<NativeString> existingOutputs(NativeView target, bool split) {
    std::vector<NativeString> found;
    if (platform::pathExists(target)) found.emplace_back(target);
    if (!split) return found;
    for (int number = 1; number <= kMaxVolumes; ++number) {
        const std::optional<NativeString> volume = volumePath(target, number);
        if (!volume || !platform::pathExists(*volume)) break;
        found.push_back(*volume);
    }
    return found;
}

// Volumes that stand beside the target before compression (a stray .003 with no .001).
std::vector<int> volumesPresent(NativeView target) {
    std::vector<int> present;
    for (int number = 1; number <= kMaxScannedVolume; ++number) {
        const std::optional<NativeString> volume = volumePath(target, number);
        if (volume && platform::pathExists(*volume)) present.push_back(number);
    }
    return present;
}

// Removes what a failed compression wrote, and only that.
void removePartialOutput(const OutputWatch& watch) {
    for (const NativeString& output : watch.ownOutputs()) platform::removeFile(output);
}

// Gives the new archive, every volume of it, the source's date. A date that cannot be set
// leaves the proven archive as it is.
void dateOutput(const OutputWatch& watch, std::int64_t modified) {
    for (const NativeString& output : watch.ownOutputs()) {
        platform::setModifiedTime(output, modified);
    }
}

// The sources as they stood before the extraction read them.
using SourceIdentities = std::vector<std::pair<NativeString, platform::FileIdentity>>;

SourceIdentities identitiesOf(const std::vector<NativeString>& sources) {
    SourceIdentities identities;
    for (const NativeString& source : sources) {
        // In order and without a gap: the set's sizes are added up from these.
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(source);
        if (!identity) break;
        identities.emplace_back(source, *identity);
    }
    return identities;
}

// Only a file that stood there unchanged before the extraction was converted; one that took
// its name meanwhile stays where it is.
bool wasConverted(const NativeString& source, const SourceIdentities& before) {
    const std::optional<platform::FileIdentity> now = platform::fileIdentity(source);
    return now && std::find(before.begin(), before.end(), std::pair(source, *now)) != before.end();
}

bool ranToTheEnd(const ToolRun& run) {
    return run.started && !run.forced && run.exitCode && archiver::runSucceeded(*run.exitCode);
}

ConversionOutcome notConverted(Reason reason, NativeView detail = {}) {
    ConversionOutcome outcome;
    outcome.reason = reason;
    outcome.detail = NativeString(detail);
    return outcome;
}

// A run that did not end by itself with success: stopped, not started, or its exit code.
ConversionOutcome failedRun(const ToolRun& run, Reason failure) {
    if (run.forced) return notConverted(Reason::stopped);
    if (!run.started) return notConverted(Reason::notStarted);
    ConversionOutcome outcome = notConverted(failure);
    outcome.exitCode = run.exitCode;
    return outcome;
}

// What the proof found, named by its first file, or by the archive when it names none.
ConversionOutcome withProof(ConversionOutcome outcome, const ProofResult& proof,
                            NativeView archive) {
    outcome.proof = proof.failure;
    outcome.count = proof.count;
    outcome.detail = proof.file.empty() ? NativeString(archive) : fromUtf8(proof.file);
    return outcome;
}

ConversionOutcome proofFailed(const ProofResult& proof, NativeView archive) {
    return withProof(notConverted(Reason::proofFailed), proof, archive);
}

// An archive as the archiver lists it, or why the proof cannot stand on its listing.
struct ListedArchive {
    Listing listing;
    std::optional<ConversionOutcome> failure;
    std::optional<ArchiveType> type;  // the source's, when it is a plain archive
};

// A listing started to run beside the step that follows; empty when its line does not fit.
std::optional<StartedRun> startArchiveListing(NativeView archive,
                                              const ConversionOptions& options) {
    const std::optional<ToolCommand> command = listCommand(options.sevenZipFolder, archive);
    if (!command) return std::nullopt;
    return startListingRun(*command);
}

ListedArchive readListing(std::optional<StartedRun>& started, NativeView archive,
                          StatusWindow& window, const RunState& runState) {
    ListedArchive listed;
    if (!started) {
        listed.failure = notConverted(Reason::pathTooLong);
        return listed;
    }
    ArchiveListingRun run = finishArchiveListing(*started, window, runState);
    listed.listing = std::move(run.listing);
    if (ranToTheEnd(run.run)) return listed;
    if (run.run.forced || !run.run.started) {
        listed.failure = failedRun(run.run, Reason::proofFailed);
        return listed;
    }
    ProofResult broken;
    broken.failure = ProofFailure::listingFailed;
    listed.failure = proofFailed(broken, archive);
    listed.failure->exitCode = run.run.exitCode;
    return listed;
}

// What the source's listing tells before anything is unpacked: a password is needed, a
// volume is missing, it is no plain archive (a program, a document, a disk image), or the
// archiver cannot read it faithfully.
std::optional<ConversionOutcome> refusedSource(const ListedArchive& source, NativeView path) {
    if (source.listing.anyEncrypted()) return notConverted(Reason::needsPassword);
    if (source.listing.missingVolume && source.listing.volumes) {
        ConversionOutcome outcome = notConverted(Reason::volumeMissing);
        outcome.count = *source.listing.volumes + 1;  // the volumes it opened come first
        return outcome;
    }
    if (source.failure) {
        // A source the archiver cannot even list is damaged or no archive: say so as such.
        if (source.failure->proof != ProofFailure::listingFailed) return source.failure;
        ConversionOutcome outcome = notConverted(Reason::sourceUnreadable);
        outcome.exitCode = source.failure->exitCode;
        return outcome;
    }
    if (!source.type) return notConverted(Reason::notPlainArchive, fromUtf8(source.listing.type));
    const ProofResult readable = checkSource(source.listing);
    if (!readable.holds()) return proofFailed(readable, path);
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
        return notConverted(Reason::noRarCodec);
    }
    return outcome;
}

// The source as the archiver lists it; a self-extracting program is read as the archive it
// carries, though its name made the archiver try it as a program first.
ListedArchive readSource(std::optional<StartedRun>& started, NativeView source,
                         StatusWindow& window, const RunState& runState) {
    ListedArchive listed = readListing(started, source, window, runState);
    if (isSelfExtracting(listed.listing, source) && listed.listing.triedType == "PE") {
        listed.listing.triedType.clear();
    }
    listed.type = plainArchiveType(listed.listing, source);
    return listed;
}

// The working folder's files, folders and links, named as the listings name them.
std::optional<std::vector<UnpackedFile>> unpackedFiles(NativeView workspace) {
    const std::optional<std::vector<platform::FolderFile>> files = platform::filesBelow(workspace);
    if (!files) return std::nullopt;
    std::vector<UnpackedFile> unpacked;
    unpacked.reserve(files->size());
    for (const platform::FolderFile& file : *files) {
        UnpackedFile found{normalizedPath(toUtf8(file.path)), file.size, file.link, file.folder,
                           std::nullopt};
        if (file.linkTarget) found.linkTarget = toUtf8(*file.linkTarget);
        unpacked.push_back(std::move(found));
    }
    return unpacked;
}

// The new archive's data read back in full; a write error or a bad drive shows here, while
// the source is still in place.
std::optional<ConversionOutcome> failedTest(NativeView archive, const ConversionOptions& options,
                                            StatusWindow& window, const RunState& runState) {
    const std::optional<ToolCommand> command = testCommand(options.sevenZipFolder, archive);
    if (!command) return notConverted(Reason::pathTooLong);
    const ToolRun run = runTool(*command, false, window, runState);
    if (ranToTheEnd(run)) return std::nullopt;
    return failedRun(run, Reason::testFailed);
}

ConversionOutcome convertedOutcome(Reason reason) {
    ConversionOutcome outcome;
    outcome.result = ConversionResult::converted;
    outcome.reason = reason;
    return outcome;
}

// The converted source to the Recycle Bin: its set whole as the archiver read it, each file
// only when it is still the one that was read.
ConversionOutcome moveSourcesAway(NativeView source, const SourceIdentities& before,
                                  const Listing& listing) {
    std::vector<SetMember> members;
    for (const auto& [path, identity] : before) members.push_back({path, identity.size});
    const std::vector<NativeString> leaving = leavingSources(source, members, listing);
    for (const NativeString& member : leaving) {
        if (wasConverted(member, before)) recycleFile(member);
    }
    return convertedOutcome(leaving.empty() ? Reason::setKept : Reason::converted);
}

// Converted, but the new archive cannot be shown to hold all of the source: it stays.
ConversionOutcome sourceKept(const ProofResult& proof, NativeView source) {
    return withProof(convertedOutcome(Reason::sourceKept), proof, source);
}

// An output that already stands where this job writes: left alone ("7z Exists!"), or moved to
// the Recycle Bin first. Empty when the way is clear.
std::optional<ConversionOutcome> makeRoom(StatusWindow& window, NativeView target, bool split,
                                          bool deleteAlready) {
    const std::vector<NativeString> existing = existingOutputs(target, split);
    if (existing.empty()) return std::nullopt;
    if (!deleteAlready) {
        window.writeStatus(kExistsText);
        return notConverted(Reason::targetExists, existing.front());
    }
    for (const NativeString& old : existing) {
        if (!recycleFile(old)) return notConverted(Reason::targetNotMoved, old);
    }
    return std::nullopt;
}

// The new archive against what the source listed and the working folder held; read back
// (tested) only when a source is to leave on its strength. Empty when the archive stands;
// `proof` then says whether it holds all of the source or why the source stays.
std::optional<ConversionOutcome> proveNewArchive(
    NativeView source, const ListedArchive& sourceListing,
    const std::optional<std::vector<UnpackedFile>>& unpacked, NativeView firstOutput,
    bool deleteProcessed, std::optional<StartedRun>& listing, const ConversionOptions& options,
    StatusWindow& window, const RunState& runState, ProofResult& proof) {
    const ListedArchive packed = readListing(listing, firstOutput, window, runState);
    if (packed.failure) return packed.failure;
    if (!unpacked) {
        ProofResult walk;
        walk.failure = ProofFailure::notWalked;
        return proofFailed(walk, source);
    }
    // The source's type was found plain before the extraction, or the job stopped there.
    proof = proveConversion(sourceListing.listing, *unpacked, packed.listing, *sourceListing.type);
    if (!proof.holds() && !proof.keepsSource()) {
        return proofFailed(proof, proof.ofSource ? source : firstOutput);
    }
    if (deleteProcessed && proof.holds()) return failedTest(firstOutput, options, window, runState);
    return std::nullopt;
}

}  // namespace

bool isUsableOutput(NativeView firstOutput) {
    const std::optional<std::uint64_t> size = platform::readFileSize(firstOutput);
    return size && *size > 0;
}

NativeString progressText(int index, int count) {
    NativeString text(kProcessingText);
    if (count == 1) return text;
    text += kLineBreak;
    text += POMU_T("(");
    text += toNative(index + 1);
    text += POMU_T("/");
    text += toNative(count);
    text += POMU_T(")");
    return text;
}

ConversionOutcome convertFile(StatusWindow& window, NativeView source, int index, int count,
                              const ConversionOptions& options, const RunState& runState) {
    // Menu changes made while this file runs take effect from the next file.
    const Snapshot snapshot{
        options.deleteAlready,   options.show, options.div1GB,  options.div100MB,
        options.deleteProcessed, options.zip,  options.keepDate};

    // A path that does not fit was cut somewhere on its way here: never act on it.
    if (source.empty() || !fitsPath(source)) return notConverted(Reason::pathTooLong);
    if (isSkipped(source, snapshot.zip)) return notConverted(Reason::skipped);
    // Refused before anything moves: the archiver would read these as its own syntax.
    if (holdsWildcard(source)) return notConverted(Reason::nameRefused, source);
    if (!isAcceptedLevel(options.level))
        return notConverted(Reason::settingRefused, POMU_T("level"));

    const std::optional<NativeString> target = targetPath(source, snapshot.zip);
    if (!target) return notConverted(Reason::pathTooLong);
    const std::optional<NativeString> firstOutput = firstOutputPath(*target, snapshot.split());
    if (!firstOutput) return notConverted(Reason::pathTooLong);

    if (auto blocked = makeRoom(window, *target, snapshot.split(), snapshot.deleteAlready)) {
        return *blocked;
    }

    window.writeStatus(progressText(index, count));

    std::optional<Workspace> workspace = prepareWorkspace();
    if (!workspace) return notConverted(Reason::noWorkspace);
    // What could not be cleared would be packed with this source's files.
    if (platform::folderHasEntries(workspace->path())) {
        return notConverted(Reason::workspaceNotEmpty);
    }

    const std::optional<ToolCommand> extract =
        extractCommand(options.sevenZipFolder, source, workspace->path());
    if (!extract) return notConverted(Reason::pathTooLong);
    const SourceIdentities sources =
        snapshot.deleteProcessed ? identitiesOf(volumeSet(source)) : SourceIdentities{};
    // Taken before the archiver reads the source: the new archive is dated as what it was made of.
    const std::optional<platform::FileIdentity> sourceFile = platform::fileIdentity(source);
    // The listing is the archiver printing headers: it runs beside a hidden extraction, which
    // stops when the listing refuses the source. A shown console waits, so it never opens for
    // a source that is refused.
    std::optional<StartedRun> sourceListed = startArchiveListing(source, options);
    std::optional<StartedRun> extraction;
    if (!snapshot.show) extraction = startRun(*extract, false);
    const ListedArchive sourceListing = readSource(sourceListed, source, window, runState);
    if (auto refused = refusedSource(sourceListing, source)) {
        if (extraction) stopRun(*extraction, window);
        return unreadableRar(*refused, source, runState);
    }
    if (!extraction) extraction = startRun(*extract, snapshot.show);
    const ToolRun extracted = finishRun(*extraction, window, runState);
    if (!ranToTheEnd(extracted)) {
        return unreadableRar(failedRun(extracted, Reason::extractionFailed), source, runState);
    }
    if (!platform::folderHasEntries(workspace->path())) {
        return notConverted(Reason::nothingExtracted);
    }

    const std::optional<ToolCommand> compress =
        compressCommand(options.sevenZipFolder, *target, workspace->path(), options.level,
                        snapshot.zip, snapshot.div100MB, snapshot.div1GB);
    if (!compress) return notConverted(Reason::pathTooLong);
    // Checked above: nothing stands at the target or its first volume, so what appears there
    // now is this job's own.
    const std::vector<int> strayVolumes =
        snapshot.split() ? volumesPresent(*target) : std::vector<int>{};
    // Noted before the archiver writes, so the next start undoes a run cut short; an output
    // that took the name meanwhile is not the archiver's to write into.
    if (!workspace->noteOutput(*target, snapshot.split())) return notConverted(Reason::noWorkspace);
    // A target saved meanwhile counts as one that stood there: in split mode too, where the
    // archiver would try to update it.
    for (const NativeString& output : {*target, *firstOutput}) {
        if (platform::pathExists(output)) return notConverted(Reason::targetExists, output);
    }
    OutputWatch watch(window, *workspace, *target, snapshot.split(), strayVolumes);
    const ToolRun compression = runTool(*compress, snapshot.show, watch, runState);
    watch.noteCreated();
    // The new archive's listing reads only the archive: it runs while the folder is walked and
    // removed.
    const bool packed = ranToTheEnd(compression) && isUsableOutput(*firstOutput);
    std::optional<StartedRun> packedListed =
        packed ? startArchiveListing(*firstOutput, options) : std::nullopt;
    // Walked before the folder goes: the new archive must hold exactly these files.
    const std::optional<std::vector<UnpackedFile>> unpacked =
        compression.started ? unpackedFiles(workspace->path()) : std::nullopt;
    workspace->remove();
    if (!compression.started) return notConverted(Reason::notStarted);
    // A half-written or unproven archive beside the source would look finished; it goes, once
    // nothing reads it any more.
    auto withoutOutput = [&](ConversionOutcome outcome) {
        if (packedListed) stopRun(*packedListed, window);
        removePartialOutput(watch);
        return outcome;
    };
    if (!ranToTheEnd(compression)) {
        return withoutOutput(failedRun(compression, Reason::compressionFailed));
    }
    if (!packed) return withoutOutput(notConverted(Reason::noOutput));

    ProofResult proof;
    if (auto failed =
            proveNewArchive(source, sourceListing, unpacked, *firstOutput, snapshot.deleteProcessed,
                            packedListed, options, window, runState, proof)) {
        return withoutOutput(*failed);
    }
    const bool sourcesLeave = snapshot.deleteProcessed && proof.holds();
    if (snapshot.keepDate && sourceFile) {
        dateOutput(watch, sourceFile->modified);
    }
    // Proven: from here a run cut short leaves a finished archive, not one to undo.
    workspace->forgetOutput();

    if (!snapshot.deleteProcessed) return convertedOutcome(Reason::converted);
    if (!sourcesLeave) return sourceKept(proof, source);
    return moveSourcesAway(source, sources, sourceListing.listing);
}

}  // namespace pomu

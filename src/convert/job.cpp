// The conversion job: the story of one file, from its plan to moving the processed source away.
#include "convert/job.h"

#include <algorithm>
#include <vector>

#include "convert/new_archive.h"
#include "convert/room.h"
#include "convert/zip_comment.h"
#include "fs/recycle.h"
#include "fs/workspace.h"

namespace pomu {
namespace {

// The source's files as they stood before the archiver read them: only these leave, and the
// new archive is dated as what it was made of.
struct SourceFiles {
    std::vector<std::pair<NativeString, platform::FileIdentity>> members;
    std::optional<platform::FileIdentity> source;

    explicit SourceFiles(const ConversionPlan& plan) : source(platform::fileIdentity(plan.source)) {
        for (const NativeString& member : plan.volumeSet) {
            // In order and without a gap: the set's sizes are added up from these.
            const std::optional<platform::FileIdentity> identity = platform::fileIdentity(member);
            if (!identity) break;
            members.emplace_back(member, *identity);
        }
    }

    // Only a file that stood there unchanged before the extraction was converted; one that
    // took its name meanwhile stays where it is. One that is gone is nobody's to move.
    enum class Now { gone, unchanged, changed };
    Now now(const NativeString& path) const {
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(path);
        if (!identity) return platform::pathExists(path) ? Now::changed : Now::gone;
        const bool same =
            std::find(members.begin(), members.end(), std::pair(path, *identity)) != members.end();
        return same ? Now::unchanged : Now::changed;
    }
};

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

// An output that already stands where this job writes: left alone ("7z Exists!"), or moved to
// the Recycle Bin first. Empty when the way is clear.
std::optional<ConversionOutcome> makeRoom(StatusWindow& window, const ConversionPlan& plan,
                                          bool deleteAlready) {
    const std::vector<NativeString> existing = existingOutputs(plan);
    if (existing.empty()) return std::nullopt;
    if (!deleteAlready)
        return targetStands(window, outcomeOf(Reason::targetExists, existing.front()));
    for (const NativeString& old : existing) {
        if (!recycleFile(old)) return outcomeOf(Reason::targetNotMoved, old);
    }
    return std::nullopt;
}

// The converted source to the Recycle Bin: its set whole as the archiver read it, each file
// only when it is still the one that was read. What the Recycle Bin refused is named.
ConversionOutcome moveSourcesAway(const ConversionPlan& plan, const SourceFiles& sources,
                                  const Listing& listing) {
    std::vector<SetMember> members;
    for (const auto& [path, identity] : sources.members) members.push_back({path, identity.size});
    const std::vector<NativeString> leaving = leavingSources(plan.source, members, listing);
    ConversionOutcome outcome = outcomeOf(leaving.empty() ? Reason::setKept : Reason::converted);
    for (const NativeString& member : leaving) {
        NativeString why;
        const SourceFiles::Now now = sources.now(member);
        if (now == SourceFiles::Now::gone) continue;
        if (now == SourceFiles::Now::changed) {
            staysChanged(outcome, member);
        } else if (recycleFile(member, &why)) {
            outcome.moved.push_back(member);
        } else {
            staysRefused(outcome, member, why);
        }
    }
    return outcome;
}

// A comic named as its new archive would be: skipped when it already is of that format;
// otherwise the new archive would take its own name, and it is left as it is.
ConversionOutcome namedAsTarget(StatusWindow& window, const RunState& runState, NativeView source,
                                const PlannedConversion& planned, bool zip) {
    const platform::FileKind kind = platform::fileKind(source);
    if (kind == platform::FileKind::missing) return outcomeOf(Reason::gone);
    if (kind != platform::FileKind::regular) return notAFile(source, kind);
    StartedRun started = startListingRun(*planned.sameNameListing);
    ListedArchive listed = readListing(started, source, window, runState);
    if (auto refused = judgeSource(listed, source, runState)) return *refused;
    if (listed.type->type == (zip ? "zip" : "7z"))
        return outcomeOf(planned.refusal, planned.detail);
    return outcomeOf(Reason::ownName, fromUtf8(listed.listing.type));
}

// The source's comment as a new ZIP carries it: a zip's own bytes from its end record, any
// other's text as its listing shows it. Empty where there is none to write.
std::string commentToCarry(const ListedArchive& listed, NativeView source, bool zip) {
    if (!zip || !listed.type || !listed.type->comments) return {};
    const std::optional<std::string> comment =
        listed.type->type == "zip" ? zipComment(source) : listed.listing.comment;
    if (!comment || comment->size() > kMaxZipCommentBytes) return {};
    return *comment;
}

}  // namespace

ConversionOutcome targetStands(StatusWindow& window, ConversionOutcome outcome) {
    window.writeStatus(kExistsText);
    return outcome;
}

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
                              const ConversionOptions& options, const RunState& runState,
                              BatchPassword* passwords) {
    // Menu changes made while this file runs take effect from the next file.
    const ConversionOptions snapshot = options;
    PlannedConversion planned = planConversion(source, snapshot);
    if (planned.sameNameListing) {
        return namedAsTarget(window, runState, source, planned, snapshot.zip);
    }
    if (!planned.plan) return outcomeOf(planned.refusal, planned.detail);
    ConversionPlan& plan = *planned.plan;
    // Gone by its turn (with a set that went, or moved away): nothing is shown for it.
    const platform::FileKind kind = platform::fileKind(plan.source);
    if (kind == platform::FileKind::missing) return outcomeOf(Reason::gone);
    if (auto blocked = makeRoom(window, plan, snapshot.deleteAlready)) return *blocked;

    window.writeStatus(progressText(index, count));
    // Only a regular file is handed to the archiver, which would block opening a fifo.
    if (kind != platform::FileKind::regular) return notAFile(plan.source, kind);
    const SourceFiles sources(plan);
    SourceReading reading(window, runState, plan);
    if (auto refused = reading.refusal(passwords, snapshot.zip)) return *refused;
    const Listing& listing = reading.listed().listing;
    const std::uint64_t sourceBytes = listing.totalPhysicalSize.value_or(
        listing.physicalSize.value_or(sources.source ? sources.source->size : 0));
    // The listing gives every file's size: the room is found before anything is unpacked.
    const WorkingPlace place =
        placeToUnpack(plan, listing, *reading.listed().type, sourceBytes,
                      reading.listed().textBytes, snapshot.level == POMU_T("0"));
    if (place.refusal) return *place.refusal;
    if (const auto name = tooLongName(listing, place.longestName)) {
        return outcomeOf(Reason::nameTooLong, fromUtf8(*name));
    }
    std::optional<Workspace> workspace =
        prepareWorkspace(place.beside ? std::optional<NativeView>(*place.beside) : std::nullopt);
    if (!workspace) return outcomeOf(Reason::noWorkspace);
    // What could not be cleared would be packed with this source's files.
    if (platform::folderHasEntries(workspace->path())) return outcomeOf(Reason::workspaceNotEmpty);
    const bool created = std::any_of(listing.entries.begin(), listing.entries.end(),
                                     [](const ListedEntry& entry) { return entry.created; });
    if (!planCommands(plan, workspace->path(), snapshot, created) ||
        (reading.password() && !encryptCommands(plan, snapshot.zip))) {
        return outcomeOf(Reason::pathTooLong);
    }
    if (const auto deep = tooDeep(listing, workspace->path())) {
        return outcomeOf(Reason::pathTooDeep, fromUtf8(*deep));
    }
    if (auto failed = reading.unpack(workspace->path(), snapshot.show)) return *failed;

    NewArchive archive(window, runState, *workspace, plan, reading.password());
    const std::string comment = commentToCarry(reading.listed(), plan.source, snapshot.zip);
    if (auto failed = archive.compress(snapshot.show, place.needs, comment)) return *failed;
    // Walked before the folder goes: the new archive must hold exactly these files.
    const std::optional<std::vector<UnpackedFile>> unpacked = unpackedFiles(workspace->path());
    workspace->remove();
    ProofResult proof;
    if (auto failed = archive.prove(reading.listed(), unpacked, snapshot.deleteProcessed, proof)) {
        return *failed;
    }
    archive.keep(snapshot.keepDate && sources.source
                     ? std::optional<std::int64_t>(sources.source->modified)
                     : std::nullopt);

    if (!snapshot.deleteProcessed) return outcomeOf(Reason::converted);
    if (!proof.holds()) {
        return withProof(outcomeOf(Reason::sourceKept), proof, plan.source);
    }
    // A power cut after the source left must not find the new archive still in the cache.
    if (!archive.flush()) return outcomeOf(Reason::notFlushed);
    return moveSourcesAway(plan, sources, reading.listed().listing);
}

}  // namespace pomu

// How a file's conversion ended: the job's record, and the one table that says what each reason
// means.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/platform.h"

namespace pomu {

enum class ConversionResult { notConverted = 0, converted = 1 };

// Why a file ended as it did, precise enough to tell the user in plain words. Each has one row
// in the table of outcomes: its words and how the file counts.
enum class Reason {
    converted,
    skipped,           // already in the target format
    pathTooLong,       // the source, the target or a command line does not fit
    targetExists,      // detail: the existing target
    targetNotMoved,    // detail: the existing target that could not go to the Recycle Bin
    noWorkspace,       // no private working folder could be prepared
    settingRefused,    // detail: the setting's name (a level that could inject switches)
    nameRefused,       // the source's name could not be passed to the archiver as it is
    notStarted,        // the archiver could not be started
    sourceUnreadable,  // exitCode: the archiver could not list the source at all
    noRarCodec,        // a RAR source, and the archiver has no RAR codec
    extractionFailed,  // exitCode
    needsPassword,     // encrypted, and no password was given
    volumeMissing,     // count: the number of the first volume that is missing
    nothingExtracted,
    compressionFailed,    // exitCode
    noOutput,             // no first output, or an empty one
    proofFailed,          // proof: what did not match
    workspaceNotEmpty,    // the working folder still held files before the extraction
    testFailed,           // exitCode: the new archive's data did not read back clean
    setKept,              // converted, but the volume set stays: its sizes do not add up
    stopped,              // force exit ended the archiver
    notPlainArchive,      // detail: the type the archiver reads it as (a program, a document)
    sourceKept,           // converted, but proof: why the source cannot be shown to be held
    notAFile,             // detail: the source; cause: its kind (a fifo, a device)
    volumeOfSet,          // detail: the first volume of the set it belongs to
    firstVolumeMissing,   // detail: the first volume, which is not there
    gone,                 // the dropped file was no longer there when its turn came
    madeInBatch,          // detail: the target; cause: the source it was made from
    trashRefused,         // converted; detail: the first file that stayed, count: how many
                          // stayed; cause: the system's reason
    noRoomToUnpack,       // detail: the place; needed and available bytes
    noRoomToPack,         // detail: the place of the new archive
    unpackingOutOfSpace,  // detail: the place the working folder filled
    packingOutOfSpace,    // detail: the place the new archive filled
    pathTooDeep,          // detail: the inner path the working folder cannot hold
    sourceChanged,        // converted; detail: the first source file that changed (or was
                          // replaced) after it was read, which stays
    notFlushed,           // converted; the new archive could not be written through to the
                          // disk, so no source leaves on its strength
    nameTooLong,          // detail: an inner name longer than the working folder's disk takes
    noArchives,           // a dropped folder searched in vain; detail: its name as shown
    folderUnsearched,     // a folder a search could not read; cause: why
    wrongPassword,        // the batch's password did not open the source
    namesInZip,           // the source hides its names, which a ZIP cannot
    zipPassword,          // the batch's password is one 7-Zip cannot give a ZIP
    ownName,              // detail: the type 7-Zip reads a comic as, whose new name is its own
};

// What the proof found, when it did not hold. Each has one row in the table of outcomes: its
// words and whether the new archive is still trusted (kept, with the source in place) or not
// (removed). detail: the archive whose listing failed or warned, or the first file concerned.
enum class ProofFailure {
    none,
    listingFailed,     // a listing did not end with 0 or reported an error (exitCode)
    unsupported,       // the source holds entries the archiver cannot unpack faithfully
    notUnpacked,       // count: files of the source that were not unpacked
    missingInArchive,  // count: unpacked files the new archive does not hold
    different,         // count: files whose size or CRC differ
    warning,           // a listing ended with 0 but warned (data after the end of the archive)
    extraInArchive,    // count: files the new archive holds beyond what was unpacked
    notWalked,         // the unpacked files could not all be looked at
    uncertainListing,  // a comment of the source could not be told from the listing's fields
    specialEntry,      // detail: "fifo: name" (a fifo, device, socket or unknown kind)
    folderWithData,    // a folder entry that holds data
    alternateStream,   // an NTFS alternate data stream
    antiItem,          // an entry that deletes a file on update
    nameChanged,       // a name the archiver changed on unpacking or packing
    guessedCodePage,   // a name decoded with a guessed code page
    linkChanged,       // a link whose target was not kept exactly
    absoluteLink,      // a link whose target is absolute
    extraUnpacked,     // the working folder held something the source does not list
    dateNotKept,       // a file's modification time did not come through
    escapedName,       // detail: the name, each character 7-Zip had to escape shown as '?'
    linkAsFolder,      // detail: a link an LZH archive keeps as a folder "name|target": name
    notEncrypted,      // the new archive is not encrypted where its source was
    otherMethod,       // detail: a file of the new ZIP whose method not every reader opens
    noCommentPlace,    // the source's comment, and the new archive is a 7z
    fileComment,       // detail: a file whose own comment the new archive cannot hold
    commentUnshown,    // the source has a comment 7-Zip does not show
    commentTooLong,    // the source's comment is longer than a ZIP's end record holds
    commentNotKept,    // the new ZIP's comment is not the source's
};

// What the proof does not compare, by decision: access times, owners and groups, permissions
// beyond what 7-Zip itself keeps, extended attributes and ACLs. A source whose files differ
// only in these still leaves.

// The job's result beside its 1/0: why, and the numbers or names that go with the reason.
struct ConversionOutcome {
    ConversionResult result = ConversionResult::notConverted;
    Reason reason = Reason::notStarted;
    ProofFailure proof = ProofFailure::none;
    std::optional<int> exitCode;
    int count = 0;
    NativeString detail;
    NativeString cause;
    std::uint64_t needed = 0, available = 0;  // bytes, for a lack of room
    std::vector<NativeString> moved;          // the sources that went to the Recycle Bin
    bool converted() const { return result == ConversionResult::converted; }
};

// How a file counts in the summary, the tooltip and the log.
enum class FileOutcome { converted, notConverted, skipped };

FileOutcome countsAs(const ConversionOutcome& outcome);

// The record of a file that ended for this reason, its 1/0 as the reason counts.
ConversionOutcome outcomeOf(Reason reason, NativeView detail = {});

// A file pomu was handed that is no regular file: why it is not opened.
ConversionOutcome notAFile(NativeView source, platform::FileKind kind);

// A source file that stays after its conversion: one that changed after it was read, or one
// the Recycle Bin refused (`why`: the system's words). The first says why; the refusals count.
void staysChanged(ConversionOutcome& outcome, NativeView file);
void staysRefused(ConversionOutcome& outcome, NativeView file, NativeView why);

// The new archive holds the source's files, but not provably all of the source: it is kept,
// and the source stays where it is. Any other failure means the new archive is not trusted.
bool keepsSource(ProofFailure failure);

// The archiver could not read the dropped path: for a folder, that is why.
bool isReadFailure(Reason reason);

// The reason in the words a user would use; empty for a converted file whose source could go.
NativeString reasonText(const ConversionOutcome& outcome);

}  // namespace pomu

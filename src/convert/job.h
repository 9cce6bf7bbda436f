// The conversion job: one dropped path turned into a new archive beside it.
#pragma once

#include <optional>

#include "convert/status_window.h"
#include "options/options.h"

namespace pomu {

enum class ConversionResult { notConverted = 0, converted = 1 };

// Why a file ended as it did, precise enough to tell the user in plain words.
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
    needsPassword,     // the source's listing shows encrypted entries
    volumeMissing,     // count: the number of the first volume that is missing
    nothingExtracted,
    compressionFailed,  // exitCode
    noOutput,           // no first output, or an empty one
    proofFailed,        // proof: what did not match
    workspaceNotEmpty,  // the working folder still held files before the extraction
    testFailed,         // exitCode: the new archive's data did not read back clean
    setKept,            // converted, but the volume set stays: its sizes do not add up
    stopped,            // force exit ended the archiver
    notPlainArchive,    // detail: the type the archiver reads it as (a program, a document)
    sourceKept,         // converted, but proof: why the source cannot be shown to be held
};

// What the proof found wrong, when it failed.
// detail: the archive whose listing failed or warned, or the first file concerned.
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
    // Those below keep the new archive, but the source stays where it is.
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
};

// The job's result beside its 1/0: why, and the numbers or names that go with the reason.
struct ConversionOutcome {
    ConversionResult result = ConversionResult::notConverted;
    Reason reason = Reason::notStarted;
    ProofFailure proof = ProofFailure::none;
    std::optional<int> exitCode;
    int count = 0;
    NativeString detail;
    bool converted() const { return result == ConversionResult::converted; }
};

inline constexpr NativeView kExistsText = POMU_T("7z Exists!");
inline constexpr NativeView kProcessingText = POMU_T("Processing file...");
#ifdef _WIN32
inline constexpr NativeView kLineBreak = POMU_T("\r\n");
#else
inline constexpr NativeView kLineBreak = POMU_T("\n");
#endif

// "Processing file..." alone for one file, with "(index+1/count)" on a second line otherwise.
NativeString progressText(int index, int count);

// The first output file proves success only when it opens and holds at least one byte.
bool isUsableOutput(NativeView firstOutput);

// Converts one source. The options are read once at entry (flags) and when the command lines
// are written (folder, level); the source is moved to the Recycle Bin only after a conversion
// that really succeeded.
ConversionOutcome convertFile(StatusWindow& window, NativeView source, int index, int count,
                              const ConversionOptions& options, const RunState& runState);

}  // namespace pomu

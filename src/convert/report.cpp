// The plain-English reasons of the job's record, the batch's report lines and its tooltip.
#include "convert/report.h"

#include "convert/plan.h"

namespace pomu {
namespace {

#ifdef _WIN32
constexpr NativeView kTrashName = L"the Recycle Bin";
constexpr NativeView kNoRarCodecText = L"this 7-Zip cannot read RAR (use the official 7-Zip)";
constexpr NativeView kNameSeparators = L"\\/";
#else
constexpr NativeView kTrashName = "the Trash";
constexpr NativeView kNoRarCodecText = "this 7-Zip cannot read RAR (install 7zip-rar or p7zip-rar)";
constexpr NativeView kNameSeparators = "/";
#endif

// The archiver's exit codes for a fatal error, a lack of memory, and a stop (Ctrl+C, or a
// question such as a password's that met the end of its input on the null device).
constexpr int kExitWarning = 1;
constexpr int kExitFatal = 2;
constexpr int kExitNoMemory = 8;
constexpr int kExitStopped = 255;

NativeView fileName(NativeView path) {
    const std::size_t cut = path.find_last_of(kNameSeparators);
    return cut == NativeView::npos ? path : path.substr(cut + 1);
}

NativeString counted(int count, NativeView one, NativeView many) {
    return toNative(count) + POMU_T(" ") + NativeString(count == 1 ? one : many);
}

NativeString withCode(NativeView text, int code) {
    return NativeString(text) + POMU_T(" (7-Zip exit code ") + toNative(code) + POMU_T(")");
}

// What an exit code means for every archiver run, where it means one thing only.
std::optional<NativeString> commonExit(int code) {
    if (code == kExitNoMemory) return withCode(POMU_T("not enough memory"), code);
    if (code == kExitStopped) return withCode(POMU_T("7-Zip stopped early"), code);
    return std::nullopt;
}

NativeString extractionText(std::optional<int> code) {
    if (!code) return POMU_T("could not be unpacked");
    if (auto common = commonExit(*code)) return *common;
    // A fatal error while unpacking: the archive could not be read as one.
    if (*code == kExitFatal) return withCode(POMU_T("damaged archive"), *code);
    return withCode(POMU_T("could not be unpacked"), *code);
}

NativeString compressionText(const ConversionOutcome& outcome) {
    const std::optional<int> code = outcome.exitCode;
    if (!code) return POMU_T("the new archive could not be written");
    if (auto common = commonExit(*code)) return *common;
    // The archiver warns (1) when it could not open files it was asked to pack.
    if (*code == kExitWarning) {
        if (outcome.count <= 0) return withCode(POMU_T("could not read every unpacked file"), 1);
        return POMU_T("7-Zip could not read ") +
               counted(outcome.count, POMU_T("unpacked file"), POMU_T("unpacked files"));
    }
    return withCode(POMU_T("the new archive could not be written"), *code);
}

// Why a converted source stays: what the proof could not show the new archive to hold.
NativeString keptText(const ConversionOutcome& outcome) {
    const NativeString& name = outcome.detail;
    switch (outcome.proof) {
        case ProofFailure::uncertainListing:
            return POMU_T("its comment cannot be told apart from 7-Zip's listing");
        case ProofFailure::specialEntry: {
            // "fifo: name"
            const std::size_t cut = name.find(POMU_T(": "));
            if (cut == NativeString::npos) return name + POMU_T(" is a special file");
            return name.substr(cut + 2) + POMU_T(" is a special file (") + name.substr(0, cut) +
                   POMU_T(")");
        }
        case ProofFailure::folderWithData:
            return POMU_T("the folder ") + name + POMU_T(" holds data");
        case ProofFailure::alternateStream:
            return name + POMU_T(" is an alternate data stream");
        case ProofFailure::antiItem:
            return name + POMU_T(" is an anti-item (a deletion)");
        case ProofFailure::nameChanged:
            return POMU_T("name changed by 7-Zip: ") + name;
        case ProofFailure::guessedCodePage:
            return POMU_T("name decoded with a guessed code page: ") + name;
        case ProofFailure::linkChanged:
            return POMU_T("the link ") + name + POMU_T(" did not keep its target");
        case ProofFailure::absoluteLink:
            return POMU_T("the link ") + name + POMU_T(" points to an absolute path");
        case ProofFailure::extraUnpacked:
            return POMU_T("7-Zip unpacked what the archive does not list: ") + name;
        case ProofFailure::none:
        case ProofFailure::listingFailed:
        case ProofFailure::unsupported:
        case ProofFailure::notUnpacked:
        case ProofFailure::missingInArchive:
        case ProofFailure::different:
        case ProofFailure::warning:
        case ProofFailure::extraInArchive:
        case ProofFailure::notWalked:
            break;
    }
    return POMU_T("the new archive could not be shown to hold all of it");
}

NativeString proofText(const ConversionOutcome& outcome) {
    switch (outcome.proof) {
        case ProofFailure::none:
            return POMU_T("the new archive could not be checked");
        case ProofFailure::listingFailed: {
            const NativeString text = POMU_T("could not list ") +
                                      NativeString(fileName(outcome.detail)) +
                                      POMU_T(" for the check");
            return outcome.exitCode ? withCode(text, *outcome.exitCode) : text;
        }
        case ProofFailure::warning:
            return POMU_T("7-Zip warned while reading ") + NativeString(fileName(outcome.detail));
        case ProofFailure::extraInArchive:
            return POMU_T("the new archive holds more than was unpacked (") +
                   counted(outcome.count, POMU_T("file"), POMU_T("files")) + POMU_T(" more)");
        case ProofFailure::notWalked:
            return POMU_T("the unpacked files could not all be checked");
        case ProofFailure::unsupported:
            return POMU_T("holds entries 7-Zip cannot unpack faithfully");
        case ProofFailure::notUnpacked:
            return counted(outcome.count, POMU_T("file of the archive was not unpacked"),
                           POMU_T("files of the archive were not unpacked"));
        case ProofFailure::missingInArchive:
            return POMU_T("the new archive does not hold everything (") +
                   counted(outcome.count, POMU_T("file"), POMU_T("files")) + POMU_T(" missing)");
        case ProofFailure::different:
            return POMU_T("the new archive differs from the source (") +
                   counted(outcome.count, POMU_T("file differs"), POMU_T("files differ")) +
                   POMU_T(")");
        case ProofFailure::uncertainListing:
        case ProofFailure::specialEntry:
        case ProofFailure::folderWithData:
        case ProofFailure::alternateStream:
        case ProofFailure::antiItem:
        case ProofFailure::nameChanged:
        case ProofFailure::guessedCodePage:
        case ProofFailure::linkChanged:
        case ProofFailure::absoluteLink:
        case ProofFailure::extraUnpacked:
            return keptText(outcome);
    }
    return POMU_T("the new archive could not be checked");
}

// The archiver could not read the dropped path: for a folder, that is why.
bool isReadFailure(Reason reason) {
    return reason == Reason::sourceUnreadable || reason == Reason::noRarCodec ||
           reason == Reason::extractionFailed || reason == Reason::nothingExtracted ||
           reason == Reason::proofFailed || reason == Reason::skipped;
}

}  // namespace

int BatchReport::count(FileOutcome outcome) const {
    int found = 0;
    for (const FileReport& file : files) found += file.outcome == outcome ? 1 : 0;
    return found;
}

NativeString reasonText(const ConversionOutcome& outcome) {
    switch (outcome.reason) {
        case Reason::converted:
            return {};
        case Reason::skipped:
            return POMU_T("already in the chosen format");
        case Reason::pathTooLong:
            return POMU_T("path too long");
        case Reason::targetExists:
            return POMU_T("already exists: ") + NativeString(fileName(outcome.detail));
        case Reason::targetNotMoved:
            return POMU_T("could not move the existing ") + NativeString(fileName(outcome.detail)) +
                   POMU_T(" to ") + NativeString(kTrashName);
        case Reason::noWorkspace:
            return POMU_T("no working folder could be prepared");
        case Reason::workspaceNotEmpty:
            return POMU_T("the working folder holds files that could not be removed");
        case Reason::settingRefused:
            return POMU_T("the setting ") + outcome.detail + POMU_T(" cannot be used");
        case Reason::nameRefused:
            return POMU_T("its name cannot be passed to 7-Zip as it is");
        case Reason::notStarted:
            return POMU_T("7-Zip could not be started");
        case Reason::sourceUnreadable:
        case Reason::extractionFailed:
            return extractionText(outcome.exitCode);
        case Reason::noRarCodec:
            return NativeString(kNoRarCodecText);
        case Reason::needsPassword:
            return POMU_T("needs a password");
        case Reason::volumeMissing:
            if (outcome.count <= 0) return POMU_T("a volume of the set is missing");
            return POMU_T("volume ") + toNative(outcome.count) + POMU_T(" of the set is missing");
        case Reason::nothingExtracted:
            return POMU_T("7-Zip unpacked nothing from it");
        case Reason::compressionFailed:
            return compressionText(outcome);
        case Reason::noOutput:
            return POMU_T("the new archive is missing or empty");
        case Reason::proofFailed:
            return proofText(outcome);
        case Reason::testFailed:
            if (!outcome.exitCode) return POMU_T("the new archive failed its test");
            return withCode(POMU_T("the new archive failed its test"), *outcome.exitCode);
        case Reason::setKept:
            return POMU_T("the volumes stay: their sizes do not add up to what 7-Zip read");
        case Reason::stopped:
            return POMU_T("stopped");
        case Reason::notPlainArchive:
            if (outcome.detail.empty()) return POMU_T("not an archive pomu re-packs");
            return POMU_T("not an archive pomu re-packs: 7-Zip reads it as ") + outcome.detail;
        case Reason::sourceKept:
            return POMU_T("source kept: ") + keptText(outcome);
    }
    return POMU_T("not converted");
}

FileReport describeFile(NativeView source, NativeView target, const ConversionOutcome& outcome,
                        bool sourceIsFolder, double seconds) {
    FileReport file;
    file.source = NativeString(source);
    file.target = NativeString(target);
    file.seconds = seconds;
    file.outcome = outcome.converted()                 ? FileOutcome::converted
                   : outcome.reason == Reason::skipped ? FileOutcome::skipped
                                                       : FileOutcome::notConverted;
    file.reason = sourceIsFolder && isReadFailure(outcome.reason)
                      ? NativeString(POMU_T("folder, not an archive"))
                      : reasonText(outcome);
    if (outcome.reason == Reason::skipped && !sourceIsFolder) {
        const NativeView extension = findExtension(source);
        if (!extension.empty())
            file.reason = POMU_T("already a ") + NativeString(extension) + POMU_T(" file");
    }
    return file;
}

NativeString reportLine(const FileReport& file) {
    NativeString line(fileName(file.source));
    line += POMU_T(": ");
    switch (file.outcome) {
        case FileOutcome::converted:
            // A converted file whose source stayed says why.
            if (!file.reason.empty()) return line + POMU_T("converted, ") + file.reason;
            return line + POMU_T("converted");
        case FileOutcome::skipped:
            return line + POMU_T("skipped, ") + file.reason;
        case FileOutcome::notConverted:
            return line + file.reason;
    }
    return line + file.reason;
}

NativeString tooltipText(const BatchReport& batch) {
    NativeString text;
    std::size_t shown = 0;
    std::size_t more = 0;
    for (const FileReport& file : batch.files) {
        if (file.outcome == FileOutcome::converted && file.reason.empty()) continue;
        if (shown == kTooltipFileLines) {
            ++more;
            continue;
        }
        text += reportLine(file);
        text += kLineBreak;
        ++shown;
    }
    if (shown == 0) return {};
    if (more > 0) {
        text += POMU_T("and ") + toNative(static_cast<long long>(more)) + POMU_T(" more");
        text += kLineBreak;
    }
    return text + NativeString(kOpenLogHint);
}

}  // namespace pomu

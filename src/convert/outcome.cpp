// The table of outcomes: for each reason and each proof failure, its words and what it means.
#include "convert/outcome.h"

#include <concepts>
#include <iterator>

namespace pomu {
namespace {

#ifdef _WIN32
constexpr NativeView kTrashName = L"the Recycle Bin";
constexpr NativeView kNoRarCodecText = L"this 7-Zip cannot read RAR (use the official 7-Zip)";
#else
constexpr NativeView kTrashName = "the Trash";
constexpr NativeView kNoRarCodecText = "this 7-Zip cannot read RAR (install 7zip-rar or p7zip-rar)";
#endif

// The archiver's exit codes for a warning, a fatal error, a lack of memory, and a stop (Ctrl+C,
// or a question such as a password's that met the end of its input on the null device).
constexpr int kExitWarning = 1;
constexpr int kExitFatal = 2;
constexpr int kExitNoMemory = 8;
constexpr int kExitStopped = 255;

// A row's words: fixed, or made from the record's numbers and names.
class Words {
  public:
    using Made = NativeString (*)(const ConversionOutcome&);
    constexpr Words(const Char* fixed) : fixed_(fixed) {}
    constexpr Words(NativeView fixed) : fixed_(fixed) {}
    // The record's detail between the two.
    constexpr Words(const Char* before, const Char* after) : fixed_(before), after_(after) {}
    template <typename Function>
    requires std::convertible_to<Function, Made>
    constexpr Words(Function made) : made_(made) {}
    NativeString operator()(const ConversionOutcome& outcome) const {
        if (made_) return made_(outcome);
        if (!after_) return NativeString(fixed_);
        return NativeString(fixed_) + outcome.detail + after_;
    }

  private:
    NativeView fixed_;
    const Char* after_ = nullptr;
    Made made_ = nullptr;
};

NativeString text(NativeView words) {
    return NativeString(words);
}

NativeString counted(int count, NativeView one, NativeView many) {
    return toNative(count) + POMU_T(" ") + NativeString(count == 1 ? one : many);
}

NativeString withCode(NativeView words, int code) {
    return NativeString(words) + POMU_T(" (7-Zip exit code ") + toNative(code) + POMU_T(")");
}

NativeString detailName(const ConversionOutcome& outcome) {
    return NativeString(fileNameOf(outcome.detail));
}

// What an exit code means for every archiver run, where it means one thing only.
std::optional<NativeString> commonExit(int code) {
    if (code == kExitNoMemory) return withCode(POMU_T("not enough memory"), code);
    if (code == kExitStopped) return withCode(POMU_T("7-Zip stopped early"), code);
    return std::nullopt;
}

NativeString extractionText(const ConversionOutcome& outcome) {
    const std::optional<int> code = outcome.exitCode;
    if (!code) return text(POMU_T("could not be unpacked"));
    if (auto common = commonExit(*code)) return *common;
    // A fatal error while unpacking: the archive could not be read as one.
    if (*code == kExitFatal) return withCode(POMU_T("damaged archive"), *code);
    return withCode(POMU_T("could not be unpacked"), *code);
}

NativeString compressionText(const ConversionOutcome& outcome) {
    const std::optional<int> code = outcome.exitCode;
    if (!code) return text(POMU_T("the new archive could not be written"));
    if (auto common = commonExit(*code)) return *common;
    // The archiver warns (1) when it could not open files it was asked to pack.
    if (*code == kExitWarning) {
        if (outcome.count <= 0) return withCode(POMU_T("could not read every unpacked file"), 1);
        return POMU_T("7-Zip could not read ") +
               counted(outcome.count, POMU_T("unpacked file"), POMU_T("unpacked files"));
    }
    return withCode(POMU_T("the new archive could not be written"), *code);
}

// "16.2 GB": binary units, as the system's own file windows count them.
NativeString sizeText(std::uint64_t bytes) {
    constexpr const Char* kUnits[] = {POMU_T("bytes"), POMU_T("KB"), POMU_T("MB"), POMU_T("GB"),
                                      POMU_T("TB")};
    if (bytes < 1024) return toNative(static_cast<long long>(bytes)) + POMU_T(" bytes");
    double value = double(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    const long long tenths = static_cast<long long>(value * 10 + 0.5);
    return toNative(tenths / 10) + POMU_T(".") + toNative(tenths % 10) + POMU_T(" ") + kUnits[unit];
}

NativeString specialText(const ConversionOutcome& outcome) {
    // "fifo: name"
    const NativeString& name = outcome.detail;
    const std::size_t cut = name.find(POMU_T(": "));
    if (cut == NativeString::npos) return name + POMU_T(" is a special file");
    return name.substr(cut + 2) + POMU_T(" is a special file (") + name.substr(0, cut) +
           POMU_T(")");
}

struct ProofRow {
    ProofFailure failure;
    bool keepsSource;  // the new archive is trusted: it stays, and so does the source
    Words words;
};

constexpr bool kKeepsSource = true;
constexpr bool kRemovesArchive = false;

// One row per proof failure, in the order of the enum.
constexpr ProofRow kProofRows[] = {
    {ProofFailure::none, kRemovesArchive, POMU_T("the new archive could not be checked")},
    {ProofFailure::listingFailed, kRemovesArchive,
     [](const ConversionOutcome& o) {
         const NativeString words =
             POMU_T("could not list ") + detailName(o) + POMU_T(" for the check");
         return o.exitCode ? withCode(words, *o.exitCode) : words;
     }},
    {ProofFailure::unsupported, kRemovesArchive,
     POMU_T("holds entries 7-Zip cannot unpack faithfully")},
    {ProofFailure::notUnpacked, kRemovesArchive,
     [](const ConversionOutcome& o) {
         return counted(o.count, POMU_T("file of the archive was not unpacked"),
                        POMU_T("files of the archive were not unpacked"));
     }},
    {ProofFailure::missingInArchive, kRemovesArchive,
     [](const ConversionOutcome& o) {
         return POMU_T("the new archive does not hold everything (") +
                counted(o.count, POMU_T("file"), POMU_T("files")) + POMU_T(" missing)");
     }},
    {ProofFailure::different, kRemovesArchive,
     [](const ConversionOutcome& o) {
         return POMU_T("the new archive differs from the source (") +
                counted(o.count, POMU_T("file differs"), POMU_T("files differ")) + POMU_T(")");
     }},
    {ProofFailure::warning, kRemovesArchive,
     [](const ConversionOutcome& o) {
         return POMU_T("7-Zip warned while reading ") + detailName(o);
     }},
    {ProofFailure::extraInArchive, kRemovesArchive,
     [](const ConversionOutcome& o) {
         return POMU_T("the new archive holds more than was unpacked (") +
                counted(o.count, POMU_T("file"), POMU_T("files")) + POMU_T(" more)");
     }},
    {ProofFailure::notWalked, kRemovesArchive,
     POMU_T("the unpacked files could not all be checked")},
    {ProofFailure::uncertainListing, kKeepsSource,
     POMU_T("its comment cannot be told apart from 7-Zip's listing")},
    {ProofFailure::specialEntry, kKeepsSource, specialText},
    {ProofFailure::folderWithData, kKeepsSource, {POMU_T("the folder "), POMU_T(" holds data")}},
    {ProofFailure::alternateStream,
     kKeepsSource,
     {POMU_T(""), POMU_T(" is an alternate data stream")}},
    {ProofFailure::antiItem, kKeepsSource, {POMU_T(""), POMU_T(" is an anti-item (a deletion)")}},
    {ProofFailure::nameChanged, kKeepsSource, {POMU_T("name changed by 7-Zip: "), POMU_T("")}},
    {ProofFailure::guessedCodePage,
     kKeepsSource,
     {POMU_T("name decoded with a guessed code page: "), POMU_T("")}},
    {ProofFailure::linkChanged,
     kKeepsSource,
     {POMU_T("the link "), POMU_T(" did not keep its target")}},
    {ProofFailure::absoluteLink,
     kKeepsSource,
     {POMU_T("the link "), POMU_T(" points to an absolute path")}},
    {ProofFailure::extraUnpacked,
     kKeepsSource,
     {POMU_T("7-Zip unpacked what the archive does not list: "), POMU_T("")}},
    {ProofFailure::dateNotKept, kKeepsSource, {POMU_T(""), POMU_T("'s date could not be kept")}},
    {ProofFailure::escapedName,
     kKeepsSource,
     {POMU_T(""), POMU_T(" could not keep its name on Windows")}},
    {ProofFailure::linkAsFolder,
     kKeepsSource,
     {POMU_T(""), POMU_T(" is a link 7-Zip cannot re-pack as a link")}},
    {ProofFailure::notEncrypted, kRemovesArchive,
     POMU_T("the new archive is not encrypted as the source was")},
    {ProofFailure::otherMethod,
     kRemovesArchive,
     {POMU_T(""), POMU_T(" was packed with a method not every zip reader opens")}},
    {ProofFailure::noCommentPlace, kKeepsSource,
     POMU_T("its comment has no place in a 7z archive (ZIP keeps it)")},
    {ProofFailure::fileComment,
     kKeepsSource,
     {POMU_T(""), POMU_T("'s file comment cannot be carried")}},
    {ProofFailure::commentUnshown, kKeepsSource, POMU_T("its comment cannot be read with 7-Zip")},
    {ProofFailure::commentTooLong, kKeepsSource,
     POMU_T("its comment is too long for a ZIP archive")},
    {ProofFailure::commentNotKept, kKeepsSource,
     POMU_T("its comment did not come through to the new archive")},
};

const ProofRow& rowOf(ProofFailure failure) {
    return kProofRows[std::size_t(failure)];
}

struct ReasonRow {
    Reason reason;
    FileOutcome counts;
    bool readFailure;  // a folder dropped as a file ends this way
    Words words;
};

constexpr bool kUnreadable = true;
constexpr bool kRead = false;
constexpr FileOutcome kConverted = FileOutcome::converted;
constexpr FileOutcome kNotConverted = FileOutcome::notConverted;

// One row per reason, in the order of the enum.
constexpr ReasonRow kReasonRows[] = {
    {Reason::converted, kConverted, kRead, POMU_T("")},
    {Reason::skipped, FileOutcome::skipped, kUnreadable,
     [](const ConversionOutcome& o) {
         if (o.detail.empty()) return text(POMU_T("already in the chosen format"));
         return POMU_T("already a ") + o.detail + POMU_T(" file");
     }},
    {Reason::pathTooLong, kNotConverted, kRead, POMU_T("path too long")},
    {Reason::targetExists, kNotConverted, kRead,
     [](const ConversionOutcome& o) { return POMU_T("already exists: ") + detailName(o); }},
    {Reason::targetNotMoved, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("could not move the existing ") + detailName(o) + POMU_T(" to ") +
                NativeString(kTrashName);
     }},
    {Reason::noWorkspace, kNotConverted, kRead, POMU_T("no working folder could be prepared")},
    {Reason::settingRefused,
     kNotConverted,
     kRead,
     {POMU_T("the setting "), POMU_T(" cannot be used")}},
    {Reason::nameRefused, kNotConverted, kRead,
     POMU_T("its name cannot be passed to 7-Zip as it is")},
    {Reason::notStarted, kNotConverted, kRead, POMU_T("7-Zip could not be started")},
    {Reason::sourceUnreadable, kNotConverted, kUnreadable, extractionText},
    {Reason::noRarCodec, kNotConverted, kUnreadable, kNoRarCodecText},
    {Reason::extractionFailed, kNotConverted, kUnreadable, extractionText},
    {Reason::needsPassword, kNotConverted, kRead, POMU_T("needs a password")},
    {Reason::volumeMissing, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         if (o.count <= 0) return text(POMU_T("a volume of the set is missing"));
         return POMU_T("volume ") + toNative(o.count) + POMU_T(" of the set is missing");
     }},
    {Reason::nothingExtracted, kNotConverted, kUnreadable,
     POMU_T("7-Zip unpacked nothing from it")},
    {Reason::compressionFailed, kNotConverted, kRead, compressionText},
    {Reason::noOutput, kNotConverted, kRead, POMU_T("the new archive is missing or empty")},
    {Reason::proofFailed, kNotConverted, kUnreadable,
     [](const ConversionOutcome& o) { return rowOf(o.proof).words(o); }},
    {Reason::workspaceNotEmpty, kNotConverted, kRead,
     POMU_T("the working folder holds files that could not be removed")},
    {Reason::testFailed, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         if (!o.exitCode) return text(POMU_T("the new archive failed its test"));
         return withCode(POMU_T("the new archive failed its test"), *o.exitCode);
     }},
    {Reason::setKept, kConverted, kRead,
     POMU_T("the volumes stay: their sizes do not add up to what 7-Zip read")},
    {Reason::stopped, kNotConverted, kRead, POMU_T("stopped")},
    {Reason::notPlainArchive, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         if (o.detail.empty()) return text(POMU_T("not an archive pomu re-packs"));
         return POMU_T("not an archive pomu re-packs: 7-Zip reads it as ") + o.detail;
     }},
    {Reason::sourceKept, kConverted, kRead,
     [](const ConversionOutcome& o) {
         const ProofRow& row = rowOf(o.proof);
         return POMU_T("source kept: ") +
                (row.keepsSource
                     ? row.words(o)
                     : text(POMU_T("the new archive could not be shown to hold all of it")));
     }},
    {Reason::notAFile, kNotConverted, kUnreadable,
     [](const ConversionOutcome& o) {
         return POMU_T("not a file pomu re-packs: ") + detailName(o) + POMU_T(" is ") + o.cause;
     }},
    {Reason::volumeOfSet, FileOutcome::skipped, kRead,
     [](const ConversionOutcome& o) { return POMU_T("a volume of ") + detailName(o); }},
    {Reason::firstVolumeMissing, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("the first volume (") + detailName(o) + POMU_T(") is missing");
     }},
    {Reason::gone, FileOutcome::skipped, kRead, POMU_T("no longer there")},
    {Reason::madeInBatch, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("already exists: ") + detailName(o) + POMU_T(" (made from ") +
                NativeString(fileNameOf(o.cause)) + POMU_T(" in this batch)");
     }},
    {Reason::trashRefused, kConverted, kRead,
     [](const ConversionOutcome& o) {
         NativeString words = POMU_T("source kept: ") + NativeString(kTrashName) +
                              POMU_T(" refused ") + detailName(o);
         if (o.count > 1) words += POMU_T(" and ") + toNative(o.count - 1) + POMU_T(" more");
         return words + POMU_T(" (") + o.cause + POMU_T(")");
     }},
    {Reason::noRoomToUnpack, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("not enough space for the working folder: needs ") + sizeText(o.needed) +
                POMU_T(", ") + sizeText(o.available) + POMU_T(" free in ") + o.detail;
     }},
    {Reason::noRoomToPack,
     kNotConverted,
     kRead,
     {POMU_T("not enough space for the new archive on "), POMU_T("")}},
    {Reason::unpackingOutOfSpace,
     kNotConverted,
     kRead,
     {POMU_T("no space left for the working folder in "), POMU_T("")}},
    {Reason::packingOutOfSpace,
     kNotConverted,
     kRead,
     {POMU_T("no space left for the new archive on "), POMU_T("")}},
    {Reason::pathTooDeep, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("a path inside is too long to unpack here: ") + detailName(o);
     }},
    {Reason::sourceChanged, kConverted, kRead,
     [](const ConversionOutcome& o) {
         return detailName(o) + POMU_T(" changed while it was converted: it stays");
     }},
    {Reason::notFlushed, kConverted, kRead,
     POMU_T("source kept: the new archive could not be written through to the disk")},
    {Reason::nameTooLong,
     kNotConverted,
     kRead,
     {POMU_T("a name inside is too long for this disk: "), POMU_T("")}},
    {Reason::noArchives, FileOutcome::skipped, kRead, {POMU_T("no archives in "), POMU_T("")}},
    {Reason::folderUnsearched, kNotConverted, kRead,
     [](const ConversionOutcome& o) {
         return POMU_T("this folder could not be searched (") + o.cause + POMU_T(")");
     }},
    {Reason::wrongPassword, kNotConverted, kRead, POMU_T("wrong password")},
    {Reason::namesInZip, kNotConverted, kRead, POMU_T("ZIP cannot hide the names")},
    {Reason::zipPassword, kNotConverted, kRead,
     POMU_T("a ZIP password must be ASCII, 99 characters at most")},
    {Reason::ownName,
     kNotConverted,
     kRead,
     {POMU_T("7-Zip reads it as "), POMU_T(": the new archive would take its own name")}},
};

// A row missing or out of place fails the build, not a user's batch.
template <typename Row, std::size_t count, typename Key>
constexpr bool keyedInOrder(const Row (&rows)[count], Key Row::*key, Key last) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::size_t(rows[i].*key) != i) return false;
    }
    return count == std::size_t(last) + 1;
}
static_assert(keyedInOrder(kReasonRows, &ReasonRow::reason, Reason::ownName));
static_assert(keyedInOrder(kProofRows, &ProofRow::failure, ProofFailure::commentNotKept));

const ReasonRow& rowOf(Reason reason) {
    return kReasonRows[std::size_t(reason)];
}

}  // namespace

FileOutcome countsAs(const ConversionOutcome& outcome) {
    return rowOf(outcome.reason).counts;
}

ConversionOutcome outcomeOf(Reason reason, NativeView detail) {
    ConversionOutcome outcome;
    outcome.reason = reason;
    outcome.result = rowOf(reason).counts == FileOutcome::converted
                         ? ConversionResult::converted
                         : ConversionResult::notConverted;
    outcome.detail = NativeString(detail);
    return outcome;
}

ConversionOutcome notAFile(NativeView source, platform::FileKind kind) {
    static constexpr const Char* kKinds[] = {
        POMU_T("gone"),     POMU_T("a file"),   POMU_T("a folder"),        POMU_T("a fifo"),
        POMU_T("a socket"), POMU_T("a device"), POMU_T("not a plain file")};
    ConversionOutcome outcome = outcomeOf(Reason::notAFile, source);
    outcome.cause = kKinds[std::size_t(kind)];
    return outcome;
}

void staysChanged(ConversionOutcome& outcome, NativeView file) {
    if (outcome.reason != Reason::converted) return;
    outcome.reason = Reason::sourceChanged;
    outcome.detail = NativeString(file);
}

void staysRefused(ConversionOutcome& outcome, NativeView file, NativeView why) {
    if (outcome.count++ > 0 || outcome.reason != Reason::converted) return;
    outcome.reason = Reason::trashRefused;
    outcome.detail = NativeString(file);
    outcome.cause = NativeString(why);
}

bool keepsSource(ProofFailure failure) {
    return rowOf(failure).keepsSource;
}

bool isReadFailure(Reason reason) {
    return rowOf(reason).readFailure;
}

NativeString reasonText(const ConversionOutcome& outcome) {
    return rowOf(outcome.reason).words(outcome);
}

}  // namespace pomu

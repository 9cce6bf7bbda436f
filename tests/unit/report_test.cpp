// The batch report's words for the job's records, the tooltip's limit, and the log's lines.
#include <gtest/gtest.h>

#include <chrono>

#include "convert/batch.h"
#include "convert/batch_log.h"
#include "convert/report.h"
#include "pomu_version.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::native;
using test::utf8;

#ifdef _WIN32
const std::string kTrash = "the Recycle Bin";
const std::string kBreak = "\r\n";
const std::string kNoRarCodec = "this 7-Zip cannot read RAR (use the official 7-Zip)";
#else
const std::string kTrash = "the Trash";
const std::string kBreak = "\n";
const std::string kNoRarCodec = "this 7-Zip cannot read RAR (install 7zip-rar or p7zip-rar)";
#endif

ConversionOutcome record(Reason reason, std::optional<int> exitCode = {}, int count = 0,
                         ProofFailure proof = ProofFailure::none, const std::string& detail = "") {
    ConversionOutcome outcome;
    outcome.reason = reason;
    outcome.exitCode = exitCode;
    outcome.count = count;
    outcome.proof = proof;
    outcome.detail = native(detail);
    return outcome;
}

struct ReasonCase {
    ConversionOutcome outcome;
    std::string text;
};

// Records the real archiver does not give yet are here; those it gives are rows of the fault
// matrix.
TEST(BatchReport, SaysWhyInPlainWords) {
    const std::string exists = (std::filesystem::path("dl") / "x.7z").string();
    const ReasonCase cases[] = {
        {record(Reason::needsPassword), "needs a password"},
        {record(Reason::volumeMissing, {}, 2), "volume 2 of the set is missing"},
        {record(Reason::extractionFailed, 2), "damaged archive (7-Zip exit code 2)"},
        {record(Reason::extractionFailed, 8), "not enough memory (7-Zip exit code 8)"},
        {record(Reason::compressionFailed, 1, 1), "7-Zip could not read 1 unpacked file"},
        {record(Reason::compressionFailed, 1),
         "could not read every unpacked file (7-Zip exit code 1)"},
        {record(Reason::proofFailed, {}, 3, ProofFailure::missingInArchive),
         "the new archive does not hold everything (3 files missing)"},
        {record(Reason::proofFailed, 2, 0, ProofFailure::listingFailed, exists),
         "could not list x.7z for the check (7-Zip exit code 2)"},
        {record(Reason::targetNotMoved, {}, 0, ProofFailure::none, exists),
         "could not move the existing x.7z to " + kTrash},
        {record(Reason::settingRefused, {}, 0, ProofFailure::none, "level"),
         "the setting level cannot be used"},
        {record(Reason::stopped), "stopped"},
        {record(Reason::pathTooLong), "path too long"},
        {record(Reason::noRarCodec), kNoRarCodec},
        {record(Reason::testFailed, 2), "the new archive failed its test (7-Zip exit code 2)"},
        {record(Reason::workspaceNotEmpty),
         "the working folder holds files that could not be removed"},
        {record(Reason::notPlainArchive, {}, 0, ProofFailure::none, "ELF"),
         "not an archive pomu re-packs: 7-Zip reads it as ELF"},
        {record(Reason::sourceKept, {}, 1, ProofFailure::specialEntry, "fifo: dir/pipe"),
         "source kept: dir/pipe is a special file (fifo)"},
        {record(Reason::sourceKept, {}, 1, ProofFailure::nameChanged, "a:b.txt"),
         "source kept: name changed by 7-Zip: a:b.txt"},
    };
    for (const ReasonCase& c : cases) {
        EXPECT_EQ(utf8(reasonText(c.outcome)), c.text);
    }
}

FileReport file(const std::string& name, FileOutcome outcome, const std::string& reason = "") {
    FileReport report;
    report.source = native(name);
    report.outcome = outcome;
    report.reason = native(reason);
    return report;
}

TEST(BatchReport, TooltipNamesAtMostTenFilesAndOnlyAfterFailures) {
    BatchReport many;
    many.files.push_back(file("ok.zip", FileOutcome::converted));
    for (int i = 1; i <= 12; ++i) {
        many.files.push_back(
            file("f" + std::to_string(i) + ".rar", FileOutcome::notConverted, "needs a password"));
    }
    std::string expected;
    for (int i = 1; i <= 10; ++i)
        expected += "f" + std::to_string(i) + ".rar: needs a password" + kBreak;
    expected += "and 2 more" + kBreak + "Double-click to open the log.";

    BatchReport skipped;
    skipped.files = {file("a.zip", FileOutcome::converted),
                     file("b.7z", FileOutcome::skipped, "already a .7z file")};
    BatchReport kept;
    kept.files = {file("a.zip", FileOutcome::converted),
                  file("b.zip", FileOutcome::converted, "source kept: name changed by 7-Zip: x")};
    BatchReport clean;
    clean.files = {file("a.zip", FileOutcome::converted), file("b.zip", FileOutcome::converted)};

    const BatchReport empty;
    const std::pair<const BatchReport*, std::string> cases[] = {
        {&many, expected},
        {&skipped, "b.7z: skipped, already a .7z file" + kBreak + "Double-click to open the log."},
        {&kept, "b.zip: converted, source kept: name changed by 7-Zip: x" + kBreak +
                    "Double-click to open the log."},
        {&clean, ""},
        {&empty, ""},
    };
    for (const auto& [batch, text] : cases) EXPECT_EQ(utf8(tooltipText(*batch)), text);
}

// A name's line breaks and tabs would forge lines and columns; the log stays UTF-8.
TEST(BatchLog, KeepsEachFileOnOneUtf8Line) {
    struct Case {
        NativeString source;
        std::string field;
    };
    const Case cases[] = {
        {native("a\nb\tc.zip"), "a?b?c.zip"},
        {native("日本.zip"), "日本.zip"},
#ifdef _WIN32
        {NativeString(L"x\xD800y.zip"), "x\xEF\xBF\xBDy.zip"},
#else
        {NativeString("x\xFFy\xC0\x80.zip"), "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD.zip"},
#endif
    };
    for (const Case& c : cases) {
        FileReport report{.source = c.source,
                          .target = native("t.7z"),
                          .outcome = FileOutcome::notConverted,
                          .reason = native("stopped"),
                          .seconds = 2.26};
        EXPECT_EQ(
            fileLogLine("2026-12-08 10:00:00", report),
            "2026-12-08 10:00:00\tnot converted\tstopped\t" + c.field + "\tt.7z\t2.26 s" + kBreak);
    }
}

// The batch's line counts each outcome and names the pomu that wrote it.
TEST(BatchLog, BatchLineCountsOutcomesAndNamesTheVersion) {
    BatchReport one;
    one.files = {file("a.zip", FileOutcome::converted)};
    one.seconds = 1.5;
    BatchReport mixed;
    mixed.files = {file("a.zip", FileOutcome::converted), file("b.7z", FileOutcome::skipped),
                   file("c.rar", FileOutcome::notConverted), file("d.zip", FileOutcome::converted)};
    BatchReport stopped = mixed;
    stopped.stopped = true;
    const std::string version = " (pomu " POMU_VERSION ")";
    const std::pair<const BatchReport*, std::string> cases[] = {
        {&one, "1 file: 1 converted, 0 not converted, 0 skipped" + version + "\t\t\t1.50 s"},
        {&mixed, "4 files: 2 converted, 1 not converted, 1 skipped" + version + "\t\t\t0.00 s"},
        {&stopped, "4 files: 2 converted, 1 not converted, 1 skipped, stopped by force exit" +
                       version + "\t\t\t0.00 s"},
    };
    for (const auto& [batch, text] : cases) {
        EXPECT_EQ(batchLogLine("2026-12-08 10:00:00", *batch),
                  "2026-12-08 10:00:00\tbatch\t" + text + kBreak);
    }
}

// Later volumes dropped before their first: each finds its set by one lookup, so a drop four
// times as large takes about four times as long, never sixteen.
TEST(BatchMemory, ADropOfManyVolumesStaysLinear) {
    test::ScratchFolder folder;
    const auto timed = [&](int count) {
        std::vector<NativeString> paths;
        for (int k = 2; k <= count; ++k) {
            paths.push_back(folder.file("set.part" + std::to_string(k) + ".rar"));
        }
        paths.push_back(folder.file("set.part1.rar"));
        auto best = std::chrono::steady_clock::duration::max();
        for (int run = 0; run < 2; ++run) {
            HeadlessWindow window;
            const ConversionOptions options;
            RunState runState;
            runState.archiverReadsRar = true;
            DropBatches batches(window, options, runState, std::nullopt);
            const auto start = std::chrono::steady_clock::now();
            batches.drop(paths);
            best = std::min(best, std::chrono::steady_clock::now() - start);
            EXPECT_EQ(batches.lastReport().files.size(), paths.size());
        }
        return best;
    };
    const auto small = timed(4000);
    EXPECT_LT(timed(16000), 8 * small + std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace pomu

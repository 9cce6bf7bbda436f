// Fault rows about drop batches: progress counters, the summary, the report and the log.
#include <gtest/gtest.h>

#include <algorithm>

#include "convert/batch_log.h"
#include "faults/fault_rows.h"
#include "faults/zip_writer.h"

namespace pomu::faults {
namespace {

std::string progress(int index, int count) {
    return kProcessing + kBreak + "(" + std::to_string(index) + "/" + std::to_string(count) + ")";
}

// A file about 4,275 bytes below the working folder, in folders of up to 250 characters, one of
// which lies 1,025 characters deep on its volume (a Windows path without its drive).
std::string deepInnerPath(const fs::path& temp) {
    NativeString folder = (temp / "pomu").native();
    if (folder.size() > 1 && folder[1] == ':') folder.erase(0, 2);
    // Each folder with its separator; a temp folder deeper than that (Linux) needs no mark.
    const std::size_t toMark = folder.size() < 1024 ? 1025 - folder.size() : 2;
    const std::size_t count = (toMark + 250) / 251;
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        path += std::string((toMark - count) / count + (i < (toMark - count) % count), 'y') + "/";
    }
    const std::string file = "deep.txt";
    for (std::size_t left; (left = 4275 - path.size() - file.size()) > 1;) {
        path += std::string(std::min<std::size_t>(left - 1, 250), 'y') + "/";
    }
    return path + file;
}

}  // namespace

std::vector<Row> batchRows() {
    return {
        // The skipped third file shows nothing; the broken second one counts for nothing.
        {.name = "BatchCountsOnlyRealConversions",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.archive("first.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.write("broken.zip", "not an archive at all");
                 s.archive("already.7z", sampleFiles(), {POMU_T("-t7z")});
                 s.archive("fourth.tar", sampleFiles(), {POMU_T("-ttar")});
                 s.dropped = {s.file("first.zip"), s.file("broken.zip"), s.file("already.7z"),
                              s.file("fourth.tar")};
             },
         .converted = 2,
         .texts = {progress(1, 4), progress(2, 4), progress(4, 4), "2 7z complete!"},
         .report = {"first.zip: converted", "broken.zip: damaged archive (7-Zip exit code 2)",
                    "already.7z: skipped, already a .7z file", "fourth.tar: converted"},
         .outputs = {"first.7z", "fourth.7z"},
         .trashed = {"first.zip", "fourth.tar"},
         .check =
             [](Scene& s) {
                 for (const char* name : {"first.7z", "fourth.7z"}) {
                     EXPECT_EQ(unpacked(s.file(name)), test::fingerprints(sampleFiles())) << name;
                 }
             }},
        // Two sources with one target: the second never replaces what the first just made.
        {.name = "BatchWithOneTargetTwice",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteAlready = true;
                 s.options.deleteProcessed = true;
                 s.archive("same.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.archive("same.tar", {{"other.txt", "other"}}, {POMU_T("-ttar")});
                 s.dropped = {s.file("same.zip"), s.file("same.tar")};
             },
         .converted = 1,
         .texts = {progress(1, 2), kExists, "1 7z complete!"},
         .report = {"same.zip: converted",
                    "same.tar: already exists: same.7z (made from same.zip in this batch)"},
         .outputs = {"same.7z"},
         .trashed = {"same.zip"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(unpacked(s.file("same.7z")), test::fingerprints(sampleFiles()));
             }},
        // A dropped file deleted before its turn came.
        {.name = "BatchWithAFileGoneByItsTurn",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.archive("first.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.archive("moved.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.dropped = {s.file("first.zip"), s.file("moved.zip")};
                 s.duringRun = [](Scene& s) {
                     if (s.hookActed) return;
                     std::error_code error;
                     s.hookActed = fs::remove(s.file("moved.zip"), error);
                 };
             },
         .converted = 1,
         .texts = {progress(1, 2), "1 7z complete!"},
         .report = {"first.zip: converted", "moved.zip: skipped, no longer there"},
         .outputs = {"first.7z"},
         .touched = {"moved.zip"}},
        {.name = "BatchWhereNothingConverts",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("zero.zip", "");
                 fs::create_directory(s.files / "folder.rar");
                 s.dropped = {s.file("zero.zip"), s.file("folder.rar")};
             },
         .texts = {progress(1, 2), progress(2, 2), "0 7z complete!"},
         .report = {"zero.zip: damaged archive (7-Zip exit code 2)",
                    "folder.rar: folder, not an archive"}},
        // 7-Zip cannot unpack a path that long on Linux, nor under Wine (4,095 bytes either way),
        // and leaves the folders it made; they go, and the next file finds the working folder
        // empty.
        {.name = "BatchAfterADeepInnerPath",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("deep.zip", zipBytes({{deepInnerPath(s.tmp), "deep"}}));
                 s.archive("next.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.dropped = {s.file("deep.zip"), s.file("next.zip")};
             },
         .converted = 1,
         .texts = {progress(1, 2), progress(2, 2), "1 7z complete!"},
#ifndef _WIN32
         .report = {"deep.zip: a path inside is too long to unpack here: deep.txt",
                    "next.zip: converted"},
#endif
         .outputs = {"next.7z"},
         .trashed = {"next.zip"}},
        // "7z Exists!" also in ZIP mode, replaced by the next file's progress at once.
        {.name = "BatchInZipModeWithAnExistingTarget",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.archive("kept.7z", sampleFiles(), {POMU_T("-t7z")});
                 s.write("kept.zip", "an older zip");
                 s.archive("fresh.7z", sampleFiles(), {POMU_T("-t7z")});
                 s.dropped = {s.file("kept.7z"), s.file("fresh.7z")};
                 // The log of an earlier batch stays and the new lines follow it.
                 s.logBefore = "2026-01-01 10:00:00\tbatch\t1 file: 1 converted\t\t\t1.0 s\n";
                 test::writeFile(s.logFile, s.logBefore);
             },
         .converted = 1,
         .texts = {kExists, progress(2, 2), "1 zip complete!"},
         .report = {"kept.7z: already exists: kept.zip", "fresh.7z: converted"},
         .outputs = {"fresh.zip"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(unpacked(s.file("fresh.zip")), test::fingerprints(sampleFiles()));
             }},
        // The first line that would take the log past 1 MiB moves it to pomu.log.1, replacing
        // the older one; the new log starts with that line.
        {.name = "BatchLogRotatesAtOneMebibyte",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.archive("one.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.dropped = {s.file("one.zip")};
                 s.kept = std::string(kLogLimitBytes - 40, 'x') + "\n";
                 test::writeFile(s.logFile, s.kept);
                 test::writeFile(s.logFile + POMU_T(".1"), "the oldest log\n");
             },
         .converted = 1,
         .texts = {kProcessing, "1 7z complete!"},
         .report = {"one.zip: converted"},
         .outputs = {"one.7z"},
         .check = [](Scene& s) { EXPECT_EQ(test::readFile(s.logFile + POMU_T(".1")), s.kept); }},
        // A log that cannot be written changes nothing for the conversion.
        {.name = "BatchWithALogThatCannotBeWritten",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.archive("one.zip", sampleFiles(), {POMU_T("-tzip")});
                 s.dropped = {s.file("one.zip")};
                 s.logBlocked = true;
                 std::string why;
#ifdef _WIN32
                 s.logBefore = "held by another program\r\n";
                 test::writeFile(s.logFile, s.logBefore);
                 s.need(heldForReading(s.logFile, why), why);
#else
                 s.need(readOnlyFolder(s.logs.path(), why), why);
#endif
             },
         .converted = 1,
         .texts = {kProcessing, "1 7z complete!"},
         .report = {"one.zip: converted"},
         .outputs = {"one.7z"}},
    };
}

}  // namespace pomu::faults

// Fault rows about drop batches: progress counters and the summary when some files fail.
#include <gtest/gtest.h>

#include "faults/fault_rows.h"

namespace pomu::faults {
namespace {

std::string progress(int index, int count) {
    return kProcessing + kBreak + "(" + std::to_string(index) + "/" + std::to_string(count) + ")";
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
         .outputs = {"first.7z", "fourth.7z"},
         .trashed = {"first.zip", "fourth.tar"},
         .check =
             [](Scene& s) {
                 for (const char* name : {"first.7z", "fourth.7z"}) {
                     EXPECT_EQ(unpacked(s.file(name)), test::fingerprints(sampleFiles())) << name;
                 }
             }},
        {.name = "BatchWhereNothingConverts",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("zero.zip", "");
                 fs::create_directory(s.files / "folder.rar");
                 s.dropped = {s.file("zero.zip"), s.file("folder.rar")};
             },
         .texts = {progress(1, 2), progress(2, 2), "0 7z complete!"}},
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
             },
         .converted = 1,
         .texts = {kExists, progress(2, 2), "1 zip complete!"},
         .outputs = {"fresh.zip"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(unpacked(s.file("fresh.zip")), test::fingerprints(sampleFiles()));
             }},
    };
}

}  // namespace pomu::faults

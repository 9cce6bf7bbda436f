// The progress line parser on recorded archiver output, and the file and batch fractions.
#include <gtest/gtest.h>

#include <cstdlib>

#include "convert/progress.h"
#include "convert/progress_line.h"
#include "support/environment.h"
#include "support/test_files.h"

namespace pomu {
namespace {

std::string recorded(const std::string& archiver, const std::string& name) {
    const char* source = std::getenv("POMU_SOURCE_DIR");
    if (!source) return {};
    return test::readFile(test::fs::path(test::hostPath(source)) / "tests" / "fixtures" /
                          "progress" / archiver / name)
        .value_or(std::string());
}

// Each recorded run read as it arrives: the value after the text up to `until` (its first
// occurrence, or the whole output), and in every cut of it read through the kept tail the
// value never falls and agrees with the whole text read so far.
TEST(ProgressLine, RecordedRunsOfEachArchiver) {
    struct Case {
        std::string archiver, file, until;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"linux-7z-26.02", "x.txt", "", 100},
        {"linux-7z-26.02", "x.txt", " 41%", 41},
        {"linux-7z-26.02", "x.txt", " 41", 1},  // "41%" is cut: the line before counts
        {"linux-7z-26.02", "x.txt", "Scan", std::nullopt},
        {"linux-7z-26.02", "x.txt", "Blocks = 1", std::nullopt},  // "0M" is no percentage
        {"linux-7z-26.02", "a.txt", "", 99},
        {"linux-7z-26.02", "a.txt", " 10% + blob", 10},
        {"linux-7z-26.02", "t.txt", "", 75},
        {"win-7z-26.03", "a.txt", "", 99},
        {"win-7z-26.03", "a.txt", " 14%", 14},
        {"win-7z-26.03", "x.txt", "", 100},
        {"win-7z-26.03", "t.txt", "", 1},
        {"win-7z-26.03", "t.txt", "Testing archive", std::nullopt},
        {"p7zip-16.02", "x.txt", "", 91},
        {"p7zip-16.02", "x.txt", " 38% 2 - docs", 38},
        {"p7zip-16.02", "a.txt", "", 87},
        {"p7zip-16.02", "a.txt", "  3% + docs/a.txt", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archiver + "/" + c.file + " until '" + c.until + "'");
        const std::string output = recorded(c.archiver, c.file);
        ASSERT_FALSE(output.empty()) << "no recording";
        std::size_t end = output.size();
        if (!c.until.empty()) {
            end = output.find(c.until);
            ASSERT_NE(end, std::string::npos);
            end += c.until.size();
        }
        EXPECT_EQ(latestPercent(std::string_view(output).substr(0, end)), c.expected);

        std::string tail;
        std::optional<int> last;
        for (std::size_t at = 0; at < end; at += 7) {
            const std::string_view chunk =
                std::string_view(output).substr(at, std::min<std::size_t>(7, end - at));
            tail.append(chunk);
            keepLatestOutput(tail, 256);
            const std::optional<int> now = latestPercent(tail);
            const std::optional<int> whole =
                latestPercent(std::string_view(output).substr(0, at + chunk.size()));
            ASSERT_EQ(now.has_value(), whole.has_value()) << "at byte " << at;
            if (now) {
                ASSERT_EQ(*now, *whole) << "at byte " << at;
                if (last) {
                    ASSERT_GE(*now, *last) << "at byte " << at;
                }
                last = now;
            }
        }
    }
}

// Word by word, the fraction of one file's job: steps in order, repeats and strays move nothing.
TEST(FileProgress, StepsMoveItForwardOnly) {
    struct Run {
        const Char* word;
        double done;
    };
    struct Case {
        const char* label;
        bool tested;
        std::vector<Run> runs;
        double expected;
    };
    // Shares: listing 1, extraction 24, compression 60, listing 1, test 14.
    const Case cases[] = {
        {"nothing yet", false, {}, 0},
        {"extraction only, no listing", false, {{POMU_T("x"), 1}}, 25.0 / 86},
        {"new archive listed",
         false,
         {{POMU_T("l"), 1}, {POMU_T("x"), 1}, {POMU_T("a"), 1}, {POMU_T("l"), 1}},
         1},
        {"tested: listing is not the end",
         true,
         {{POMU_T("l"), 1}, {POMU_T("x"), 1}, {POMU_T("a"), 1}, {POMU_T("l"), 1}},
         86.0 / 100},
        {"a lower percentage later never goes back",
         false,
         {{POMU_T("x"), 0.8}, {POMU_T("x"), 0.3}},
         (1 + 0.8 * 24) / 86},
        {"a step behind moves nothing",
         false,
         {{POMU_T("a"), 0.5}, {POMU_T("x"), 1}},
         (25 + 30) / 86.0},
        {"an unknown word moves nothing", false, {{POMU_T("l"), 1}, {POMU_T("i"), 1}}, 1.0 / 86},
        {"test without a test foreseen moves nothing", false, {{POMU_T("t"), 1}}, 0},
        {"beyond 100 % is 100 %", false, {{POMU_T("l"), 3}}, 1.0 / 86},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FileProgress progress(c.tested);
        for (const Run& run : c.runs) progress.stepRuns(run.word, run.done);
        EXPECT_NEAR(progress.fraction(), c.expected, 1e-9);
    }
}

TEST(BatchProgress, FilesDoneAndTheRunningFilesShareShownAtMostFiveTimesASecond) {
    using namespace std::chrono_literals;
    const BatchProgress::Clock::time_point start{};
    BatchProgress batch;
    batch.addFiles(2);
    EXPECT_EQ(batch.due(start), 0.0);  // the first is shown at once
    batch.fileStarts(false);
    batch.stepRuns(POMU_T("l"), 1);
    batch.stepRuns(POMU_T("x"), 1);
    EXPECT_NEAR(batch.fraction(), 25.0 / 86 / 2, 1e-9);
    EXPECT_FALSE(batch.due(start + 199ms)) << "shown again too soon";
    EXPECT_TRUE(batch.due(start + 200ms));
    EXPECT_FALSE(batch.due(start + 500ms)) << "nothing changed, nothing to show";
    batch.fileEnds();
    EXPECT_EQ(batch.fraction(), 0.5);
    batch.addFiles(2);  // a drop queued meanwhile
    EXPECT_EQ(batch.fraction(), 0.25);
    for (int file = 0; file < 4; ++file) batch.fileEnds();
    EXPECT_EQ(batch.fraction(), 1.0) << "more ends than files never pass 100 %";
}

}  // namespace
}  // namespace pomu

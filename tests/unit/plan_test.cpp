// The conversion plan's naming and command-line rules, table by table.
#include <gtest/gtest.h>

#include "convert/archiver.h"
#include "convert/plan.h"
#include "convert/rar_support.h"
#include "convert/zip_comment.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::native;

// Test paths are written with backslashes; on Linux they become the platform's separator.
NativeString p(const std::string& text) {
    NativeString path = native(text);
    for (Char& c : path) {
        if (c == Char('\\')) c = kSeparator;
    }
    return path;
}

struct ExtensionCase {
    const char* path;
    const char* extension;
};

TEST(ExtensionRule, FindsExtensionOfLastComponent) {
    const ExtensionCase cases[] = {
        {"D:\\a\\photos.rar", ".rar"},
        {"D:\\a\\data.tar.gz", ".gz"},
        {"D:\\a\\backup", ""},
        {"D:\\a.b\\file", ""},
        {"D:\\a\\x. y", ""},
        {"D:\\a\\x.y z", ""},
        {"D:\\a\\.hidden", ".hidden"},
        {"D:\\a\\trailing.", "."},
        {"D:\\a\\X.PART1.RAR", ".RAR"},
        {"", ""},
        {"name.7z", ".7z"},
        {"D:\\a\\b c.zip", ".zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findExtension(p(c.path)), p(c.extension)) << c.path;
    }
}

TEST(ExtensionRule, RenameReplacesOrAppends) {
    const ExtensionCase cases[] = {
        {"D:\\a\\photos.rar", "D:\\a\\photos.7z"},  {"D:\\a\\backup", "D:\\a\\backup.7z"},
        {"D:\\a\\x. y", "D:\\a\\x. y.7z"},          {"D:\\a.b\\file", "D:\\a.b\\file.7z"},
        {"D:\\a\\trailing.", "D:\\a\\trailing.7z"}, {"D:\\a\\.hidden", "D:\\a\\.7z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(renameExtension(p(c.path), POMU_T(".7z")), p(c.extension)) << c.path;
    }
}

TEST(ExtensionRule, RenameRefusesWhatDoesNotFit) {
    const NativeString stem(kMaxPathChars - 3, Char('n'));
    EXPECT_EQ(renameExtension(stem, POMU_T(".7z")).value().size(), kMaxPathChars);
    EXPECT_FALSE(renameExtension(stem + POMU_T("x"), POMU_T(".7z")));
    EXPECT_FALSE(renameExtension(stem + POMU_T(".r"), POMU_T(".zip")));
}

TEST(SkipRule, SourceWithTargetExtensionIsSkipped) {
    struct Case {
        const char* source;
        bool zip;
        bool skipped;
    };
    const Case cases[] = {
        {"D:\\a\\x.7z", false, true},         {"D:\\a\\x.7Z", false, true},
        {"D:\\a\\x.7z", true, false},         {"D:\\a\\x.zip", true, true},
        {"D:\\a\\x.ZiP", true, true},         {"D:\\a\\x.zip", false, false},
        {"D:\\a\\x.part1.rar", false, false}, {"D:\\a\\x.7z.rar", false, false},
        {"D:\\a\\x. 7z", false, false},       {"D:\\a\\7z", false, false},
        {"D:\\a\\x.cbz", true, true},         {"D:\\a\\x.CB7", false, true},
        {"D:\\a\\x.cbr", true, false},        {"D:\\a\\x.cbz", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSkipped(p(c.source), c.zip), c.skipped) << c.source << " zip=" << c.zip;
    }
}

TEST(TargetRule, NamesTheNewArchive) {
    struct Case {
        const char* source;
        bool zip;
        const char* target;
    };
    const Case cases[] = {
        {"D:\\a\\photos.rar", false, "D:\\a\\photos.7z"},
        {"D:\\a\\movie.part1.rar", false, "D:\\a\\movie.7z"},
        {"D:\\a\\X.PART1.RAR", false, "D:\\a\\X.7z"},
        {"D:\\a\\x.part01.rar", false, "D:\\a\\x.part01.7z"},
        {"D:\\a\\data.tar.gz", true, "D:\\a\\data.tar.zip"},
        {"D:\\a\\data.tar.gz", false, "D:\\a\\data.tar.7z"},
        {"D:\\a\\vol.2.part1.rar", false, "D:\\a\\vol.7z"},
        {"D:\\a\\backup", false, "D:\\a\\backup.7z"},
        {"D:\\a\\x.7z", true, "D:\\a\\x.zip"},
        {"D:\\a\\.part1.rar", false, "D:\\a\\.7z"},
        {"short.rar", false, "short.7z"},
        {"art1.rar", false, "art1.7z"},
        // A comic book stays one, whatever it holds.
        {"D:\\a\\comic.cbr", true, "D:\\a\\comic.cbz"},
        {"D:\\a\\comic.CBT", false, "D:\\a\\comic.cb7"},
        {"D:\\a\\comic.cbz", false, "D:\\a\\comic.cb7"},
        {"D:\\a\\comic.cb7", true, "D:\\a\\comic.cbz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(targetPath(p(c.source), c.zip), p(c.target)) << c.source;
    }
}

TEST(TargetRule, NeverEqualsTheSourceAndNeverCutsIt) {
    // A source at the limit whose target would be longer is refused, not truncated.
    NativeString source = p("D:\\") + NativeString(kMaxPathChars - 6, Char('n')) + POMU_T(".r");
    ASSERT_EQ(source.size(), kMaxPathChars - 1);
    EXPECT_FALSE(targetPath(source, true));
    const auto fits = targetPath(source, false);
    ASSERT_TRUE(fits);
    EXPECT_NE(*fits, source);
}

TEST(FirstOutput, SplitOutputIsJudgedOnTheFirstVolume) {
    EXPECT_EQ(firstOutputPath(p("D:\\a\\photos.zip"), true), p("D:\\a\\photos.zip.001"));
    EXPECT_EQ(firstOutputPath(p("D:\\a\\photos.7z"), false), p("D:\\a\\photos.7z"));
    EXPECT_EQ(volumePath(p("D:\\a\\p.7z"), 12), p("D:\\a\\p.7z.012"));
    EXPECT_EQ(volumePath(p("D:\\a\\p.7z"), 1234), p("D:\\a\\p.7z.1234"));
    const NativeString longTarget(kMaxPathChars - 3, Char('t'));
    EXPECT_FALSE(firstOutputPath(longTarget, true));
    EXPECT_TRUE(firstOutputPath(longTarget, false));
}

// The plan is worked out once, whole: a refusal, or every name and line of the conversion.
TEST(Plan, IsWorkedOutWholeOrRefused) {
    struct Case {
        const char* source;
        bool zip, split;
        const char* level;
        std::optional<Reason> refusal;
        const char* detail;  // the refusal's, or the plan's first output
        const char* target = "";
        bool listedFirst = false;  // refused only unless its listing says otherwise
    };
    const Case cases[] = {
        {"D:\\a\\x.7Z", false, false, "5", Reason::skipped, ".7Z"},
        {"D:\\a\\x.zip", false, false, "-x", Reason::settingRefused, "level"},
        {"", false, false, "5", Reason::pathTooLong, ""},
#ifndef _WIN32
        {"D:\\a\\*.zip", false, false, "5", Reason::nameRefused, "D:\\a\\*.zip"},
#endif
        {"D:\\a\\movie.part1.rar", false, true, "5", {}, "D:\\a\\movie.7z.001", "D:\\a\\movie.7z"},
        {"D:\\a\\photos.7z", true, false, "9", {}, "D:\\a\\photos.zip", "D:\\a\\photos.zip"},
        {"D:\\a\\comic.cbr", false, true, "5", {}, "D:\\a\\comic.cb7.001", "D:\\a\\comic.cb7"},
        {"D:\\a\\comic.CBZ", true, false, "5", Reason::skipped, ".CBZ", "", true},
    };
    const NativeString folder = p("C:\\7z\\");
    const NativeString workspace = p("C:\\T\\pomu\\");
    for (const Case& c : cases) {
        ConversionOptions options;
        options.sevenZipFolder = folder;
        options.zip = c.zip;
        options.div1GB = c.split;
        options.level = native(c.level);
        PlannedConversion planned = planConversion(p(c.source), options);
        if (c.refusal) {
            EXPECT_FALSE(planned.plan) << c.source;
            EXPECT_EQ(planned.refusal, *c.refusal) << c.source;
            EXPECT_EQ(planned.detail, p(c.detail)) << c.source;
            EXPECT_EQ(planned.sameNameListing ? planned.sameNameListing->line : NativeString(),
                      c.listedFirst ? listCommand(folder, p(c.source))->line : NativeString());
            continue;
        }
        ASSERT_TRUE(planned.plan) << c.source;
        ConversionPlan& plan = *planned.plan;
        const NativeString source = p(c.source);
        EXPECT_EQ(plan.target, p(c.target));
        EXPECT_EQ(plan.firstOutputPath, p(c.detail));
        EXPECT_EQ(plan.volumeBytes, c.split ? archiver::kVolumes1GBBytes : 0u);
        EXPECT_EQ(plan.volumeSetBase, volumeSetBase(source));
        EXPECT_EQ(plan.sourceListCommand.line, listCommand(folder, source)->line);
        EXPECT_EQ(plan.outputListCommand.line, listCommand(folder, p(c.detail))->line);
        EXPECT_EQ(plan.testCommand.line, testCommand(folder, p(c.detail))->line);
        ASSERT_TRUE(planCommands(plan, workspace, options));
        EXPECT_EQ(plan.extractCommand.line, extractCommand(folder, source, workspace)->line);
        EXPECT_EQ(plan.compressCommand.line, compressCommand(folder, p(c.target), workspace,
                                                             native(c.level), c.zip, false, c.split)
                                                 ->line);
        EXPECT_FALSE(planCommands(plan, NativeString(kMaxCommandChars, Char('w')), options));
    }
}

// A new ZIP's comment: after its end record, no volume growing past its size, then its length.
TEST(NewZipComment, GoesAfterTheEndRecordWithinTheVolumes) {
    struct Case {
        std::vector<std::uint64_t> sizes;
        std::uint64_t volumeBytes;
        std::vector<VolumeWrite> writes;
    };
    const std::string length("\x04\x00", 2);
    const Case cases[] = {
        {{100}, 0, {{0, 100, "abcd"}, {0, 98, length}}},
        {{50, 30}, 50, {{1, 30, "abcd"}, {1, 28, length}}},
        {{50, 48}, 50, {{1, 48, "ab"}, {2, 0, "cd"}, {1, 46, length}}},
        {{50, 50}, 50, {{2, 0, "abcd"}, {1, 48, length}}},
        {{50, 1}, 50, {{1, 1, "abcd"}, {0, 49, "\x04"}, {1, 0, std::string(1, '\0')}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(commentWrites(c.sizes, c.volumeBytes, "abcd"), c.writes) << c.sizes.back();
    }
    // The record nearest the end whose comment ends the bytes exactly.
    const std::string record = std::string("PK\x05\x06", 4) + std::string(16, '\0');
    EXPECT_EQ(endRecordComment("zip64 records" + record + "\x02" + '\0' + "ab"), "ab");
    EXPECT_EQ(endRecordComment(record + "\x02" + '\0' + "a"), std::nullopt);
    EXPECT_EQ(endRecordComment(record.substr(1) + '\0' + '\0'), std::nullopt);
}

// The archiver's own splitting: blanks outside double quotes separate arguments, a double quote
// only switches quoting, a backslash is an ordinary character.
std::vector<NativeString> splitLikeArchiver(NativeView line) {
    std::vector<NativeString> parts;
    NativeString current;
    bool quoting = false;
    bool inPart = false;
    for (Char c : line) {
        if (c == Char('"')) {
            quoting = !quoting;
            inPart = true;
        } else if (c == Char(' ') && !quoting) {
            if (inPart) parts.push_back(current);
            current.clear();
            inPart = false;
        } else {
            current += c;
            inPart = true;
        }
    }
    if (inPart) parts.push_back(current);
    return parts;
}

void expectLineMatchesArguments(const ToolCommand& command) {
    std::vector<NativeString> expected{command.program};
    expected.insert(expected.end(), command.arguments.begin(), command.arguments.end());
    EXPECT_EQ(splitLikeArchiver(command.line), expected) << test::utf8(command.line);
}

TEST(Commands, ExtractionLine) {
    const auto command = extractCommand(p("C:\\Program Files\\7-Zip\\"),
                                        p("D:\\a\\movie.part1.rar"), p("C:\\Temp\\pomu\\"));
    ASSERT_TRUE(command);
    const NativeString program =
        p("C:\\Program Files\\7-Zip\\") + NativeString(archiver::kProgramName);
    EXPECT_EQ(command->line, POMU_T("\"") + program + POMU_T("\" x \"") +
                                 p("D:\\a\\movie.part1.rar") + POMU_T("\" -o\"") +
                                 p("C:\\Temp\\pomu\\") + POMU_T("\" -r"));
    expectLineMatchesArguments(*command);
    EXPECT_EQ(command->arguments.at(2), POMU_T("-o") + p("C:\\Temp\\pomu\\"));
}

TEST(Commands, InfoLine) {
    const auto command = infoCommand(p("C:\\Program Files\\7-Zip\\"));
    ASSERT_TRUE(command);
    expectLineMatchesArguments(*command);
    EXPECT_EQ(command->arguments, std::vector<NativeString>{POMU_T("i")});
}

// Only these names get the reason that the archiver lacks the RAR codec.
TEST(RarRule, RarSourcesByTheirEnding) {
    const std::pair<const char*, bool> cases[] = {
        {"D:\\a\\photos.rar", true},     {"D:\\a\\movie.part2.RAR", true},
        {"D:\\a\\old.r00", true},        {"D:\\a\\old.R17", true},
        {"D:\\a\\photos.zip", false},    {"D:\\a\\rar", false},
        {"D:\\a.rar\\file", false},      {"D:\\a\\old.r1", false},
        {"D:\\a\\old.r100", false},      {"D:\\a\\old.rx0", false},
        {"D:\\a\\photos.rar.7z", false}, {"D:\\a\\photos.rar ", false},
    };
    for (const auto& [path, rar] : cases) EXPECT_EQ(isRarSource(p(path)), rar) << path;
}

TEST(Commands, SixCompressionFormsInTheirOrder) {
    struct Case {
        bool zip, div100MB, div1GB;
        const char* tail;
        bool creationTimes = false;
    };
    const Case cases[] = {
        {true, true, true, " -mx=5 -tzip -v100m"},
        {true, true, false, " -mx=5 -tzip -v100m"},
        {true, false, true, " -mx=5 -tzip -v1g"},
        {true, false, false, " -mx=5 -tzip"},
        {false, true, true, " -mx=5 -v100m"},
        {false, true, false, " -mx=5 -v100m"},
        {false, false, true, " -mx=5 -v1g"},
        {false, false, false, " -mx=5"},
        {true, false, true, " -mx=5 -tzip -v1g -mtc=on", true},
    };
    const NativeString folder = p("C:\\7z\\");
    const NativeString program = folder + NativeString(archiver::kProgramName);
    for (const auto& c : cases) {
        const auto command =
            compressCommand(folder, p("D:\\a\\x.7z"), p("C:\\T\\pomu\\"), POMU_T("5"), c.zip,
                            c.div100MB, c.div1GB, c.creationTimes);
        ASSERT_TRUE(command);
        EXPECT_EQ(command->line, POMU_T("\"") + program + POMU_T("\" a \"") + p("D:\\a\\x.7z") +
                                     POMU_T("\" \"") + p("C:\\T\\pomu\\*") + POMU_T("\"") +
                                     native(c.tail))
            << c.tail;
        expectLineMatchesArguments(*command);
    }
}

TEST(Commands, LevelIsPassedUnchangedEvenWhenEmpty) {
    const auto command =
        compressCommand(POMU_T(""), POMU_T("x.7z"), p("T\\"), POMU_T(""), false, false, false);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->arguments.back(), POMU_T("-mx="));
    EXPECT_EQ(command->program, NativeString(archiver::kProgramName));
}

TEST(Commands, ArgumentsStartingWithDashStayNames) {
    const auto command = extractCommand(POMU_T(""), POMU_T("-x.zip"), p("T\\"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->arguments.at(1),
              POMU_T(".") + NativeString(1, kSeparator) + POMU_T("-x.zip"));
    expectLineMatchesArguments(*command);
}

TEST(Commands, LineThatDoesNotFitIsRefused) {
    const NativeString half(kMaxCommandChars / 2, Char('f'));
    EXPECT_FALSE(compressCommand(half, half, POMU_T("w"), POMU_T("5"), true, true, false));
    EXPECT_FALSE(extractCommand(half, half, POMU_T("w")));
    const auto fits = extractCommand(POMU_T(""), half.substr(0, 100), half.substr(0, 100));
    ASSERT_TRUE(fits);
    EXPECT_LE(fits->line.size(), kMaxCommandChars);
}

}  // namespace
}  // namespace pomu

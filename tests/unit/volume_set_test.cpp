// The volume set a ".part1.rar" source stands for, found on a real folder.
#include <gtest/gtest.h>

#include "convert/plan.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::ScratchFolder;

std::vector<std::string> names(const std::vector<NativeString>& paths) {
    std::vector<std::string> result;
    for (const auto& path : paths) {
        result.push_back(test::utf8(test::fs::path(path).filename().native()));
    }
    return result;
}

TEST(VolumeSet, StopsAtTheFirstMissingMember) {
    struct Case {
        std::vector<std::string> files;
        std::string source;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"m.part1.rar", "m.part2.rar", "m.part3.rar", "m.part5.rar"},
         "m.part1.rar",
         {"m.part1.rar", "m.part2.rar", "m.part3.rar"}},
        {{"m.part1.rar", "m.part3.rar"}, "m.part1.rar", {"m.part1.rar"}},
        {{"x.part01.rar", "x.part02.rar"}, "x.part01.rar", {"x.part01.rar"}},
        {{"plain.rar"}, "plain.rar", {"plain.rar"}},
        // Members are looked for ignoring the case of A-Z, as Windows finds them.
        {{"X.PART1.RAR", "X.PART2.RAR", "x.part3.rar"},
         "X.PART1.RAR",
#ifdef _WIN32
         {"x.part1.rar", "x.part2.rar", "x.part3.rar"}
#else
         {"X.PART1.RAR", "X.PART2.RAR", "x.part3.rar"}
#endif
        },
        {{"ビデオ 1.part1.rar", "ビデオ 1.part2.rar"},
         "ビデオ 1.part1.rar",
         {"ビデオ 1.part1.rar", "ビデオ 1.part2.rar"}},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        for (const auto& file : c.files) test::writeFile(folder.path() / test::native(file), "r");
        const auto set = volumeSet(folder.file(c.source));
        std::vector<std::string> got = names(set);
#ifdef _WIN32
        // Windows hands back the name as written, whatever the case on disk.
        for (auto& name : got) {
            for (auto& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        }
#endif
        EXPECT_EQ(got, c.expected) << c.source;
    }
}

TEST(VolumeSet, EnumeratesAtMostNinetyNineMembers) {
    ScratchFolder folder;
    for (int k = 1; k <= 100; ++k) {
        test::writeFile(folder.path() / ("big.part" + std::to_string(k) + ".rar"), "r");
    }
    const auto set = volumeSet(folder.file("big.part1.rar"));
    ASSERT_EQ(set.size(), 99u);
    EXPECT_EQ(names({set.back()}).front(), "big.part99.rar");
    // No further than the archiver read: a later part of the same name is another set's.
    EXPECT_EQ(names(volumeSet(folder.file("big.part1.rar"), 3)),
              (std::vector<std::string>{"big.part1.rar", "big.part2.rar", "big.part3.rar"}));
    EXPECT_EQ(names(volumeSet(folder.file("big.part1.rar"), 0)), std::vector<std::string>{});
}

}  // namespace
}  // namespace pomu

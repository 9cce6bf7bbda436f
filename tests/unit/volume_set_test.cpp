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
        {{"x.part01.rar", "x.part02.rar", "x.part3.rar"},
         "x.part01.rar",
         {"x.part01.rar", "x.part02.rar"}},
        {{"y.part001.rar", "y.part002.rar", "y.part02.rar"},
         "y.part001.rar",
         {"y.part001.rar", "y.part002.rar"}},
        {{"plain.rar"}, "plain.rar", {"plain.rar"}},
        // Members are the names the archiver opens, the dropped name counted on: Windows finds
        // them ignoring case, Linux only as spelled.
        {{"X.PART1.RAR", "X.PART2.RAR", "x.part3.rar"},
         "X.PART1.RAR",
#ifdef _WIN32
         {"x.part1.rar", "x.part2.rar", "x.part3.rar"}
#else
         {"X.PART1.RAR", "X.PART2.RAR"}
#endif
        },
        {{"f.part1.RAR", "f.part2.RAR", "f.part1.rar", "f.part2.rar", "f.part3.rar"},
         "f.part1.RAR",
#ifdef _WIN32
         {"f.part1.rar", "f.part2.rar", "f.part3.rar"}
#else
         {"f.part1.RAR", "f.part2.RAR"}
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

// The rule alone: which of the members found leave, given what the listing says was read.
TEST(VolumeSet, LeavesWholeOnlyWhenItsSizesAddUp) {
    struct Case {
        const char* what;
        std::string source;
        std::vector<std::uint64_t> sizes;  // of "<base>.part1.rar" ... as found
        bool multivolume;
        std::optional<int> volumes;
        std::optional<std::uint64_t> total, physical;
        std::size_t leaving;  // the first this many members leave
    };
    const Case cases[] = {
        {"read whole", "s.part1.rar", {100, 100, 50}, true, 3, 250, 100, 3},
        {"a stale part beyond", "s.part1.rar", {100, 100, 50, 7}, true, 3, 250, 100, 3},
        {"sizes short of the total", "s.part1.rar", {100, 100, 40}, true, 3, 250, 100, 0},
        {"sizes beyond the total", "s.part1.rar", {100, 100, 60}, true, 3, 250, 100, 0},
        {"fewer found than read", "s.part1.rar", {100, 100}, true, 3, 250, 100, 0},
        {"no total listed", "s.part1.rar", {100, 100, 50}, true, 3, {}, 100, 0},
        {"no count listed", "s.part1.rar", {100, 100, 50}, true, {}, 250, 100, 0},
        {"one volume read", "s.part1.rar", {100}, true, 1, {}, 100, 1},
        {"one volume, not all of it read", "s.part1.rar", {120}, true, 1, {}, 100, 0},
        {"sizes that wrap", "s.part1.rar", {UINT64_MAX, 2}, true, 2, 1, 100, 0},
        {"a lone archive of a set's name", "s.part1.rar", {100}, false, {}, {}, 100, 1},
        {"a set from part01", "s.part01.rar", {100, 50}, true, 2, 150, 100, 2},
        {"any other source", "plain.rar", {100}, true, 3, 250, 100, 1},
    };
    for (const Case& c : cases) {
        std::vector<SetMember> members;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const std::string name =
                c.source == "plain.rar" ? c.source : "s.part" + std::to_string(i + 1) + ".rar";
            members.push_back({test::native(name), c.sizes[i]});
        }
        Listing listing;
        listing.multivolume = c.multivolume;
        listing.volumes = c.volumes;
        listing.totalPhysicalSize = c.total;
        listing.physicalSize = c.physical;
        std::vector<NativeString> expected;
        for (std::size_t i = 0; i < c.leaving; ++i) expected.push_back(members[i].path);
        EXPECT_EQ(leavingSources(test::native(c.source), members, listing), expected) << c.what;
    }
}

}  // namespace
}  // namespace pomu

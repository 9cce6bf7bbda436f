// Dropped folders searched on real trees: what counts, in which order, the question, the drop.
#include <gtest/gtest.h>

#include "convert/folder_search.h"
#include "convert/report.h"
#include "support/environment.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace pomu {
namespace {

using test::fs::path;

// The drop as the batch takes it, relative to the scratch folder: a path to convert, or the
// report line of an outcome settled beforehand.
std::string linesOf(const Drop& drop, const test::ScratchFolder& scratch) {
    std::string lines;
    for (std::size_t i = 0; i < drop.paths.size(); ++i) {
        const auto settled = drop.settled.find(i);
        lines += settled == drop.settled.end()
                     ? path(drop.paths[i]).lexically_relative(scratch.path()).generic_string()
                     : test::utf8(
                           reportLine(describeFile(drop.paths[i], {}, settled->second, false, 0)));
        lines += "\n";
    }
    return lines;
}

std::string searched(const std::vector<std::string>& names, const test::ScratchFolder& scratch,
                     std::size_t slice, bool yes, std::string* question = nullptr) {
    std::vector<NativeString> paths;
    for (const std::string& name : names) paths.push_back(scratch.file(name));
    DropSearch search(paths, false);
    while (!search.advance(slice)) {
    }
    if (question) *question = test::utf8(search.question());
    return linesOf(search.result(yes), scratch);
}

void makeFiles(const test::ScratchFolder& scratch, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        test::fs::create_directories((scratch.path() / name).parent_path());
        if (name.back() != '/') test::writeFile(scratch.path() / name, "x");
    }
}

TEST(FolderSearchTest, FindsWhatPomuRepacksInNameOrderAndAsksOnce) {
    const test::ScratchFolder scratch;
    makeFiles(scratch,
              {"Comics/Issue 10.zip", "Comics/Issue 2.zip", "Comics/cover.jpg", "Comics/already.7z",
               "Comics/setup.exe", "Comics/set.part1.rar", "Comics/set.part2.rar",
               "Comics/Nested/a.tgz", "Comics/Nested/deep/b.tar.gz", "Comics/Empty/",
               "Elsewhere/x.zip", "Nothing/readme.txt", "loose.zip"});
#ifndef _WIN32
    // Links are never followed: a search stays inside the folder it was given.
    test::fs::create_directory_symlink("../Elsewhere", scratch.path() / "Comics" / "outside");
    test::fs::create_symlink("../Elsewhere/x.zip", scratch.path() / "Comics" / "link.zip");
#endif
    const std::vector<std::string> dropped{"Comics", "Nothing", "loose.zip"};
    const std::string lineBreak = test::utf8(kLineBreak);
    for (const std::size_t slice : {std::size_t(1), std::size_t(100000)}) {
        SCOPED_TRACE(slice);
        std::string question;
        EXPECT_EQ(searched(dropped, scratch, slice, true, &question),
                  "Comics/Issue 2.zip\nComics/Issue 10.zip\nComics/Nested/a.tgz\n"
                  "Comics/Nested/deep/b.tar.gz\nComics/set.part1.rar\n"
                  "Nothing: skipped, no archives in Nothing\nloose.zip\n");
        EXPECT_EQ(question, "Convert the 5 archives in Comics and its subfolders?" + lineBreak +
                                lineBreak + "2 .zip, 1 .gz, 1 .rar, 1 .tgz");
        // No: the folder goes to the batch as dropped.
        EXPECT_EQ(searched(dropped, scratch, slice, false),
                  "Comics\nNothing: skipped, no archives in Nothing\nloose.zip\n");
    }
}

#ifndef _WIN32
// A folder the user may not read is said to be so, at its place, and the search goes on.
TEST(FolderSearchTest, AnUnreadableFolderIsReportedAndTheSearchGoesOn) {
    const test::ScratchFolder scratch;
    makeFiles(scratch, {"Comics/a.zip", "Comics/Locked/b.zip", "Comics/z.zip", "Shut/c.zip"});
    std::string why;
    const std::optional<std::string> lines = test::asOrdinaryUser(
        scratch.path(),
        [&] {
            ::chmod((scratch.path() / "Comics" / "Locked").c_str(), 0);
            ::chmod((scratch.path() / "Shut").c_str(), 0);
            return searched({"Comics", "Shut"}, scratch, 1, true);
        },
        why);
    if (!lines) GTEST_SKIP() << why;
    EXPECT_EQ(*lines,
              "Comics/a.zip\n"
              "Locked: this folder could not be searched (permission denied)\n"
              "Comics/z.zip\n"
              "Shut: this folder could not be searched (permission denied)\n");
}
#endif

}  // namespace
}  // namespace pomu

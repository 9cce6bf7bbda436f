// Moving replaced targets and processed sources to the Recycle Bin (Linux: the Trash).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fs/recycle.h"
#include "support/environment.h"
#include "support/shell_question.h"
#include "support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pomu {
namespace {

using test::fs::path;

TEST(RecycleTest, MissingPathCountsAsRemoved) {
    test::ScratchFolder scratch;
    EXPECT_TRUE(recycleFile(scratch.file("never made.txt")));
    EXPECT_TRUE(recycleFile(scratch.file("no folder") + kSeparator + NativeString(POMU_T("x"))));
}

#ifdef _WIN32
TEST(RecycleTest, FilesAndFoldersLeave) {
    test::ScratchFolder scratch;
    test::writeFile(scratch.path() / "file.txt", "x");
    test::fs::create_directories(scratch.path() / "folder" / "inner");
    test::writeFile(scratch.path() / "folder" / "inner" / "file.txt", "x");
    for (const char* name : {"file.txt", "folder"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(recycleFile(scratch.file(name)));
        EXPECT_FALSE(test::fs::exists(scratch.file(name)));
    }
}

TEST(RecycleTest, FileInUseStays) {
    test::ScratchFolder scratch;
    const NativeString file = scratch.file("busy.txt");
    test::writeFile(file, "in use");
    // Opened without FILE_SHARE_DELETE, so it can be neither moved nor deleted.
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    {
        // Where the Trash cannot take it, the shell asks before deleting for good: "no".
        const test::ShellQuestionAnswer refuse(IDNO);
        EXPECT_FALSE(recycleFile(file));
    }
    CloseHandle(handle);
    EXPECT_EQ(test::readFile(file), "in use");
}
#else
// GLib reads HOME and XDG_DATA_HOME once per process and keeps them, so every check that
// needs its own Trash runs in a freshly started copy of this program (a death test in the
// "threadsafe" style re-executes it) with both set before the first trash operation.
class TrashTest : public testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void TearDown() override { GTEST_FLAG_SET(death_test_style, oldStyle_); }

  private:
    std::string oldStyle_ = GTEST_FLAG_GET(death_test_style);
};

// Collects what went wrong in the child, which can only report through its exit code.
class Failures {
  public:
    void check(bool ok, const std::string& what) {
        if (!ok) text_ += what + "\n";
    }
    [[noreturn]] void exit() const {
        std::fputs(text_.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(text_.empty() ? 0 : 1);
    }
    std::string text_;
};

// HOME and the data folder on the scratch folder's filesystem; the data folder not made yet.
void useTrashIn(const path& home, const path& data) {
    test::fs::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
}

Failures trashReceivesFilesAndFolders() {
    Failures failures;
    test::ScratchFolder scratch;
    const path trash = scratch.path() / "data not made yet" / "Trash";
    useTrashIn(scratch.path() / "home", trash.parent_path());
    const std::vector<std::string> names = {"file.txt", "blank and é.txt", "\xff\xfe not UTF-8"};
    for (const std::string& name : names) {
        test::writeFile(scratch.path() / name, "contents of " + name);
        failures.check(recycleFile(scratch.file(name)), name + ": not recycled");
        failures.check(!test::fs::exists(scratch.path() / name), name + ": still there");
        failures.check(test::readFile(trash / "files" / name) == "contents of " + name,
                       name + ": not in Trash/files");
        failures.check(test::fs::exists(trash / "info" / (name + ".trashinfo")),
                       name + ": no trashinfo");
    }
    test::fs::create_directories(scratch.path() / "folder" / "inner");
    test::writeFile(scratch.path() / "folder" / "inner" / "file.txt", "nested");
    failures.check(recycleFile(scratch.folder() + "folder"), "folder: not recycled");
    failures.check(!test::fs::exists(scratch.path() / "folder"), "folder: still there");
    failures.check(test::readFile(trash / "files" / "folder" / "inner" / "file.txt") == "nested",
                   "folder: not in Trash/files");
    failures.check(recycleFile(scratch.file("missing")), "missing: not counted as removed");

    return failures;
}

// A file in a folder its user may not write to cannot leave. Modes do not hold back the
// superuser, so the move runs as an ordinary user who owns the folder, home and Trash.
Failures readOnlyFolderKeepsItsFile() {
    Failures failures;
    test::ScratchFolder scratch;
    useTrashIn(scratch.path() / "home", scratch.path() / "data");
    const path locked = scratch.path() / "locked";
    test::fs::create_directory(locked);
    test::writeFile(locked / "file.txt", "stays");
    std::string why;
    const std::optional<std::string> text = test::asOrdinaryUser(
        scratch.path(),
        [&] {
            chmod(locked.c_str(), 0555);
            Failures inChild;
            inChild.check(!recycleFile((locked / "file.txt").native()),
                          "read-only folder: reported moved");
            inChild.check(test::readFile(locked / "file.txt") == "stays", "read-only folder: lost");
            chmod(locked.c_str(), 0755);
            return inChild.text_;
        },
        why);
    failures.check(text.has_value(), "no ordinary user: " + why);
    failures.check(text.value_or("") == "", text.value_or(""));
    return failures;
}

Failures unusableTrashKeepsEverything() {
    Failures failures;
    test::ScratchFolder scratch;
    const path blocker = scratch.path() / "a file, not a folder";
    test::writeFile(blocker, "blocks the Trash");
    useTrashIn(scratch.path() / "home", blocker / "data");
    test::writeFile(scratch.path() / "file.txt", "stays");
    test::fs::create_directories(scratch.path() / "folder");
    test::writeFile(scratch.path() / "folder" / "file.txt", "stays too");
    failures.check(!recycleFile(scratch.file("file.txt")), "file: reported moved");
    failures.check(!recycleFile(scratch.file("folder")), "folder: reported moved");
    failures.check(test::readFile(scratch.path() / "file.txt") == "stays", "file: lost");
    failures.check(test::readFile(scratch.path() / "folder" / "file.txt") == "stays too",
                   "folder: lost");
    return failures;
}

TEST_F(TrashTest, FilesAndFoldersArriveInTrash) {
    EXPECT_EXIT(trashReceivesFilesAndFolders().exit(), testing::ExitedWithCode(0), "");
}

TEST_F(TrashTest, ReadOnlyFolderKeepsItsFile) {
    // Tried once here, so a machine without that user skips instead of failing in the child.
    test::ScratchFolder probe;
    std::string why;
    if (!test::asOrdinaryUser(
            probe.path(), [] { return std::string(); }, why)) {
        GTEST_SKIP() << why;
    }
    EXPECT_EXIT(readOnlyFolderKeepsItsFile().exit(), testing::ExitedWithCode(0), "");
}

TEST_F(TrashTest, UnusableTrashLeavesPathsInPlace) {
    EXPECT_EXIT(unusableTrashKeepsEverything().exit(), testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace pomu

// The working folder on real files: its place, clearing, links, deep trees and two at once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "fs/workspace.h"
#include "support/environment.h"
#include "support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pomu {
namespace {

using test::fs::path;
using test::fs::perms;

using test::TempFolderOverride;

// Windows reaches paths past its limit only with the long-path prefix.
path beyondLimit(const path& p) {
#ifdef _WIN32
    return path(L"\\\\?\\" + p.native());
#else
    return p;
#endif
}

void makeReadOnly(const path& p) {
    test::fs::permissions(p, perms::owner_write | perms::group_write | perms::others_write,
                          test::fs::perm_options::remove);
}

bool isEmptyFolder(const NativeString& folder) {
    std::error_code error;
    return test::fs::is_directory(folder, error) && test::fs::is_empty(folder, error);
}

class WorkspaceTest : public testing::Test {
  protected:
    NativeString expectedPath(const std::string& name) const {
        return scratch.file(name) + kSeparator;
    }

    test::ScratchFolder scratch;
    TempFolderOverride temp{scratch.folder()};
};

TEST_F(WorkspaceTest, IsFolderNamedPomuUnderTempFolder) {
    NativeString path;
    {
        std::optional<Workspace> workspace = prepareWorkspace();
        ASSERT_TRUE(workspace);
        path = workspace->path();
        EXPECT_EQ(path, expectedPath("pomu"));
        EXPECT_EQ(path.back(), kSeparator);
        EXPECT_TRUE(isEmptyFolder(path));
        EXPECT_TRUE(platform::isPrivateFolder(path));
    }
    EXPECT_FALSE(test::fs::exists(path)) << "the destructor leaves the folder behind";
    EXPECT_EQ(workspacePath(2), expectedPath("pomu-2"));
}

// Beside a target: a hidden folder of pomu's own that holds its note; a ".pomu-1" that is
// not pomu's (no note of its own in it) is somebody else's, never used or cleared.
TEST_F(WorkspaceTest, BesideTheTargetOnlyItsOwnFolderIsUsed) {
    test::ScratchFolder target;
    test::fs::create_directory(target.path() / ".pomu-1");
    test::writeFile(target.path() / ".pomu-1" / "theirs.txt", "theirs");
    {
        std::optional<Workspace> workspace = prepareWorkspace(target.folder());
        ASSERT_TRUE(workspace);
        EXPECT_EQ(workspace->path(),
                  target.file(".pomu-2") + kSeparator + POMU_T("files") + kSeparator);
        EXPECT_TRUE(isEmptyFolder(workspace->path()));
#ifdef _WIN32
        const DWORD attributes = GetFileAttributesW(target.file(".pomu-2").c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
#endif
    }
    EXPECT_FALSE(test::fs::exists(target.path() / ".pomu-2")) << "the folder stayed";
    EXPECT_EQ(test::readFile(target.path() / ".pomu-1" / "theirs.txt"), "theirs");
}

TEST_F(WorkspaceTest, ClearsReadOnlyFilesAndNestedFoldersAndKeepsFolder) {
    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    const path root(workspace->path());
    test::fs::create_directories(root / "a" / "b" / "c");
    for (const path& file :
         {root / "top.txt", root / ".hidden", root / "a" / "b" / "c" / "deep.txt",
          root / "a" / test::native("日本語.txt")}) {
        test::writeFile(file, "data");
        makeReadOnly(file);
    }
    clearFolder(workspace->path());
    EXPECT_TRUE(isEmptyFolder(workspace->path()));
    workspace->remove();
    EXPECT_FALSE(test::fs::exists(root));
}

TEST_F(WorkspaceTest, ExistingWorkspaceIsEmptiedNotRemoved) {
    const path root(expectedPath("pomu"));
    test::fs::create_directories(root / "left" / "over");
    test::writeFile(root / "left" / "over" / "file.bin", "from an earlier job");
    test::writeFile(root / "loose.txt", "x");
#ifndef _WIN32
    chmod(root.c_str(), 0700);
    struct stat before;
    ASSERT_EQ(stat(root.c_str(), &before), 0);
#endif
    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    EXPECT_EQ(workspace->path(), root.native());
    EXPECT_TRUE(isEmptyFolder(workspace->path()));
#ifndef _WIN32
    struct stat after;
    ASSERT_EQ(stat(root.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the folder was removed and made again";
#endif
}

TEST_F(WorkspaceTest, TwoAtOnceGetDifferentFolders) {
    std::optional<Workspace> first = prepareWorkspace();
    std::optional<Workspace> second = prepareWorkspace();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->path(), expectedPath("pomu"));
    EXPECT_EQ(second->path(), expectedPath("pomu-2"));
    test::writeFile(path(second->path()) / "busy.txt", "in use");
    first.reset();
    EXPECT_FALSE(test::fs::exists(expectedPath("pomu")));
    EXPECT_TRUE(test::fs::exists(path(second->path()) / "busy.txt"));
    // Nothing of either stays in the temp folder: no folder, no lock file, none made by the
    // clean-up of a later start.
    second.reset();
    clearLeftWorkspaces([](const OutputNote&) { return true; });
    EXPECT_TRUE(isEmptyFolder(scratch.folder()));
}

// Links inside are removed as links; what they point to stays as it was.
TEST_F(WorkspaceTest, LinksInsideNeverReachOutside) {
    const path outside = scratch.path() / "outside";
    test::fs::create_directories(outside / "sub");
    test::writeFile(outside / "keep.txt", "keep");
    test::writeFile(outside / "sub" / "keep too.txt", "keep too");
    const auto outsideBefore = test::treeContents(outside);

    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    const path root(workspace->path());
    test::fs::create_directories(root / "nested");
    std::error_code error;
    test::fs::create_directory_symlink(outside, root / "folder link", error);
    if (error) GTEST_SKIP() << "links cannot be made here: " << error.message();
    test::fs::create_directory_symlink(outside / "sub", root / "nested" / "sub link");
    test::fs::create_symlink(outside / "keep.txt", root / "nested" / "file link");
    test::fs::create_symlink(scratch.path() / "missing", root / "dangling");
#ifndef _WIN32
    // A folder outside that clearing could not write to: its mode must stay as it is.
    chmod((outside / "sub").c_str(), 0500);
#endif
    clearFolder(workspace->path());
    EXPECT_TRUE(isEmptyFolder(workspace->path()));
    EXPECT_EQ(test::treeContents(outside), outsideBefore);
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(stat((outside / "sub").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0500u);
#endif
    workspace.reset();
    EXPECT_EQ(test::treeContents(outside), outsideBefore);
}

TEST_F(WorkspaceTest, TreeLongerThanWindowsPathLimitIsCleared) {
    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    path folder(workspace->path());
    for (int level = 0; level < 16; ++level) {
        folder /= "folder at level " + std::to_string(level);
        test::fs::create_directory(beyondLimit(folder));
        test::writeFile(beyondLimit(folder / "file.txt"), "level " + std::to_string(level));
    }
    ASSERT_GT(folder.native().size(), 300u);
    clearFolder(workspace->path());
    EXPECT_TRUE(isEmptyFolder(workspace->path()));
}

#ifndef _WIN32
// Builds a chain of folders through descriptors, so no path is ever longer than one name.
void makeDeepChain(const std::string& root, int depth, const std::string& linkTarget) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < depth; ++level) {
        ASSERT_EQ(mkdirat(fd, "d", 0700), 0);
        if (level % 1000 == 0) {
            const int file = openat(fd, "f", O_CREAT | O_WRONLY | O_CLOEXEC, 0400);
            close(file);
            symlinkat(linkTarget.c_str(), fd, "outside link");
        }
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    close(fd);
}

TEST_F(WorkspaceTest, TreeDeeperThanPathMaxIsCleared) {
    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    const path outside = scratch.path() / "outside";
    test::fs::create_directory(outside);
    test::writeFile(outside / "keep.txt", "keep");
    constexpr int kDepth = 5000;  // "d/" 5000 times: more than twice PATH_MAX
    makeDeepChain(workspace->path(), kDepth, outside);
    clearFolder(workspace->path());
    EXPECT_TRUE(isEmptyFolder(workspace->path()));
    EXPECT_EQ(test::readFile(outside / "keep.txt"), "keep");
}

// Folders an archive marked without permissions are still cleared. Modes do not stop the
// superuser, so this runs as an ordinary user who owns the temp folder.
TEST_F(WorkspaceTest, FoldersWithoutPermissionsAreCleared) {
    struct Case {
        const char* name;
        mode_t mode;
    };
    const std::vector<Case> cases = {{"none", 0000},
                                     {"read and search", 0500},
                                     {"search only", 0100},
                                     {"read only", 0400},
                                     {"write only", 0200}};
    std::string why;
    const std::optional<std::string> failures = test::asOrdinaryUser(
        scratch.path(),
        [&] {
            std::optional<Workspace> workspace = prepareWorkspace();
            if (!workspace) return std::string("no workspace");
            const path root(workspace->path());
            for (const Case& c : cases) {
                test::fs::create_directories(root / c.name / "inner");
                test::writeFile(root / c.name / "file.txt", "x");
                test::writeFile(root / c.name / "inner" / "file.txt", "x");
                chmod((root / c.name / "inner").c_str(), c.mode);
                chmod((root / c.name).c_str(), c.mode);
            }
            clearFolder(workspace->path());
            std::string left;
            for (const Case& c : cases) {
                std::error_code error;
                if (test::fs::exists(test::fs::symlink_status(root / c.name, error))) {
                    left += std::string(c.name) + " left\n";
                }
            }
            return left;
        },
        why);
    if (!failures) GTEST_SKIP() << why;
    EXPECT_EQ(*failures, "");
}

// A folder or link someone planted under the workspace's name is neither used nor cleared;
// a private folder of this user's own beside it serves instead.
TEST_F(WorkspaceTest, PlantedFolderIsLeftAloneAndAPrivateOneServes) {
    const path planted = scratch.path() / "pomu";
    const path victim = scratch.path() / "victim";
    struct Case {
        const char* label;
        std::function<void()> plant;
    };
    const std::vector<Case> cases = {
        {"link to another folder", [&] { test::fs::create_directory_symlink(victim, planted); }},
        {"folder others may write to",
         [&] {
             test::fs::create_directory(planted);
             test::writeFile(planted / "victim.txt", "theirs");
             chmod(planted.c_str(), 0777);
         }},
        // What another user leaves in a shared /tmp (only the superuser can make it here).
        {"folder of user 65534",
         [&] {
             test::fs::create_directory(planted);
             test::writeFile(planted / "victim.txt", "theirs");
             chmod(planted.c_str(), 0700);
             if (geteuid() == 0) {
                 EXPECT_EQ(chown(planted.c_str(), 65534, 65534), 0);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        test::fs::create_directories(victim);
        test::writeFile(victim / "victim.txt", "theirs");
        c.plant();
        {
            std::optional<Workspace> workspace = prepareWorkspace();
            ASSERT_TRUE(workspace);
            EXPECT_EQ(workspace->path(), expectedPath("pomu-2"));
            EXPECT_TRUE(platform::isPrivateFolder(workspace->path()));
            struct stat info {};
            ASSERT_EQ(stat(workspace->path().c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        }
        EXPECT_EQ(test::readFile(victim / "victim.txt"), "theirs");
        EXPECT_EQ(test::readFile(planted / "victim.txt"), "theirs");
        test::fs::remove_all(planted);
        test::fs::remove_all(victim);
    }
}
#endif

}  // namespace
}  // namespace pomu

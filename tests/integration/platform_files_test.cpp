// The platform's file, folder and lock operations on real files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform.h"
#include "support/test_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pomu {
namespace {

using test::fs::path;

class PlatformFilesTest : public testing::Test {
  protected:
    void SetUp() override {
        test::writeFile(scratch.path() / "file.txt", "12345");
        test::writeFile(scratch.path() / "Volume.Part1.RAR", "");
        test::fs::create_directory(scratch.path() / "folder");
    }
    test::ScratchFolder scratch;
};

TEST_F(PlatformFilesTest, PathExists) {
    struct Case {
        const char* label;
        NativeString path;
        bool exists;
    };
    std::vector<Case> cases = {
        {"file", scratch.file("file.txt"), true},
        {"folder", scratch.file("folder"), true},
        {"folder with separator", scratch.file("folder") + kSeparator, true},
        {"missing", scratch.file("missing.txt"), false},
        {"below a missing folder", scratch.file("missing") + kSeparator + POMU_T("x"), false},
        {"empty", NativeString(), false},
    };
#ifndef _WIN32
    symlink("/nonexistent/target", scratch.file("dangling").c_str());
    cases.push_back({"dangling link", scratch.file("dangling"), true});
    cases.push_back(
        {"name with a NUL", scratch.file("file.txt") + std::string(1, '\0') + "x", false});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(platform::pathExists(c.path), c.exists);
    }
}

TEST_F(PlatformFilesTest, FindPathIgnoringCaseFoldsOnlyAsciiLetters) {
    test::writeFile(scratch.path() / test::native("café.txt"), "");
    struct Case {
        std::string asked;
        std::optional<std::string> found;
    };
    const std::vector<Case> cases = {
        {"file.txt", "file.txt"},
        {"FILE.TXT", "file.txt"},
        {"volume.part1.rar", "Volume.Part1.RAR"},
        {"CAFé.TXT", "café.txt"},
        {"cafÉ.txt", std::nullopt},
        {"file.tx", std::nullopt},
        {"missing", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        const std::optional<NativeString> found =
            platform::findPathIgnoringCase(scratch.file(c.asked));
        if (c.found) {
            EXPECT_EQ(found, scratch.file(*c.found));
        } else {
            EXPECT_FALSE(found);
        }
    }
}

TEST_F(PlatformFilesTest, ReadFileSizeOnlyForFiles) {
    EXPECT_EQ(platform::readFileSize(scratch.file("file.txt")), 5u);
    EXPECT_EQ(platform::readFileSize(scratch.file("Volume.Part1.RAR")), 0u);
    EXPECT_FALSE(platform::readFileSize(scratch.file("folder")));
    EXPECT_FALSE(platform::readFileSize(scratch.file("missing")));
}

TEST_F(PlatformFilesTest, ReadFileSizeBeyondFourGigabytes) {
    const path big = scratch.path() / "big.bin";
    test::writeFile(big, "");
    constexpr std::uint64_t kSize = (std::uint64_t(5) << 30) + 7;
    std::error_code error;
    test::fs::resize_file(big, kSize, error);  // sparse where the filesystem allows
    if (error) GTEST_SKIP() << "no room for a sparse 5 GB file: " << error.message();
    EXPECT_EQ(platform::readFileSize(big.native()), kSize);
}

TEST_F(PlatformFilesTest, CreateAndRemove) {
    const NativeString made = scratch.file("made");
    EXPECT_TRUE(platform::createFolder(made));
    EXPECT_FALSE(platform::createFolder(made));
    EXPECT_TRUE(platform::isPrivateFolder(made));
    test::writeFile(path(made) / "inside.txt", "x");
    EXPECT_FALSE(platform::removeFolder(made)) << "a folder with files must stay";
    EXPECT_FALSE(platform::removeFile(made));
    EXPECT_TRUE(platform::folderHasEntries(made));

    const NativeString inside = (path(made) / "inside.txt").native();
    test::fs::permissions(inside, test::fs::perms::owner_write, test::fs::perm_options::remove);
    EXPECT_TRUE(platform::removeFile(inside)) << "read-only files are deleted too";
    EXPECT_FALSE(platform::folderHasEntries(made));
    EXPECT_TRUE(platform::removeFolder(made + kSeparator));
    EXPECT_FALSE(platform::pathExists(made));
    EXPECT_FALSE(platform::folderHasEntries(made));
}

TEST_F(PlatformFilesTest, FolderHasEntriesSeesHiddenNames) {
    const path folder = scratch.path() / "folder";
    EXPECT_FALSE(platform::folderHasEntries(folder.native()));
    test::writeFile(folder / ".hidden", "");
    EXPECT_TRUE(platform::folderHasEntries(folder.native()));
}

TEST_F(PlatformFilesTest, TempFolderEndsInSeparator) {
    const std::optional<NativeString> temp = platform::tempFolder();
    ASSERT_TRUE(temp);
    ASSERT_FALSE(temp->empty());
    EXPECT_EQ(temp->back(), kSeparator);
    EXPECT_TRUE(test::fs::is_directory(*temp));
}

TEST_F(PlatformFilesTest, LockIsExclusiveUntilReleased) {
    const NativeString file = scratch.file("slot.lock");
    std::optional<platform::FileLock> first = platform::tryLockFile(file);
    ASSERT_TRUE(first);
    EXPECT_FALSE(platform::tryLockFile(file)) << "a second lock on the same file was granted";
    std::optional<platform::FileLock> moved = std::move(first);
    first.reset();
    EXPECT_FALSE(platform::tryLockFile(file)) << "moving the lock released it";
    moved.reset();
    EXPECT_TRUE(platform::tryLockFile(file));
}

#ifndef _WIN32
TEST_F(PlatformFilesTest, NamesThatAreNotUtf8) {
    const std::string name = scratch.file("\xff\xfe name \x80");
    test::writeFile(name, "bytes");
    EXPECT_TRUE(platform::pathExists(name));
    EXPECT_EQ(platform::findPathIgnoringCase(scratch.file("\xff\xfe NAME \x80")), name);
    EXPECT_EQ(platform::readFileSize(name), 5u);
    EXPECT_TRUE(platform::removeFile(name));
    EXPECT_FALSE(platform::pathExists(name));
}

TEST_F(PlatformFilesTest, LinksAreRemovedNotFollowed) {
    const std::string link = scratch.file("link");
    ASSERT_EQ(symlink(scratch.file("file.txt").c_str(), link.c_str()), 0);
    EXPECT_TRUE(platform::removeFile(link));
    EXPECT_EQ(test::readFile(scratch.path() / "file.txt"), "12345");

    ASSERT_EQ(symlink(scratch.file("folder").c_str(), link.c_str()), 0);
    EXPECT_FALSE(platform::removeFolder(link + "/"));
    EXPECT_TRUE(test::fs::is_directory(scratch.path() / "folder"));
    EXPECT_FALSE(platform::isPrivateFolder(link));
    EXPECT_FALSE(platform::isPrivateFolder(link + "/")) << "a trailing separator followed the link";
}

TEST_F(PlatformFilesTest, ReadFileSizeDoesNotWaitOnFifo) {
    const std::string fifo = scratch.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(platform::readFileSize(fifo));
}

TEST_F(PlatformFilesTest, NameWithNulNeverActsOnItsPrefix) {
    const std::string withNul = scratch.file("file.txt") + std::string(1, '\0') + ".bak";
    EXPECT_FALSE(platform::removeFile(withNul));
    EXPECT_FALSE(platform::readFileSize(withNul));
    EXPECT_TRUE(platform::pathExists(scratch.file("file.txt")));
}

TEST_F(PlatformFilesTest, PrivateFolderIsOwnAndNotWritableByOthers) {
    struct Case {
        mode_t mode;
        bool isPrivate;
    };
    for (const Case c :
         {Case{0700, true}, Case{0755, true}, Case{0770, false}, Case{0702, false}}) {
        SCOPED_TRACE(c.mode);
        chmod(scratch.file("folder").c_str(), c.mode);
        EXPECT_EQ(platform::isPrivateFolder(scratch.file("folder")), c.isPrivate);
    }
    EXPECT_FALSE(platform::isPrivateFolder(scratch.file("file.txt")));
}

TEST(PlatformTempFolder, FollowsTmpdirWhenAbsolute) {
    const char* saved = std::getenv("TMPDIR");
    const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
    struct Case {
        std::optional<std::string> tmpdir;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "/tmp/"}, {"", "/tmp/"},          {"relative/dir", "/tmp/"},
        {"/var/x", "/var/x/"},   {"/var/x/", "/var/x/"}, {"/", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir.value_or("(unset)"));
        if (c.tmpdir) {
            setenv("TMPDIR", c.tmpdir->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        EXPECT_EQ(platform::tempFolder(), c.expected);
    }
    if (old) {
        setenv("TMPDIR", old->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

TEST_F(PlatformFilesTest, LockRefusesLinkAtItsName) {
    const std::string lock = scratch.file("planted.lock");
    ASSERT_EQ(symlink(scratch.file("file.txt").c_str(), lock.c_str()), 0);
    EXPECT_FALSE(platform::tryLockFile(lock));
    EXPECT_EQ(test::readFile(scratch.path() / "file.txt"), "12345");
}
#endif

}  // namespace
}  // namespace pomu

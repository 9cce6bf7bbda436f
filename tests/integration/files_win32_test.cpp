// The Windows file operations on long paths, odd names, the temp folder and the lock file.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::fs::path;

TEST(FilesWin32Test, EveryOperationWorksBeforeAndPastThePathLimit) {
    test::ScratchFolder scratch;
    const NativeString deep = scratch.folder() + NativeString(120, L'd') + L"\\" +
                              NativeString(120, L'e') + L"\\" + NativeString(60, L'f');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + scratch.folder() + NativeString(120, L'd')).c_str(),
                                 nullptr));
    ASSERT_TRUE(CreateDirectoryW(
        (L"\\\\?\\" + scratch.folder() + NativeString(120, L'd') + L"\\" + NativeString(120, L'e'))
            .c_str(),
        nullptr));
    for (const NativeString& folder : {scratch.file("short"), deep}) {
        SCOPED_TRACE(folder.size());
        const NativeString file = folder + L"\\Data.Bin";
        EXPECT_TRUE(platform::createFolder(folder));
        EXPECT_TRUE(platform::pathExists(folder));
        EXPECT_TRUE(platform::isPrivateFolder(folder + L"\\"));
        EXPECT_FALSE(platform::folderHasEntries(folder));

        test::writeFile(L"\\\\?\\" + file, "12345");
        ASSERT_TRUE(SetFileAttributesW((L"\\\\?\\" + file).c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_TRUE(platform::folderHasEntries(folder));
        EXPECT_EQ(platform::readFileSize(file), 5u);
        EXPECT_EQ(platform::findPathIgnoringCase(folder + L"\\DATA.bin"), file);
        EXPECT_FALSE(platform::removeFolder(folder)) << "a folder with a file stays";

        EXPECT_TRUE(platform::removeFile(file));
        EXPECT_FALSE(platform::pathExists(file));
        EXPECT_TRUE(platform::removeFolder(folder + L"\\"));
        EXPECT_FALSE(platform::pathExists(folder));
    }
}

// A NUL inside a name would end it early for the system; the shorter path is never used.
TEST(FilesWin32Test, NameWithANulNeverReachesItsPrefix) {
    test::ScratchFolder scratch;
    const NativeString file = scratch.file("file.txt");
    test::writeFile(file, "kept");
    const NativeString withNul = file + NativeString(1, L'\0') + L".bak";
    EXPECT_FALSE(platform::pathExists(withNul));
    EXPECT_FALSE(platform::readFileSize(withNul));
    EXPECT_FALSE(platform::removeFile(withNul));
    EXPECT_FALSE(platform::moveToTrash(withNul));
    EXPECT_FALSE(platform::tryLockFile(withNul));
    EXPECT_FALSE(platform::createFolder(scratch.file("new") + NativeString(1, L'\0') + L"x"));
    EXPECT_EQ(test::readFile(file), "kept");
}

TEST(FilesWin32Test, TempFolderFitsAPathBufferOrIsEmpty) {
    std::vector<wchar_t> saved(32768);
    const DWORD savedSize = GetEnvironmentVariableW(L"TMP", saved.data(), DWORD(saved.size()));
    struct Case {
        NativeString tmp;
        std::optional<NativeString> expected;
    };
    const NativeString stem = L"C:\\" + NativeString(200, L't');
    const std::vector<Case> cases = {
        {L"C:\\temp", L"C:\\temp\\"},
        {L"C:\\temp\\", L"C:\\temp\\"},
        {stem + NativeString(kMaxPathChars - 1 - stem.size(), L'u'),
         stem + NativeString(kMaxPathChars - 1 - stem.size(), L'u') + L"\\"},
        {stem + NativeString(kMaxPathChars - stem.size(), L'u'), std::nullopt},
        {stem + NativeString(100, L'u'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmp.size());
        SetEnvironmentVariableW(L"TMP", c.tmp.c_str());
        EXPECT_EQ(platform::tempFolder(), c.expected);
    }
    SetEnvironmentVariableW(L"TMP", savedSize > 0 ? saved.data() : nullptr);
}

TEST(FilesWin32Test, LockFileGoesWithTheLock) {
    test::ScratchFolder scratch;
    const NativeString file = scratch.file("slot.lock");
    std::optional<platform::FileLock> lock = platform::tryLockFile(file);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(platform::pathExists(file));
    EXPECT_FALSE(platform::removeFile(file)) << "a held lock cannot be deleted";
    lock.reset();
    EXPECT_FALSE(platform::pathExists(file)) << "the released lock left its file behind";
}

// A network share may call itself NTFS while its index is the server's inode, which comes back
// with another file: only a local drive's generation is trusted.
TEST(FilesWin32Test, OnlyALocalNtfsDriveTellsGenerations) {
    const char* network = std::getenv("POMU_NETWORK_DRIVE");
    if (!network) GTEST_SKIP() << "no network drive (POMU_NETWORK_DRIVE) is mapped here";
    test::ScratchFolder local;
    const NativeString onNetwork = test::native(network) + L"generation.txt";
    for (const NativeString& file : {local.file("generation.txt"), onNetwork}) {
        test::writeFile(path(file), "x");
    }
    const auto here = platform::fileIdentity(local.file("generation.txt"));
    const auto there = platform::fileIdentity(onNetwork);
    ASSERT_TRUE(here && there);
    EXPECT_EQ(here->generation, 1);
    EXPECT_EQ(there->generation, 0);
    platform::removeFile(onNetwork);
}

}  // namespace
}  // namespace pomu

#endif  // _WIN32

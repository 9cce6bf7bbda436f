// Recycle-bin removal under Wine: the item really lands in the freedesktop.org Trash.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "fs/recycle.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::fs::path;

// Wine's Trash as this program sees it: $XDG_DATA_HOME/Trash on drive Z:.
std::optional<path> wineTrash() {
    std::vector<wchar_t> buffer(32768);
    const DWORD size =
        GetEnvironmentVariableW(L"XDG_DATA_HOME", buffer.data(), DWORD(buffer.size()));
    if (size == 0 || size >= buffer.size() || buffer[0] != L'/') return std::nullopt;
    NativeString folder(buffer.data(), size);
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
    }
    return path(L"Z:" + folder) / L"Trash";
}

// Names no earlier run left in the Trash.
std::string uniqueName(const std::string& name) {
    static int counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return "pomu " + std::to_string(stamp) + "-" + std::to_string(counter++) + " " + name;
}

class RecycleWin32Test : public testing::Test {
  protected:
    void SetUp() override {
        const std::optional<path> found = wineTrash();
        if (!found) GTEST_SKIP() << "XDG_DATA_HOME is not set, so the Trash cannot be found";
        trash = *found;
    }
    void TearDown() override {
        std::error_code error;
        for (const std::string& name : trashed) {
            test::fs::remove_all(trash / "files" / test::native(name), error);
            test::fs::remove(trash / "info" / test::native(name + ".trashinfo"), error);
        }
    }

    // True when the item arrived in the Trash with its description (the Wine return value
    // alone proves nothing: Wine deletes for good when it cannot make its Trash).
    void expectInTrash(const std::string& name, const std::string& innerFile,
                       const std::string& contents) {
        trashed.push_back(name);
        const path arrived = trash / "files" / test::native(name);
        EXPECT_EQ(test::readFile(innerFile.empty() ? arrived : arrived / innerFile), contents);
        const std::optional<std::string> info =
            test::readFile(trash / "info" / test::native(name + ".trashinfo"));
        ASSERT_TRUE(info) << name << ": no .trashinfo";
        EXPECT_NE(info->find("[Trash Info]"), std::string::npos);
        EXPECT_NE(info->find("Path="), std::string::npos);
    }

    test::ScratchFolder scratch;
    path trash;
    std::vector<std::string> trashed;
};

TEST_F(RecycleWin32Test, FilesAndFoldersArriveInTheTrash) {
    struct Case {
        std::string name;
        bool folder;
        DWORD attributes;
    };
    const std::vector<Case> cases = {
        {uniqueName("plain.txt"), false, FILE_ATTRIBUTE_NORMAL},
        {uniqueName("blank and 日本語.txt"), false, FILE_ATTRIBUTE_NORMAL},
        {uniqueName("read-only.txt"), false, FILE_ATTRIBUTE_READONLY},
        {uniqueName("folder"), true, FILE_ATTRIBUTE_NORMAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const path source = scratch.path() / test::native(c.name);
        const path file = c.folder ? source / "inner" / "file.txt" : source;
        test::fs::create_directories(file.parent_path());
        test::writeFile(file, "contents of " + c.name);
        SetFileAttributesW(file.c_str(), c.attributes);

        EXPECT_TRUE(recycleFile(source.native()));
        EXPECT_FALSE(platform::pathExists(source.native()));
        expectInTrash(c.name, c.folder ? "inner/file.txt" : "", "contents of " + c.name);
    }
}

TEST_F(RecycleWin32Test, PathPastTheShellLimitStaysWhereItIs) {
    const path folder = scratch.path() / std::string(200, 'f');
    const path file = folder / (std::string(80, 'n') + ".txt");
    ASSERT_GT(file.native().size(), kMaxPathChars);
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder.native()).c_str(), nullptr));
    test::writeFile(L"\\\\?\\" + file.native(), "stays");

    EXPECT_FALSE(platform::moveToTrash(file.native()));
    EXPECT_FALSE(recycleFile(file.native()));
    EXPECT_EQ(test::readFile(L"\\\\?\\" + file.native()), "stays");
}

TEST_F(RecycleWin32Test, MissingPathCountsAsRemovedAndTrashesNothing) {
    const std::string name = uniqueName("never made.txt");
    EXPECT_TRUE(recycleFile(scratch.file(name)));
    EXPECT_FALSE(test::fs::exists(trash / "files" / test::native(name)));
}

}  // namespace
}  // namespace pomu

#endif  // _WIN32

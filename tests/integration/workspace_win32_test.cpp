// Clearing the working folder on Windows: links and junctions, long paths, locked-down files.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fs/workspace.h"
#include "support/environment.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::fs::path;

// ---- links ----

enum class LinkKind { junction, folderSymlink, fileSymlink };
// Wine 8 makes neither junctions (FSCTL_SET_REPARSE_POINT fails) nor symbolic links
// (CreateSymbolicLinkW reports success and makes nothing); a Unix link stands in for them.
enum class LinkMade { none, windows, unix };

NativeString extended(const path& p) {
    return L"\\\\?\\" + p.native();
}

bool isReparsePoint(const path& p) {
    const DWORD attributes = GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool makeJunction(const path& link, const path& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    const HANDLE handle =
        CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // A mount point's data: the NT target, then the printed one, each with a terminator.
    const NativeString substitute = L"\\??\\" + target.native();
    const NativeString print = target.native();
    const std::size_t pathBytes = (substitute.size() + print.size() + 2) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(16 + pathBytes);
    auto put16 = [&](std::size_t at, std::size_t value) {
        buffer[at] = static_cast<unsigned char>(value & 0xFF);
        buffer[at + 1] = static_cast<unsigned char>(value >> 8);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(buffer.data(), &tag, sizeof tag);
    put16(4, 8 + pathBytes);                 // data length
    put16(8, 0);                             // substitute offset
    put16(10, substitute.size() * 2);        // substitute length
    put16(12, (substitute.size() + 1) * 2);  // print offset
    put16(14, print.size() * 2);             // print length
    memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * 2);
    memcpy(buffer.data() + 16 + (substitute.size() + 1) * 2, print.c_str(), (print.size() + 1) * 2);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                    DWORD(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (!ok) RemoveDirectoryW(link.c_str());
    return ok;
}

std::string unixPath(const path& p) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* name = toUnix(p.c_str());
    if (!name) return {};
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Wine starts Unix programs too; its handle for them cannot be waited on, so the caller polls.
bool runUnix(const NativeString& line) {
    std::vector<wchar_t> writable(line.c_str(), line.c_str() + line.size() + 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    if (info.hThread) CloseHandle(info.hThread);
    if (info.hProcess) CloseHandle(info.hProcess);
    return true;
}

bool waitForExistence(const path& p, bool exists) {
    for (int i = 0; i < 250; ++i) {
        if ((GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES) == exists) return true;
        Sleep(20);
    }
    return false;
}

NativeString quotedUnix(const path& p) {
    return L"\"" + test::native(unixPath(p)) + L"\"";
}

bool makeUnixLink(const path& link, const path& target) {
    if (unixPath(link).empty() || unixPath(target).empty()) return false;
    return runUnix(L"/bin/ln -s " + quotedUnix(target) + L" " + quotedUnix(link)) &&
           waitForExistence(link, true);
}

// Windows calls cannot remove a Unix link without reaching its target.
void removeUnixLink(const path& link) {
    ASSERT_TRUE(runUnix(L"/bin/rm -f " + quotedUnix(link)));
    ASSERT_TRUE(waitForExistence(link, false));
}

LinkMade makeLink(LinkKind kind, const path& link, const path& target) {
    bool made = false;
    if (kind == LinkKind::junction) {
        made = makeJunction(link, target);
    } else {
        const DWORD folder = kind == LinkKind::folderSymlink ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
        made = CreateSymbolicLinkW(link.c_str(), target.c_str(),
                                   folder | 0x2 /* allow unprivileged create */);
    }
    if (made && isReparsePoint(link)) return LinkMade::windows;
    if (made && !RemoveDirectoryW(link.c_str())) DeleteFileW(link.c_str());
    return makeUnixLink(link, target) ? LinkMade::unix : LinkMade::none;
}

// ---- what lies outside ----

// Every entry below a folder with its attributes and contents, to prove nothing changed.
std::map<NativeString, std::pair<DWORD, std::string>> snapshot(const path& folder) {
    std::map<NativeString, std::pair<DWORD, std::string>> entries;
    entries[L"."] = {GetFileAttributesW(folder.c_str()), ""};
    std::error_code error;
    for (auto it = test::fs::recursive_directory_iterator(folder, error);
         !error && it != test::fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string contents =
            it->is_regular_file() ? test::readFile(it->path()).value_or("?") : "";
        entries[it->path().native()] = {GetFileAttributesW(it->path().c_str()), contents};
    }
    return entries;
}

// The names right inside a folder, sorted.
std::vector<NativeString> namesIn(const path& folder) {
    std::vector<NativeString> names;
    std::error_code error;
    for (auto it = test::fs::directory_iterator(folder, error);
         !error && it != test::fs::directory_iterator(); it.increment(error)) {
        names.push_back(it->path().filename().native());
    }
    std::sort(names.begin(), names.end());
    return names;
}

using test::TempFolderOverride;

class WorkspaceWin32Test : public testing::Test {
  protected:
    void SetUp() override {
        outside = scratch.path() / "outside";
        test::fs::create_directories(outside / "empty");
        for (const auto& [name, attributes] :
             std::vector<std::pair<const char*, DWORD>>{{"plain.txt", FILE_ATTRIBUTE_ARCHIVE},
                                                        {"locked.txt", FILE_ATTRIBUTE_READONLY},
                                                        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN}}) {
            test::writeFile(outside / name, name);
            SetFileAttributesW((outside / name).c_str(), attributes);
        }
        SetFileAttributesW((outside / "empty").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void TearDown() override {
        SetFileAttributesW((outside / "empty").c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const char* name : {"plain.txt", "locked.txt", "hidden.txt"}) {
            SetFileAttributesW((outside / name).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }

    test::ScratchFolder scratch;
    path outside;
    TempFolderOverride temp{scratch.folder()};
};

TEST_F(WorkspaceWin32Test, LinksAreRemovedAsLinksAndTargetsStayAsTheyWere) {
    struct Case {
        const char* label;
        LinkKind kind;
        const char* target;  // below the outside folder; "" for the folder itself
    };
    const std::vector<Case> cases = {
        {"junction to a folder with files", LinkKind::junction, ""},
        {"junction to an empty folder", LinkKind::junction, "empty"},
        {"folder link to a folder with files", LinkKind::folderSymlink, ""},
        {"folder link to an empty folder", LinkKind::folderSymlink, "empty"},
        {"file link to a read-only file", LinkKind::fileSymlink, "locked.txt"},
        {"file link to a plain file", LinkKind::fileSymlink, "plain.txt"},
    };
    const auto before = snapshot(outside);
    int made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::optional<Workspace> workspace = prepareWorkspace();
        ASSERT_TRUE(workspace);
        const path root(workspace->path());
        test::fs::create_directories(root / "nested");
        test::writeFile(root / "nested" / "own.txt", "own");
        const path target = *c.target ? outside / c.target : outside;
        const LinkMade how = makeLink(c.kind, root / "nested" / "link", target);
        if (how == LinkMade::none) continue;
        ++made;
        clearFolder(workspace->path());
        EXPECT_EQ(snapshot(outside), before);
        EXPECT_FALSE(test::fs::exists(root / "nested" / "own.txt"));
        if (how == LinkMade::windows) {
            EXPECT_FALSE(platform::folderHasEntries(workspace->path()));
        } else {
            // Wine cannot remove a Unix link without reaching its target: the link alone stays.
            EXPECT_EQ(namesIn(root), std::vector<NativeString>{L"nested"});
            EXPECT_EQ(namesIn(root / "nested"), std::vector<NativeString>{L"link"});
        }
        workspace.reset();
        EXPECT_EQ(snapshot(outside), before);
        if (how == LinkMade::unix) removeUnixLink(root / "nested" / "link");
    }
    if (made == 0) GTEST_SKIP() << "no kind of link can be made here";
}

TEST_F(WorkspaceWin32Test, RemovalTakesTheLinkNeverItsTarget) {
    const auto before = snapshot(outside);
    for (const auto& [kind, target] :
         {std::pair{LinkKind::fileSymlink, "locked.txt"}, std::pair{LinkKind::folderSymlink, ""},
          std::pair{LinkKind::junction, "empty"}}) {
        const path link = scratch.path() / "link";
        const LinkMade how = makeLink(kind, link, *target ? outside / target : outside);
        if (how == LinkMade::none) continue;
        EXPECT_FALSE(platform::isPrivateFolder(link.native()));
        EXPECT_FALSE(platform::isPrivateFolder(link.native() + L"\\"));
        EXPECT_FALSE(platform::removeFolder(link.native() + L"\\")) << "a link is no folder";
        EXPECT_EQ(snapshot(outside), before) << target;
        const bool removed = platform::removeFile(link.native());
        EXPECT_EQ(snapshot(outside), before) << target;
        if (how == LinkMade::windows) {
            EXPECT_TRUE(removed);
            EXPECT_FALSE(test::fs::exists(test::fs::symlink_status(link)));
        } else {
            // Win32 sees a Unix link as its target, so removing it is refused.
            EXPECT_FALSE(removed) << target;
            EXPECT_TRUE(test::fs::exists(link)) << target;
            removeUnixLink(link);
        }
    }
}

// A link planted under the workspace's name is neither used nor cleared.
// Left alone: the slot beside it serves instead.
TEST_F(WorkspaceWin32Test, PlantedLinkIsLeftAlone) {
    const auto before = snapshot(outside);
    int made = 0;
    for (const LinkKind kind : {LinkKind::junction, LinkKind::folderSymlink}) {
        const path planted = scratch.path() / "pomu";
        const LinkMade how = makeLink(kind, planted, outside);
        if (how == LinkMade::none) continue;
        ++made;
        {
            const std::optional<Workspace> workspace = prepareWorkspace();
            ASSERT_TRUE(workspace);
            EXPECT_EQ(workspace->path(), scratch.file("pomu-2") + L"\\");
        }
        EXPECT_EQ(snapshot(outside), before);
        if (how == LinkMade::unix) {
            removeUnixLink(planted);
        } else {
            RemoveDirectoryW(planted.c_str());
        }
    }
    if (made == 0) GTEST_SKIP() << "no kind of link can be made here";
}

TEST_F(WorkspaceWin32Test, LockedDownEntriesAndPathsPastTheLimitAreCleared) {
    std::optional<Workspace> workspace = prepareWorkspace();
    ASSERT_TRUE(workspace);
    const NativeString root = workspace->path();
    path deep(root);
    for (int level = 0; level < 12; ++level)
        deep /= "a folder named at length " + std::to_string(level);
    ASSERT_GT(deep.native().size(), 300u);
    ASSERT_TRUE(test::fs::create_directories(extended(deep)));
    const std::vector<std::pair<const char*, DWORD>> files = {
        {"read-only.txt", FILE_ATTRIBUTE_READONLY},
        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
        {"system.txt", FILE_ATTRIBUTE_SYSTEM},
        {"all three.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    };
    for (const path& folder : {path(root), deep}) {
        for (const auto& [name, attributes] : files) {
            const NativeString file = extended(folder / name);
            test::writeFile(file, name);
            ASSERT_TRUE(SetFileAttributesW(file.c_str(), attributes));
            ASSERT_EQ(GetFileAttributesW(file.c_str()) & attributes, attributes) << name;
        }
    }
    ASSERT_TRUE(SetFileAttributesW(extended(deep).c_str(), FILE_ATTRIBUTE_READONLY));

    clearFolder(root);
    EXPECT_FALSE(platform::folderHasEntries(root));
    EXPECT_TRUE(platform::pathExists(root));
    workspace.reset();
    EXPECT_FALSE(platform::pathExists(root));
}

}  // namespace
}  // namespace pomu

#endif  // _WIN32

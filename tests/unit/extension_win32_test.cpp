// The extension rule agrees with the shell's own extension lookup and replacement.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <shlwapi.h>  // after windows.h, which it needs

#include <string>
#include <vector>

#include "convert/plan.h"
#include "support/test_files.h"

namespace pomu {
namespace {

// The shell's answers, computed in a path buffer as the shell functions require.
NativeString shellExtension(const NativeString& path) {
    return NativeString(PathFindExtensionW(path.c_str()));
}

std::optional<NativeString> shellRename(const NativeString& path, const NativeString& extension) {
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, MAX_PATH - 1);
    if (!PathRenameExtensionW(buffer, extension.c_str())) return std::nullopt;
    return NativeString(buffer);
}

void expectSameAsShell(const NativeString& path, const NativeString& extension) {
    SCOPED_TRACE(test::utf8(path) + " with " + test::utf8(extension));
    EXPECT_EQ(NativeString(findExtension(path)), shellExtension(path));
    const std::optional<NativeString> ours = renameExtension(path, extension);
    // Where the shell refuses, ours is empty: never the source, never a cut path.
    EXPECT_EQ(ours, shellRename(path, extension));
}

TEST(ExtensionMatchesShell, NamedExamples) {
    const std::vector<NativeString> paths = {
        L"D:\\a\\photos.rar",
        L"D:\\a\\backup",
        L"D:\\a\\data.tar.gz",
        L"D:\\a\\movie.part1.rar",
        L"D:\\a\\x. y",
        L"D:\\a.b\\file",
        L"D:\\a\\.hidden",
        L"D:\\a\\trailing.",
        L"D:\\a\\b c.zip",
        L"D:\\a\\x.y z",
        L"name.7z",
        L"",
        L"D:\\",
        L"D:\\a\\..",
        L"D:\\a.\\",
        L"\\\\server\\share\\arc.RAR",
    };
    for (const NativeString& path : paths) {
        for (const NativeString extension : {L".7z", L".zip"}) {
            expectSameAsShell(path, extension);
        }
    }
}

// Lengths around the 259-character limit, with and without an extension to replace.
TEST(ExtensionMatchesShell, NamesNearThePathLimit) {
    for (std::size_t length = MAX_PATH - 8; length < MAX_PATH; ++length) {
        for (const NativeString ending : {L"", L".r", L".rar", L".", L". x"}) {
            if (ending.size() + 3 > length) continue;
            NativeString path = L"D:\\" + NativeString(length - 3 - ending.size(), L'n') + ending;
            for (const NativeString extension : {L".7z", L".zip"}) {
                expectSameAsShell(path, extension);
            }
        }
    }
}

// Every short name over the characters that matter to the rule.
TEST(ExtensionMatchesShell, EveryShortCombination) {
    const NativeString alphabet = L"a. \\";
    std::vector<NativeString> names = {L""};
    for (int length = 1; length <= 5; ++length) {
        std::vector<NativeString> longer;
        for (const NativeString& name : names) {
            if (name.size() + 1 != std::size_t(length)) continue;
            for (const wchar_t c : alphabet) longer.push_back(name + c);
        }
        names.insert(names.end(), longer.begin(), longer.end());
    }
    for (const NativeString& name : names) expectSameAsShell(L"C:\\" + name, L".7z");
}

}  // namespace
}  // namespace pomu

#endif  // _WIN32

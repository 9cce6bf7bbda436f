// The resources built into the program: dialog template, Japanese menu, icons, version, manifest.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pomu_version.h"
#include "res/resource.h"

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

struct Resource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Resource findResource(LPCWSTR type, int id, WORD language) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (found == nullptr) return {};
    return {static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
            SizeofResource(module, found)};
}

// Reads the fields of an extended dialog template in order.
class TemplateReader {
  public:
    explicit TemplateReader(const BYTE* data) : start_(data), at_(data) {}
    WORD word() { return take<WORD>(); }
    DWORD dword() { return take<DWORD>(); }
    short coordinate() { return static_cast<short>(word()); }
    BYTE byte() { return *at_++; }
    // A name or an ordinal: 0xFFFF followed by the number, else a NUL-ended string.
    std::wstring nameOrOrdinal() {
        if (peek() == 0xFFFF) {
            word();
            return L"#" + std::to_wstring(word());
        }
        return string();
    }
    std::wstring string() {
        std::wstring text;
        for (WORD c = word(); c != 0; c = word()) text += wchar_t(c);
        return text;
    }
    void alignToDword() {
        while ((at_ - start_) % 4 != 0) ++at_;
    }

  private:
    WORD peek() const {
        WORD value;
        std::memcpy(&value, at_, sizeof value);
        return value;
    }
    template <typename T>
    T take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    const BYTE* start_;
    const BYTE* at_;
};

TEST(Resources, mainDialogTemplateIsExactlyTheWindow) {
    const Resource dialog = findResource(RT_DIALOG, IDD_MAIN, kJapanese);
    ASSERT_NE(dialog.data, nullptr) << "IDD_MAIN in Japanese";
    TemplateReader reader(dialog.data);
    EXPECT_EQ(reader.word(), 1);       // dlgVer
    EXPECT_EQ(reader.word(), 0xFFFF);  // signature of an extended template
    EXPECT_EQ(reader.dword(), 0u);     // help id
    EXPECT_EQ(reader.dword(), 0u);     // extended style
    EXPECT_EQ(reader.dword(), 0x00C808C8u);
    EXPECT_EQ(reader.word(), 1);  // controls
    EXPECT_EQ(reader.coordinate(), 0);
    EXPECT_EQ(reader.coordinate(), 0);
    EXPECT_EQ(reader.coordinate(), 75);
    EXPECT_EQ(reader.coordinate(), 57);
    EXPECT_EQ(reader.nameOrOrdinal(), L"");  // no menu
    EXPECT_EQ(reader.nameOrOrdinal(), L"");  // the default dialog class
    EXPECT_EQ(reader.string(), L"pomu");
    EXPECT_EQ(reader.word(), 8);    // points
    EXPECT_EQ(reader.word(), 400);  // weight
    EXPECT_EQ(reader.byte(), 0);    // not italic
    EXPECT_EQ(reader.byte(), 1);    // character set
    EXPECT_EQ(reader.string(), L"MS Shell Dlg");

    reader.alignToDword();
    EXPECT_EQ(reader.dword(), 0u);  // help id
    EXPECT_EQ(reader.dword(), 0u);  // extended style
    EXPECT_EQ(reader.dword(), 0x50020001u);
    EXPECT_EQ(reader.coordinate(), 7);
    EXPECT_EQ(reader.coordinate(), 22);
    EXPECT_EQ(reader.coordinate(), 61);
    EXPECT_EQ(reader.coordinate(), 12);
    EXPECT_EQ(reader.dword(), DWORD(IDC_STATUS));
    const std::wstring controlClass = reader.nameOrOrdinal();
    EXPECT_TRUE(controlClass == L"#130" || _wcsicmp(controlClass.c_str(), L"Static") == 0)
        << "class " << std::string(controlClass.begin(), controlClass.end());
    EXPECT_EQ(reader.nameOrOrdinal(), L"Drop file here.");
    EXPECT_EQ(reader.word(), 0);  // no creation data
}

struct MenuItem {
    UINT id;  // 0 for a separator
    const wchar_t* caption;
};

TEST(Resources, optionsMenuHoldsTheJapaneseItemsInOrder) {
    ASSERT_NE(findResource(RT_MENU, IDR_OPTIONS_MENU, kJapanese).data, nullptr);
    const HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_OPTIONS_MENU));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    wchar_t caption[64] = {};
    GetMenuStringW(menu, 0, caption, 64, MF_BYPOSITION);
    EXPECT_STREQ(caption, L"DUMMY");
    const HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);

    const std::vector<MenuItem> expected = {
        {ID_DELETE_ALREADY, L"あったら消す"},
        {ID_DELETE_PROCESSED, L"やったら消す"},
        {0, L""},
        {ID_DIV100MB, L"100MBで分割"},
        {ID_DIV1GB, L"1GBで分割"},
        {0, L""},
        {ID_ZIP, L"ZIPで保存"},
    };
    ASSERT_EQ(GetMenuItemCount(popup), int(expected.size()));
    for (UINT position = 0; position < expected.size(); ++position) {
        SCOPED_TRACE(position);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
        ASSERT_TRUE(GetMenuItemInfoW(popup, position, TRUE, &info));
        const MenuItem& item = expected[position];
        if (item.id == 0) {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_EQ(info.fState, UINT(MFS_ENABLED));  // plain, enabled, unchecked
        EXPECT_EQ(info.fType, UINT(MFT_STRING));
        EXPECT_EQ(info.wID, item.id);
        wchar_t text[64] = {};
        EXPECT_GT(GetMenuStringW(popup, position, text, 64, MF_BYPOSITION), 0);
        EXPECT_STREQ(text, item.caption);
    }
    DestroyMenu(menu);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct IconGroupCase {
    int id;
    std::vector<int> sizes;
};

class IconGroups : public ::testing::TestWithParam<IconGroupCase> {};

TEST_P(IconGroups, holdThirtyTwoBitPngImagesOfTheirSizes) {
    const IconGroupCase& group = GetParam();
    const Resource found = findResource(RT_GROUP_ICON, group.id, kJapanese);
    ASSERT_NE(found.data, nullptr);
    WORD count;
    std::memcpy(&count, found.data + 4, sizeof count);
    ASSERT_EQ(count, group.sizes.size());
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, found.data + 6 + i * sizeof(GroupIconEntry), sizeof entry);
        EXPECT_EQ(entry.width, group.sizes[i]);
        EXPECT_EQ(entry.height, group.sizes[i]);
        EXPECT_EQ(entry.bitCount, 32);
        const Resource image = findResource(RT_ICON, entry.id, kJapanese);
        ASSERT_NE(image.data, nullptr);
        ASSERT_GE(image.size, 8u);
        EXPECT_EQ(std::memcmp(image.data, "\x89PNG\r\n\x1a\n", 8), 0) << "PNG-stored image";
    }
    const HANDLE icon =
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(group.id), IMAGE_ICON,
                   group.sizes.back(), group.sizes.back(), LR_LOADTRANSPARENT);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
}

INSTANTIATE_TEST_SUITE_P(Resources, IconGroups,
                         ::testing::Values(IconGroupCase{IDI_APP_LARGE, {16, 32}},
                                           IconGroupCase{IDI_APP_SMALL, {16}}));

BOOL CALLBACK firstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR first) {
    *reinterpret_cast<ULONG_PTR*>(first) = reinterpret_cast<ULONG_PTR>(name);
    return FALSE;
}

TEST(Resources, largeIconIsTheLowestIconGroupSoTheProgramIcon) {
    ULONG_PTR first = 0;
    EnumResourceNamesW(GetModuleHandleW(nullptr), RT_GROUP_ICON, firstName,
                       reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, ULONG_PTR(IDI_APP_LARGE));
}

TEST(Resources, manifestAsksOnlyToRunAsTheCaller) {
    const Resource manifest =
        findResource(RT_MANIFEST, 1, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(manifest.data, nullptr);
    const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(text.find("dependency"), std::string::npos);
    EXPECT_EQ(text.find("dpiAware"), std::string::npos);
    EXPECT_EQ(findResource(RT_MANIFEST, 1, kJapanese).data, nullptr);
}

}  // namespace

// What Explorer's properties read from the file: the numbers and the texts of the version.
TEST(Resources, versionInformationCarriesTheProjectVersion) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(self, &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(POMU_VERSION_MINOR, POMU_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, POMU_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

    const std::wstring version = L"" POMU_VERSION;
    const std::pair<const wchar_t*, std::wstring> texts[] = {
        {L"FileVersion", version},
        {L"ProductVersion", version},
        {L"ProductName", L"pomu"},
        {L"OriginalFilename", L"pomu.exe"},
    };
    for (const auto& [key, expected] : texts) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), &value, &length))
            << std::string(query.begin(), query.end());
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), expected)
            << std::string(query.begin(), query.end());
    }
}

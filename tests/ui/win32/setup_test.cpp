// Window set-up: the created window, check marks from the settings, the 7-Zip folder checks.
#include <windows.h>

#include <gtest/gtest.h>

#include "convert/archiver.h"
#include "res/resource.h"
#include "ui/win32/harness.h"

namespace pomu::test::win32 {
namespace {

NativeString withSeparator(const fs::path& folder) {
    return folder.native() + L"\\";
}

// A folder holding copies of the named archiver files.
NativeString archiverCopy(const ScratchFolder& scratch, const std::string& name,
                          const std::vector<NativeView>& files) {
    const fs::path folder = scratch.path() / name;
    fs::create_directories(folder);
    for (const NativeView file : files) {
        fs::copy_file(fs::path(archiverFolder()) / file, folder / file);
    }
    return withSeparator(folder);
}

std::string savedKey(const std::string& settings, const std::string& key) {
    const std::size_t at = settings.find("\n" + key + "=");
    if (at == std::string::npos) return "<missing>";
    const std::size_t start = at + key.size() + 2;
    return settings.substr(start, settings.find_first_of("\r\n", start) - start);
}

using SetUpTest = MainWindowTest;

TEST_F(SetUpTest, readyWindowIsTheTemplateShownMarkedAndAcceptingDrops) {
    DialogAnswerer answerer(answerToGoOn);
    const HWND window = open(settingsText(archiverFolder()));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(answerer.seen().empty()) << "no chooser and no message at a good folder";
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(state_->ready());

    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    EXPECT_STREQ(caption, L"pomu");
    EXPECT_EQ(statusText(window), L"Drop file here.");
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & 0x00C808C8, 0x00C808C8);
    EXPECT_EQ(style & (WS_POPUP | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetPropW(window, L"pomu")), 1u);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(theOptions().sevenZipFolder, archiverFolder());
}

struct CheckMarkCase {
    const char* name;
    std::vector<std::string> lines;
    bool deleteAlready, deleteProcessed, div100MB, div1GB, zip;
};

class CheckMarksFromSettings : public MainWindowTest,
                               public ::testing::WithParamInterface<CheckMarkCase> {};

TEST_P(CheckMarksFromSettings, followTheLoadedOptions) {
    const CheckMarkCase& c = GetParam();
    DialogAnswerer answerer(answerToGoOn);
    ASSERT_NE(open(settingsText(archiverFolder(), c.lines)), nullptr);
    EXPECT_EQ(checked(ID_DELETE_ALREADY), c.deleteAlready);
    EXPECT_EQ(checked(ID_DELETE_PROCESSED), c.deleteProcessed);
    EXPECT_EQ(checked(ID_DIV100MB), c.div100MB);
    EXPECT_EQ(checked(ID_DIV1GB), c.div1GB);
    EXPECT_EQ(checked(ID_ZIP), c.zip);
    EXPECT_EQ(theOptions().div100MB, c.div100MB);
    EXPECT_EQ(theOptions().div1GB, c.div1GB);
}

INSTANTIATE_TEST_SUITE_P(
    SetUp, CheckMarksFromSettings,
    ::testing::Values(
        CheckMarkCase{"none", {}, false, false, false, false, false},
        CheckMarkCase{"deleteAlready", {"deleteAlready=ON"}, true, false, false, false, false},
        CheckMarkCase{
            "processedAndZip", {"deleteProcessed=on", "zip=On"}, false, true, false, false, true},
        CheckMarkCase{"bothSplitsOn100MBWins",
                      {"div100MB=ON", "div1GB=ON"},
                      false,
                      false,
                      true,
                      false,
                      false},
        CheckMarkCase{"oneGB", {"div1GB=ON"}, false, false, false, true, false},
        CheckMarkCase{
            "notQuiteOn", {"zip=ONE", "deleteAlready=1"}, false, false, false, false, false},
        CheckMarkCase{"all",
                      {"deleteAlready=ON", "deleteProcessed=ON", "div1GB=ON", "zip=ON"},
                      true,
                      true,
                      false,
                      true,
                      true}),
    [](const auto& info) { return std::string(info.param.name); });

struct MissingCase {
    const char* name;
    std::vector<NativeView> files;  // what the configured folder holds
    bool chooserExpected;           // the folder chooser is shown, and answered with OK
    const wchar_t* message;
};

class MissingArchiver : public MainWindowTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingArchiver, saysWhatIsMissingClosesAndSavesTheFolder) {
    const MissingCase& c = GetParam();
    const NativeString folder = archiverCopy(scratch_, "7-Zip", c.files);
    DialogAnswerer answerer([](const SeenDialog& dialog) {
        return dialog.messageBox ? IDOK : IDOK;  // the chooser takes its first selection
    });
    EXPECT_EQ(open(settingsText(folder, {"zip=ON"})), nullptr) << "set-up closed the window";
    EXPECT_EQ(state_->window, nullptr);
    EXPECT_EQ(runLoop(5000), 0) << "the quit message was already posted";

    const std::vector<SeenDialog>& seen = answerer.seen();
    ASSERT_EQ(seen.size(), c.chooserExpected ? 2u : 1u);
    if (c.chooserExpected) {
        EXPECT_FALSE(seen.front().messageBox);
    }
    const SeenDialog& box = seen.back();
    EXPECT_TRUE(box.messageBox);
    EXPECT_EQ(box.text, c.message);
    EXPECT_EQ(box.caption, L"pomu");
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(box.hasIcon);

    const std::string saved = settings_.read().value_or("");
    EXPECT_EQ(savedKey(saved, "zip"), "ON");
    const std::string savedFolder = savedKey(saved, "dir");
    if (c.chooserExpected) {
        // The chosen folder is kept even though 7-Zip is not in it.
        EXPECT_NE(savedFolder, utf8(folder));
        EXPECT_EQ(savedFolder.back(), '\\');
    } else {
        EXPECT_EQ(savedFolder, utf8(folder));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SetUp, MissingArchiver,
    ::testing::Values(
        MissingCase{"libraryMissing", {archiver::kProgramName}, false, L"7z.dll not found"},
        MissingCase{
            "programNotInChosenFolder", {archiver::kLibraryName}, true, L"7z.exe not found"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetUpTest, cancelledChooserLeavesAnInertWindowAndTheFolderAsLoaded) {
    const NativeString missing = scratch_.file("no 7-Zip here");
    DialogAnswerer answerer([](const SeenDialog&) { return IDCANCEL; });
    const HWND window = open(settingsText(missing, {"deleteProcessed=ON"}));
    ASSERT_NE(window, nullptr) << "the window stays open";
    ASSERT_EQ(answerer.seen().size(), 1u);
    const SeenDialog& chooser = answerer.seen().front();
    EXPECT_FALSE(chooser.messageBox);
    EXPECT_NE(std::find(chooser.allTexts.begin(), chooser.allTexts.end(), L"Select 7-Zip Folder"),
              chooser.allTexts.end());

    const NativeString loaded = missing + L"\\";
    EXPECT_EQ(theOptions().sevenZipFolder, loaded);
    EXPECT_FALSE(state_->ready());
    EXPECT_EQ(state_->optionsMenu, nullptr);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    EXPECT_EQ(statusText(window), L"Drop file here.");

    {
        MenuProbe probe;
        send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(100, 100));
        EXPECT_FALSE(probe.opened());
    }
    const NativeString source = makeArchive(scratch_, "a.zip", {{"a.txt", "alpha"}});
    const HGLOBAL block = drop({source});
    EXPECT_TRUE(dropReleased(block)) << "an unused drop is still released";
    EXPECT_FALSE(fs::exists(scratch_.path() / "a.7z"));
    EXPECT_EQ(statusText(window), L"Drop file here.");
    send(WM_COMMAND, ID_ZIP);
    EXPECT_FALSE(theOptions().zip) << "no menu, no option commands";

    send(WM_COMMAND, ID_ESCAPE);  // closing still works
    EXPECT_EQ(state_->window, nullptr);
    EXPECT_EQ(runLoop(5000), 0);
    const std::string saved = settings_.read().value_or("");
    EXPECT_EQ(savedKey(saved, "dir"), utf8(loaded));
    EXPECT_EQ(savedKey(saved, "deleteProcessed"), "ON");
}

// Changes the working folder for the test's duration.
class WorkingFolder {
  public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~WorkingFolder() { fs::current_path(previous_); }

  private:
    fs::path previous_;
};

TEST_F(SetUpTest, emptyFolderStartsTheArchiverFoundInTheWorkingFolderAndStaysEmpty) {
    const NativeString here =
        archiverCopy(scratch_, "here", {archiver::kProgramName, archiver::kLibraryName});
    const NativeString source = makeArchive(scratch_, "a.zip", {{"a.txt", "alpha"}});
    DialogAnswerer answerer(answerToGoOn);
    {
        const WorkingFolder working(here);
        ASSERT_NE(open(settingsText(L"")), nullptr);
    }
    EXPECT_TRUE(answerer.seen().empty()) << "found by its bare name: no chooser";
    EXPECT_TRUE(state_->ready());
    EXPECT_EQ(theOptions().sevenZipFolder, here) << "the tested program, by its full path";

    // The working folder has changed since: the tested program is still the one started.
    drop({source});
    EXPECT_EQ(statusText(state_->window), L"1 7z complete!");
    EXPECT_TRUE(archiveTests(scratch_.file("a.7z")));

    send(WM_CLOSE);
    EXPECT_EQ(runLoop(5000), 0);
    EXPECT_EQ(savedKey(settings_.read().value_or(""), "dir"), "") << "saved as it was loaded";
}

// A value under HKCU\\Software\\7-Zip, as an installer writes it, for the test's duration.
class InstallerRecord {
  public:
    InstallerRecord(const wchar_t* value, const NativeString& folder) : value_(value) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, value, REG_SZ, folder.c_str(),
                                  DWORD((folder.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    ~InstallerRecord() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, value_);
        RegDeleteKeyW(HKEY_CURRENT_USER, kKey);  // only goes when nothing else is left in it
    }
    InstallerRecord(const InstallerRecord&) = delete;
    InstallerRecord& operator=(const InstallerRecord&) = delete;

  private:
    static constexpr const wchar_t* kKey = L"Software\\7-Zip";
    const wchar_t* value_;
};

// The ProgramFiles variable pointing elsewhere for the test's duration.
class ProgramFilesAt {
  public:
    explicit ProgramFilesAt(const fs::path& folder) {
        wchar_t old[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"ProgramFiles", old, MAX_PATH) > 0) previous_ = old;
        SetEnvironmentVariableW(L"ProgramFiles", folder.c_str());
    }
    ~ProgramFilesAt() {
        SetEnvironmentVariableW(L"ProgramFiles", previous_ ? previous_->c_str() : nullptr);
    }
    ProgramFilesAt(const ProgramFilesAt&) = delete;
    ProgramFilesAt& operator=(const ProgramFilesAt&) = delete;

  private:
    std::optional<std::wstring> previous_;
};

TEST_F(SetUpTest, emptyFolderTakesTheInstalledArchiverAndSavesIt) {
    const std::vector<NativeView> both{archiver::kProgramName, archiver::kLibraryName};
    const std::vector<NativeView> programOnly{archiver::kProgramName};
    struct Case {
        const char* name;
        std::vector<std::pair<const wchar_t*, std::vector<NativeView>>> records;
        std::vector<NativeView> programFiles;  // what %ProgramFiles%\\7-Zip holds
        const char* found;  // the record whose folder is taken, "ProgramFiles", or none: asked
    };
    const Case cases[] = {
        {"x64 installer", {{L"Path64", both}, {L"Path", both}}, {}, "Path64"},
        {"Path alone", {{L"Path", both}}, {}, "Path"},
        {"Path64 lacks 7z.dll", {{L"Path64", programOnly}, {L"Path", both}}, both, "Path"},
        {"default folder", {}, both, "ProgramFiles"},
        {"32-bit installer's value", {{L"Path32", both}}, {}, nullptr},
        {"nothing complete", {{L"Path64", programOnly}}, programOnly, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        std::vector<std::unique_ptr<InstallerRecord>> records;
        NativeString expected;
        for (const auto& [value, files] : c.records) {
            std::string name(value, value + wcslen(value));
            NativeString folder = archiverCopy(scratch, name, files);
            if (c.found && name == c.found) expected = folder;
            // Path64 as the installer writes it; the others without the backslash it must get.
            if (name != "Path64") folder.pop_back();
            records.push_back(std::make_unique<InstallerRecord>(value, folder));
        }
        const NativeString programFiles = archiverCopy(scratch, "programs\\7-Zip", c.programFiles);
        if (c.found && std::string(c.found) == "ProgramFiles") expected = programFiles;
        const ProgramFilesAt programs(scratch.path() / "programs");

        DialogAnswerer answerer([](const SeenDialog&) { return IDCANCEL; });
        ASSERT_NE(open(settingsText(L"")), nullptr);
        EXPECT_EQ(answerer.seen().size(), c.found ? 0u : 1u) << "the chooser, only when none";
        EXPECT_EQ(state_->ready(), c.found != nullptr);
        EXPECT_EQ(theOptions().sevenZipFolder, expected);
        send(WM_CLOSE);
        EXPECT_EQ(runLoop(5000), 0);
        EXPECT_EQ(savedKey(settings_.read().value_or(""), "dir"), utf8(expected));
        TearDown();
        SetUp();
    }
}

}  // namespace
}  // namespace pomu::test::win32

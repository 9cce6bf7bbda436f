// Drop batches through real WM_DROPFILES messages, converted by the real archiver.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "res/resource.h"
#include "ui/win32/drop_batch.h"
#include "ui/win32/handed_files.h"
#include "ui/win32/harness.h"
#include "ui/win32/taskbar.h"
#include "ui/win32/taskbar_probe.h"

namespace pomu::test::win32 {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

Files contentFor(const std::string& archiveName) {
    const std::string stem = fs::path(archiveName).stem().string();
    return {{stem + ".txt", "content of " + stem}};
}

const std::wstring kProcessing = L"Processing file...";
const std::wstring kLogHint = L"\r\nDouble-click to open the log.";

// The text the window's report tooltip holds for the window; empty when it has none.
std::wstring reportTip(const ui::WindowState& state) {
    if (state.reportTip == nullptr || SendMessageW(state.reportTip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
        return {};
    }
    std::vector<wchar_t> text(8192, L'\0');
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = state.window;
    tool.uId = reinterpret_cast<UINT_PTR>(state.window);
    tool.lpszText = text.data();
    SendMessageW(state.reportTip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    return text.data();
}
std::wstring counter(int index, int count) {
    return kProcessing + L"\r\n(" + std::to_wstring(index) + L"/" + std::to_wstring(count) + L")";
}

const std::wstring kLibraryQuestion =
    L"Convert the 2 archives in Library and its subfolders?\r\n\r\n2 .zip";
const std::wstring kSecret = L"SECRET";

class DropTest : public MainWindowTest {
  protected:
    // Handles this thread's events until the condition holds; false after the time limit.
    static bool pumpUntil(const std::function<bool()>& done) {
        const ULONGLONG end = GetTickCount64() + 60000;
        while (!done() && GetTickCount64() < end) {
            MSG message;
            if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        }
        return done();
    }
    // The archive holds exactly what its source held; with a password, only through it.
    void expectConverted(const std::string& output, const std::string& source,
                         const std::wstring& password = {}) {
        const NativeString archive = scratch_.file(output);
        const fs::path unpacked = scratch_.path() / ("unpacked-" + output);
        std::vector<NativeString> arguments{L"x", archive, L"-o" + unpacked.native(), L"-y"};
        if (!password.empty()) {
            ASSERT_FALSE(archiveTests(archive)) << output << " opens without the password";
            arguments.push_back(L"-p" + password);
        }
        const ArchiverRun run = runArchiver(arguments);
        ASSERT_EQ(run.exitCode, 0) << output;
        EXPECT_EQ(treeContents(unpacked), contentFor(source)) << output;
    }
    // Neither the settings file, the log nor any file of the temp folder or the scratch folder
    // holds the password, in UTF-8 or UTF-16.
    void expectNowhere(const std::wstring& password) {
        const std::string wide(reinterpret_cast<const char*>(password.data()),
                               password.size() * sizeof(wchar_t));
        std::vector<fs::path> files{settings_.path(), fs::path(*state_->batches.logPath())};
        for (const fs::path& folder : {fs::path(*platform::tempFolder()), scratch_.path()}) {
            std::error_code error;
            for (auto it = fs::recursive_directory_iterator(folder, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                if (it->is_regular_file()) files.push_back(it->path());
            }
        }
        for (const fs::path& file : files) {
            const std::string bytes = readFile(file).value_or("");
            EXPECT_EQ(bytes.find(utf8(password)), std::string::npos) << file;
            EXPECT_EQ(bytes.find(wide), std::string::npos) << file;
        }
    }
    NativeString source(const std::string& name) {
        return makeArchive(scratch_, name, contentFor(name));
    }
    // An archive slow enough to convert that events arrive while the archiver runs.
    NativeString bigSource(const std::string& name) {
        return makeArchive(scratch_, name, {{"big.bin", noise(6 << 20)}});
    }
};

struct BatchCase {
    const char* name;
    std::vector<std::string> settings;
    std::vector<std::string> sources;  // archives made by the real archiver
    std::vector<std::string> plain;    // files that are no archive, with their names
    std::vector<std::string> dropped;  // in this order
    std::vector<std::wstring> statuses;
    std::vector<std::pair<std::string, std::string>> converted;  // output, its source
    std::vector<std::string> absent;
    std::wstring tip;     // the report tooltip; none after a batch where everything converted
    bool failed = false;  // the taskbar button turns red until the window is activated
    bool yes = false;     // the answer to a dropped folder's question
    std::wstring question = {};
    // Sources made with kSecret, and what is typed into the password question (none: skipped).
    std::vector<std::string> locked = {};
    std::optional<std::wstring> password = std::nullopt;
};

class DropBatch : public DropTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(DropBatch, showsProgressAndSummaryAndConverts) {
    const BatchCase& c = GetParam();
    DialogAnswerer answerer([&c](const SeenDialog& dialog) {
        if (GetDlgItem(dialog.window, IDC_PASSWORD) != nullptr) {
            if (!c.password) return IDCANCEL;
            SetDlgItemTextW(dialog.window, IDC_PASSWORD, c.password->c_str());
            return IDOK;
        }
        return dialog.messageBox && c.yes ? IDYES : answerToGoOn(dialog);
    });
    for (const std::string& name : c.sources) {
        fs::create_directories((scratch_.path() / name).parent_path());
        source(name);
    }
    for (const std::string& name : c.locked) {
        makeArchive(scratch_, name, contentFor(name), {L"-p" + kSecret});
    }
    for (const std::string& name : c.plain) {
        fs::create_directories((scratch_.path() / name).parent_path());
        writeFile(scratch_.path() / name, "not an archive");
    }
    TaskbarProbe taskbar;
    ASSERT_TRUE(taskbar.registered());
    ASSERT_NE(open(settingsText(archiverFolder(), c.settings)), nullptr);
    send(ui::taskbarButtonCreatedMessage());
    StatusRecorder status(state_->window);

    std::vector<NativeString> paths;
    for (const std::string& name : c.dropped) paths.push_back(scratch_.file(name));
    const HGLOBAL block = drop(paths);
    // A dropped folder is searched from the event loop first.
    EXPECT_TRUE(pumpUntil([&] { return state_->folderDrops.intake().idle(); }));

    EXPECT_TRUE(dropReleased(block));
    EXPECT_EQ(status.texts(), c.statuses);
    EXPECT_EQ(statusText(state_->window), c.statuses.back());
    // The bar went from 0 up, never back, and was emptied and hidden at the end.
    const std::vector<int>& positions = status.positions();
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_EQ(positions.back(), 0);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end() - 1));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(state_->window, IDC_PROGRESS)));
    // The button filled alike, and ends empty, or red until the window is activated.
    const std::vector<double> filled = taskbar.normalFractions();
    EXPECT_FALSE(filled.empty());
    EXPECT_TRUE(std::is_sorted(filled.begin(), filled.end()));
    EXPECT_EQ(taskbar.lastState(), c.failed ? TBPF_ERROR : TBPF_NOPROGRESS);
    send(WM_ACTIVATE, WA_ACTIVE);
    EXPECT_EQ(taskbar.lastState(), TBPF_NOPROGRESS);
    EXPECT_EQ(state_->batches.lastConvertedCount(), int(c.converted.size()));
    EXPECT_EQ(reportTip(*state_), c.tip);
    EXPECT_FALSE(theRunState().busy);
    // A dropped folder's question, and the password question, once for a batch with encrypted
    // sources.
    std::vector<std::wstring> asked;
    std::vector<const SeenDialog*> passwordQuestions;
    for (const SeenDialog& dialog : answerer.seen()) {
        if (dialog.messageBox) {
            asked.push_back(dialog.text);
        } else {
            passwordQuestions.push_back(&dialog);
        }
    }
    EXPECT_EQ(asked, c.question.empty() ? std::vector<std::wstring>{} : std::vector{c.question});
    ASSERT_EQ(passwordQuestions.size(), c.locked.empty() ? 0u : 1u);
    if (!c.locked.empty()) {
        const std::vector<std::wstring> texts = passwordQuestions.front()->allTexts;
        EXPECT_EQ(passwordQuestions.front()->caption, L"pomu");
        for (const wchar_t* text : {L"Password for the encrypted archives of this batch:", L"OK",
                                    L"Skip encrypted archives"}) {
            EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
        }
    }
    for (const auto& [output, from] : c.converted) {
        const bool locked = std::find(c.locked.begin(), c.locked.end(), from) != c.locked.end();
        expectConverted(output, from, locked ? kSecret : L"");
    }
    for (const std::string& name : c.absent)
        EXPECT_FALSE(fs::exists(scratch_.path() / name)) << name;
    for (const std::string& name : c.dropped)
        EXPECT_TRUE(fs::exists(scratch_.path() / name)) << name;
    if (c.password) {
        send(WM_CLOSE);  // the settings are written
        ASSERT_TRUE(settings_.read());
        expectNowhere(*c.password);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drop, DropBatch,
    ::testing::Values(BatchCase{"oneFileHasNoCounter",
                                {},
                                {"a.zip"},
                                {},
                                {"a.zip"},
                                {kProcessing, L"1 7z complete!"},
                                {{"a.7z", "a.zip"}},
                                {},
                                {}},
                      BatchCase{"skippedFileShowsNothing",
                                {},
                                {"a.zip", "b.7z", "c.zip"},
                                {},
                                {"a.zip", "b.7z", "c.zip"},
                                {counter(1, 3), counter(3, 3), L"2 7z complete!"},
                                {{"a.7z", "a.zip"}, {"c.7z", "c.zip"}},
                                {},
                                L"b.7z: skipped, already a .7z file" + kLogHint},
                      BatchCase{"zipMode",
                                {"zip=ON"},
                                {"a.7z", "b.tar"},
                                {},
                                {"a.7z", "b.tar"},
                                {counter(1, 2), counter(2, 2), L"2 zip complete!"},
                                {{"a.zip", "a.7z"}, {"b.zip", "b.tar"}},
                                {},
                                {}},
                      BatchCase{"nothingConverted",
                                {},
                                {},
                                {"broken.rar"},
                                {"broken.rar"},
                                {kProcessing, L"0 7z complete!"},
                                {},
                                {"broken.7z"},
                                L"broken.rar: damaged archive (7-Zip exit code 2)" + kLogHint,
                                true},
                      BatchCase{"existingTargetKept",
                                {},
                                {"a.zip"},
                                {"a.7z"},
                                {"a.zip"},
                                {L"7z Exists!", L"0 7z complete!"},
                                {},
                                {},
                                L"a.zip: already exists: a.7z" + kLogHint,
                                true},
                      // A dropped folder, searched with its subfolders and asked about once.
                      BatchCase{"folderAnsweredYes",
                                {},
                                {"Library/b.zip", "Library/Sub/a.zip"},
                                {"Library/notes.txt"},
                                {"Library"},
                                {counter(1, 2), counter(2, 2), L"2 7z complete!"},
                                {{"Library/b.7z", "Library/b.zip"},
                                 {"Library/Sub/a.7z", "Library/Sub/a.zip"}},
                                {},
                                {},
                                false,
                                true,
                                kLibraryQuestion},
                      BatchCase{"folderAnsweredNo",
                                {},
                                {"Library/b.zip", "Library/Sub/a.zip"},
                                {},
                                {"Library"},
                                {kProcessing, L"0 7z complete!"},
                                {},
                                {"Library/b.7z", "Library/Sub/a.7z"},
                                L"Library: folder, not an archive" + kLogHint,
                                true,
                                false,
                                kLibraryQuestion},
                      BatchCase{"folderWithoutArchives",
                                {},
                                {},
                                {"Empty/notes.txt"},
                                {"Empty"},
                                {L"0 7z complete!"},
                                {},
                                {},
                                L"Empty: skipped, no archives in Empty" + kLogHint},
                      // Two encrypted archives and a plain one: asked once, all three converted.
                      BatchCase{"encryptedAskedOnce",
                                {},
                                {"c.tar"},
                                {},
                                {"a.zip", "b.zip", "c.tar"},
                                {counter(1, 3), counter(2, 3), counter(3, 3), L"3 7z complete!"},
                                {{"a.7z", "a.zip"}, {"b.7z", "b.zip"}, {"c.7z", "c.tar"}},
                                {},
                                {},
                                false,
                                false,
                                {},
                                {"a.zip", "b.zip"},
                                kSecret},
                      BatchCase{"encryptedSkipped",
                                {},
                                {"c.tar"},
                                {},
                                {"a.zip", "c.tar"},
                                {counter(1, 2), counter(2, 2), L"1 7z complete!"},
                                {{"c.7z", "c.tar"}},
                                {"a.7z"},
                                L"a.zip: needs a password" + kLogHint,
                                true,
                                false,
                                {},
                                {"a.zip"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DropTest, pathTooLongForAPathBufferIsNeverConvertedUnderAShorterName) {
    DialogAnswerer answerer(answerToGoOn);
    // A real archive whose path is exactly 259 characters long...
    const std::size_t base = scratch_.folder().size();
    ASSERT_LT(base + 10, 259u);
    const std::string stem(259 - base - 4, 'x');
    const NativeString shortPath = source(stem + ".zip");
    ASSERT_EQ(shortPath.size(), 259u);
    // ...and a dropped path that starts with it but goes on.
    const NativeString longPath = shortPath + L"-and-more-than-fits.zip";
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    StatusRecorder status(state_->window);

    const HGLOBAL block = drop({longPath});
    EXPECT_TRUE(dropReleased(block));
    EXPECT_EQ(status.texts(), std::vector<std::wstring>{L"0 7z complete!"});
    EXPECT_FALSE(fs::exists(scratch_.path() / (stem + ".7z")));
    EXPECT_TRUE(fs::exists(fs::path(shortPath)));
}

// What a later start hands over by WM_COPYDATA is taken as a drop only when it is a list of
// paths; anything else is refused whole and nothing of it runs.
TEST_F(DropTest, handedFilesAreTakenOnlyAsAListOfPaths) {
    DialogAnswerer answerer(answerToGoOn);
    const NativeString a = source("a.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    const std::wstring end(2, L'\0');
    const struct {
        const char* name;
        ULONG_PTR tag;
        std::wstring data;
        bool taken;
    } cases[] = {
        {"another program's tag", 1, a + end, false},
        {"a relative path", ui::kHandedFilesTag, L"a.zip" + end, false},
        {"a control character", ui::kHandedFilesTag, a + L"\nx" + end, false},
        {"no end", ui::kHandedFilesTag, a + L'\0', false},
        {"no path", ui::kHandedFilesTag, end, false},
        {"a list of paths", ui::kHandedFilesTag, a + end, true},
    };
    for (const auto& c : cases) {
        COPYDATASTRUCT message{c.tag, DWORD(c.data.size() * sizeof(wchar_t)),
                               const_cast<wchar_t*>(c.data.data())};
        EXPECT_EQ(SendMessageW(state_->window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&message)),
                  c.taken)
            << c.name;
    }
    EXPECT_TRUE(pumpUntil([&] { return state_->batches.lastReport().files.size() == 1; }));
    EXPECT_EQ(state_->batches.lastConvertedCount(), 1);
    expectConverted("a.7z", "a.zip");
}

// The field is masked, and what is typed there, beyond ASCII too, leaves the dialog as UTF-8, as
// 7-Zip reads it with -sccUTF-8; "Skip encrypted archives" gives none.
TEST_F(DropTest, passwordDialogIsMaskedAndGivesTheTypedPasswordAsUtf8) {
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    for (const bool typing : {true, false}) {
        bool masked = false;
        DialogAnswerer answerer([&](const SeenDialog& dialog) {
            const HWND field = GetDlgItem(dialog.window, IDC_PASSWORD);
            masked = (GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD) != 0;
            SetWindowTextW(field, L"p\u00e4sswort \u65e5\u672c");
            return typing ? IDOK : IDCANCEL;
        });
        const std::optional<Secret> answer = state_->passwordDialog.askPassword(L"for a.zip");
        EXPECT_TRUE(masked);
        EXPECT_EQ(answer ? std::optional<std::string>(answer->bytes()) : std::nullopt,
                  typing ? std::optional<std::string>("p\xC3\xA4sswort \xE6\x97\xA5\xE6\x9C\xAC")
                         : std::nullopt);
    }
}

TEST_F(DropTest, readsEveryPathWholeInTheDropsOrder) {
    const std::vector<NativeString> paths = {L"C:\\a.zip", L"D:\\" + std::wstring(300, L'y'),
                                             L"C:\\\u3042\u3063\u305f.rar"};
    const HGLOBAL block = makeDrop(paths);
    EXPECT_EQ(ui::readDroppedPaths(static_cast<HDROP>(block)), paths);
    GlobalFree(block);
}

TEST_F(DropTest, dropDuringABatchIsQueuedReleasedAndConvertedAfterwards) {
    DialogAnswerer answerer(answerToGoOn);
    const NativeString big = bigSource("big.zip");
    const NativeString d = source("d.zip");
    const NativeString e = source("e.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    StatusRecorder status(state_->window);

    HGLOBAL second = nullptr;
    bool releasedAtOnce = false;
    std::size_t queuedThen = 0;
    std::vector<std::wstring> statusThen;
    WhileBusy during([&] {
        second = drop({d, e});
        releasedAtOnce = dropReleased(second);
        queuedThen = state_->batches.queuedBatches();
        statusThen = status.texts();
    });
    drop({big});

    ASSERT_TRUE(during.ran());
    EXPECT_TRUE(releasedAtOnce);
    EXPECT_EQ(queuedThen, 1u);
    EXPECT_EQ(statusThen, std::vector<std::wstring>{kProcessing}) << "nothing started inside";
    const std::vector<std::wstring> expected = {kProcessing, L"1 7z complete!", counter(1, 2),
                                                counter(2, 2), L"2 7z complete!"};
    EXPECT_EQ(status.texts(), expected);
    EXPECT_EQ(state_->batches.queuedBatches(), 0u);
    EXPECT_EQ(state_->batches.lastConvertedCount(), 2);
    EXPECT_FALSE(theRunState().busy);
    EXPECT_TRUE(archiveTests(scratch_.file("big.7z")));
    expectConverted("d.7z", "d.zip");
    expectConverted("e.7z", "e.zip");
}

TEST_F(DropTest, escapeDuringARunDoesNothingAndClosesWhenIdle) {
    DialogAnswerer answerer(answerToGoOn);
    const NativeString big = bigSource("big.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    const HWND window = state_->window;
    WhileBusy during([&] {
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    });
    drop({big});
    ASSERT_TRUE(during.ran());
    EXPECT_TRUE(answerer.seen().empty()) << "no force-exit question";
    EXPECT_EQ(state_->window, window);
    EXPECT_EQ(statusText(window), L"1 7z complete!");

    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(runLoop(), 0);
    EXPECT_EQ(state_->window, nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DropTest, zipToggledDuringABatchChangesLaterFilesAndTheSummaryOnly) {
    DialogAnswerer answerer(answerToGoOn);
    const NativeString big = bigSource("big.zip");
    const NativeString tar = source("t.tar");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    StatusRecorder status(state_->window);
    WhileBusy during([&] { send(WM_COMMAND, ID_ZIP); });
    drop({big, tar});
    ASSERT_TRUE(during.ran());
    EXPECT_TRUE(checked(ID_ZIP));
    const std::vector<std::wstring> expected = {counter(1, 2), counter(2, 2), L"2 zip complete!"};
    EXPECT_EQ(status.texts(), expected);
    // The running file keeps the 7z format; the next one is made as ZIP.
    EXPECT_EQ(readFile(scratch_.path() / "big.7z").value_or("").substr(0, 6),
              std::string("7z\xBC\xAF\x27\x1C", 6));
    EXPECT_EQ(readFile(scratch_.path() / "t.zip").value_or("").substr(0, 4), "PK\x03\x04");
    expectConverted("t.zip", "t.tar");
    EXPECT_FALSE(fs::exists(scratch_.path() / "big.zip.zip"));
}

}  // namespace
}  // namespace pomu::test::win32

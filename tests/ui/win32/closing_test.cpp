// Closing: saving the settings, the force-exit question, and what follows each answer.
#include <windows.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "ui/win32/harness.h"

namespace pomu::test::win32 {
namespace {

const std::wstring kQuestion = L"Now processing...\nForce exit?";

class ClosingTest : public MainWindowTest {
  protected:
    NativeString source(const std::string& name) {
        const std::string stem = fs::path(name).stem().string();
        return makeArchive(scratch_, name, {{stem + ".txt", "content of " + stem}});
    }
    NativeString bigSource(const std::string& name) {
        return makeArchive(scratch_, name, {{"big.bin", noise(6 << 20)}});
    }
    void expectNoOutput(const std::string& name) {
        EXPECT_FALSE(fs::exists(scratch_.path() / name)) << name;
        EXPECT_FALSE(fs::exists(scratch_.path() / (name + ".001"))) << name;
    }
};

TEST_F(ClosingTest, closeWhenIdleSavesTheSevenKeysInOrderAndEndsTheLoop) {
    DialogAnswerer answerer(answerToGoOn);
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    const HMENU menu = state_->optionsMenu;
    send(WM_COMMAND, ID_ZIP);
    send(WM_COMMAND, ID_DIV1GB);
    send(WM_COMMAND, ID_DELETE_PROCESSED);
    send(WM_CLOSE);

    EXPECT_EQ(state_->window, nullptr);
    EXPECT_FALSE(IsMenu(menu)) << "the menu is destroyed with the window";
    EXPECT_EQ(runLoop(5000), 0);
    EXPECT_TRUE(answerer.seen().empty());
    const std::string expected = "[SystemSetting]\r\ndir=" + utf8(archiverFolder()) +
                                 "\r\ndeleteAlready=OFF\r\ndeleteProcessed=ON\r\ndiv100MB=OFF\r\n"
                                 "div1GB=ON\r\nzip=ON\r\nkeepDate=ON\r\n";
    EXPECT_EQ(settings_.read().value_or(""), expected);
}

TEST_F(ClosingTest, handWrittenLevelAndShowStayAsTheyAre) {
    DialogAnswerer answerer(answerToGoOn);
    ASSERT_NE(open(settingsText(archiverFolder(), {"level=9", "show=OFF"})), nullptr);
    send(WM_CLOSE);
    EXPECT_EQ(runLoop(5000), 0);
    const std::string expected = "[SystemSetting]\r\ndir=" + utf8(archiverFolder()) +
                                 "\r\nlevel=9\r\nshow=OFF\r\ndeleteAlready=OFF\r\n"
                                 "deleteProcessed=OFF\r\ndiv100MB=OFF\r\ndiv1GB=OFF\r\nzip=OFF\r\n"
                                 "keepDate=ON\r\n";
    EXPECT_EQ(settings_.read().value_or(""), expected);
}

TEST_F(ClosingTest, answeringNoLeavesTheBatchRunningUndisturbed) {
    DialogAnswerer answerer([](const SeenDialog&) { return IDNO; });
    const NativeString big = bigSource("big.zip");
    const NativeString small = source("small.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    StatusRecorder status(state_->window);
    WhileBusy during([&] { send(WM_CLOSE); });
    drop({big, small});

    ASSERT_TRUE(during.ran());
    ASSERT_EQ(answerer.seen().size(), 1u);
    const SeenDialog& question = answerer.seen().front();
    EXPECT_TRUE(question.messageBox);
    EXPECT_EQ(question.text, kQuestion);
    EXPECT_EQ(question.caption, L"pomu");
    EXPECT_EQ(question.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_FALSE(question.hasIcon);

    EXPECT_FALSE(theRunState().forceExit);
    EXPECT_NE(state_->window, nullptr);
    EXPECT_EQ(status.texts().back(), L"2 7z complete!");
    EXPECT_TRUE(archiveTests(scratch_.file("big.7z")));
    EXPECT_TRUE(archiveTests(scratch_.file("small.7z")));
}

TEST_F(ClosingTest, answeringYesEndsTheToolStopsTheBatchSavesAndEndsWithZero) {
    DialogAnswerer answerer([](const SeenDialog& dialog) {
        return dialog.text == kQuestion ? IDYES : answerToGoOn(dialog);
    });
    const NativeString big = bigSource("big.zip");
    const NativeString b = source("b.zip");
    const NativeString c = source("c.zip");
    const NativeString queued = source("queued.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    const HWND window = state_->window;
    const HMENU menu = state_->optionsMenu;
    StatusRecorder status(window);
    WhileBusy during([&] {
        drop({queued});            // waits for the running batch...
        send(WM_COMMAND, ID_ZIP);  // an option change made during the batch is saved too
        send(WM_CLOSE);
    });
    const HGLOBAL block = drop({big, b, c});

    ASSERT_TRUE(during.ran());
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_TRUE(dropReleased(block));
    EXPECT_TRUE(theRunState().forceExit);
    EXPECT_EQ(state_->window, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_EQ(status.texts(), std::vector<std::wstring>{L"Processing file...\r\n(1/3)"})
        << "no further file and no summary";
    for (const char* name : {"big.7z", "b.7z", "c.7z", "big.zip.zip", "queued.7z"}) {
        expectNoOutput(name);
    }
    EXPECT_EQ(state_->batches.queuedBatches(), 0u) << "...and is dropped by the force exit";
    for (const NativeString& path : {big, b, c, queued}) EXPECT_TRUE(fs::exists(fs::path(path)));
    EXPECT_NE(settings_.read().value_or("").find("zip=ON"), std::string::npos);
    EXPECT_EQ(runLoop(), 0);
}

TEST_F(ClosingTest, secondCloseAfterYesClosesAtOnceAndNothingTouchesTheWindowAfter) {
    DialogAnswerer answerer([](const SeenDialog& dialog) {
        return dialog.text == kQuestion ? IDYES : answerToGoOn(dialog);
    });
    const NativeString big = bigSource("big.zip");
    const NativeString b = source("b.zip");
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    const HWND window = state_->window;
    StatusRecorder status(window);
    bool destroyedBySecondClose = false;
    std::string savedThen;
    WhileBusy during([&] {
        send(WM_CLOSE);  // answered Yes
        send(WM_CLOSE);  // forceExit is set: saves and destroys while the tool still runs
        destroyedBySecondClose = state_->window == nullptr && !IsWindow(window);
        savedThen = settings_.read().value_or("");
        // Nothing may save again from here on: this change must not reach the file.
        theOptions().deleteAlready = true;
    });
    drop({big, b});

    ASSERT_TRUE(during.ran());
    EXPECT_TRUE(destroyedBySecondClose);
    EXPECT_EQ(answerer.seen().size(), 1u) << "the second close asks nothing";
    EXPECT_EQ(status.texts(), std::vector<std::wstring>{L"Processing file...\r\n(1/2)"});
    EXPECT_NE(savedThen.find("deleteAlready=OFF"), std::string::npos);
    EXPECT_EQ(settings_.read().value_or(""), savedThen) << "saved once, at the close";
    expectNoOutput("big.7z");
    expectNoOutput("b.7z");
    EXPECT_EQ(state_->menu.get(), nullptr);
    EXPECT_EQ(runLoop(), 0) << "the quit taken by the tool's event pump is handed back";
}

}  // namespace
}  // namespace pomu::test::win32

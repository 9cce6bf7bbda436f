// The options menu: toggles with their check marks, the split pair, and where the menu opens.
#include <windows.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "ui/win32/harness.h"
#include "ui/win32/options_menu.h"

namespace pomu::test::win32 {
namespace {

struct Marks {
    bool deleteAlready, deleteProcessed, div100MB, div1GB, zip;
};

struct ToggleCase {
    const char* name;
    std::vector<UINT> commands;
    Marks after;
};

class MenuToggles : public MainWindowTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(MenuToggles, changeTheOptionAndItsCheckMark) {
    const ToggleCase& c = GetParam();
    DialogAnswerer answerer(answerToGoOn);
    ASSERT_NE(open(settingsText(archiverFolder())), nullptr);
    for (const UINT command : c.commands) send(WM_COMMAND, MAKEWPARAM(command, 0));
    const ConversionOptions& options = theOptions();
    EXPECT_EQ(options.deleteAlready, c.after.deleteAlready);
    EXPECT_EQ(options.deleteProcessed, c.after.deleteProcessed);
    EXPECT_EQ(options.div100MB, c.after.div100MB);
    EXPECT_EQ(options.div1GB, c.after.div1GB);
    EXPECT_EQ(options.zip, c.after.zip);
    EXPECT_EQ(checked(ID_DELETE_ALREADY), c.after.deleteAlready);
    EXPECT_EQ(checked(ID_DELETE_PROCESSED), c.after.deleteProcessed);
    EXPECT_EQ(checked(ID_DIV100MB), c.after.div100MB);
    EXPECT_EQ(checked(ID_DIV1GB), c.after.div1GB);
    EXPECT_EQ(checked(ID_ZIP), c.after.zip);
    EXPECT_NE(state_->window, nullptr);
    EXPECT_TRUE(answerer.seen().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Menu, MenuToggles,
    ::testing::Values(
        ToggleCase{"deleteAlreadyOn", {ID_DELETE_ALREADY}, {true, false, false, false, false}},
        ToggleCase{"deleteAlreadyOff",
                   {ID_DELETE_ALREADY, ID_DELETE_ALREADY},
                   {false, false, false, false, false}},
        ToggleCase{"deleteProcessedOn", {ID_DELETE_PROCESSED}, {false, true, false, false, false}},
        ToggleCase{"zipOn", {ID_ZIP}, {false, false, false, false, true}},
        ToggleCase{"zipOff", {ID_ZIP, ID_ZIP}, {false, false, false, false, false}},
        ToggleCase{"div100MBOn", {ID_DIV100MB}, {false, false, true, false, false}},
        ToggleCase{
            "div100MBReplaces1GB", {ID_DIV1GB, ID_DIV100MB}, {false, false, true, false, false}},
        ToggleCase{"div100MBAgainLeavesNeither",
                   {ID_DIV1GB, ID_DIV100MB, ID_DIV100MB},
                   {false, false, false, false, false}},
        ToggleCase{
            "div1GBReplaces100MB", {ID_DIV100MB, ID_DIV1GB}, {false, false, false, true, false}},
        ToggleCase{"div1GBOff", {ID_DIV1GB, ID_DIV1GB}, {false, false, false, false, false}},
        ToggleCase{"independentOnesTogether",
                   {ID_ZIP, ID_DELETE_PROCESSED, ID_DIV1GB, ID_DELETE_ALREADY},
                   {true, true, false, true, true}},
        ToggleCase{"cancelAndUnknownCommandsIgnored",
                   {IDCANCEL, 12345, 40005},
                   {false, false, false, false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

using ContextMenuTest = MainWindowTest;

TEST_F(ContextMenuTest, opensAtThePointerPosition) {
    DialogAnswerer answerer(answerToGoOn);
    const HWND window = open(settingsText(archiverFolder()));
    ASSERT_NE(window, nullptr);
    MenuProbe probe;
    send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(120, 140));
    ASSERT_TRUE(probe.opened()) << "the options menu was shown";
    EXPECT_EQ(probe.opened()->left, 120);
    EXPECT_EQ(probe.opened()->top, 140);
    EXPECT_NE(state_->window, nullptr);
}

TEST_F(ContextMenuTest, fromTheKeyboardOpensUnderTheStatusLine) {
    DialogAnswerer answerer(answerToGoOn);
    const HWND window = open(settingsText(archiverFolder()));
    ASSERT_NE(window, nullptr);
    RECT status{};
    GetWindowRect(GetDlgItem(window, IDC_STATUS), &status);
    MenuProbe probe;
    send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(-1, -1));
    ASSERT_TRUE(probe.opened());
    EXPECT_EQ(probe.opened()->left, status.left);
    EXPECT_EQ(probe.opened()->top, status.bottom);
}

TEST(MenuPosition, coordinatesAreSignedSixteenBitValues) {
    const POINT at = ui::optionsMenuPosition(nullptr, MAKELPARAM(-200, -30));
    EXPECT_EQ(at.x, -200);
    EXPECT_EQ(at.y, -30);
    const POINT distant = ui::optionsMenuPosition(nullptr, MAKELPARAM(3000, 2000));
    EXPECT_EQ(distant.x, 3000);
    EXPECT_EQ(distant.y, 2000);
}

}  // namespace
}  // namespace pomu::test::win32

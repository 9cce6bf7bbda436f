// Application start: the instance rule, the start-up claim, and the whole start run in-process.
#include <windows.h>

#include <gtest/gtest.h>

#include "ui/win32/app_start.h"
#include "ui/win32/harness.h"
#include "ui/win32/main_window.h"
#include "ui/win32/single_instance.h"

namespace pomu::test::win32 {
namespace {

// A top-level window of another program that may carry a property named "pomu".
class ForeignWindow {
  public:
    explicit ForeignWindow(std::optional<ULONG_PTR> marker) {
        window_ = CreateWindowExW(0, L"STATIC", L"other program", WS_OVERLAPPED, 0, 0, 50, 50,
                                  nullptr, nullptr, nullptr, nullptr);
        if (marker) SetPropW(window_, L"pomu", reinterpret_cast<HANDLE>(*marker));
    }
    ~ForeignWindow() {
        RemovePropW(window_, L"pomu");
        DestroyWindow(window_);
    }
    HWND get() const { return window_; }

  private:
    HWND window_;
};

struct MarkerCase {
    std::optional<ULONG_PTR> value;
    bool countsAsInstance;
};

class InstanceMarker : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(InstanceMarker, onlyTheValueOneMarksARunningInstance) {
    const ForeignWindow other(GetParam().value);
    ASSERT_NE(other.get(), nullptr);
    EXPECT_EQ(ui::findRunningInstance() == other.get(), GetParam().countsAsInstance);
    if (!GetParam().countsAsInstance) {
        EXPECT_EQ(ui::findRunningInstance(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Start, InstanceMarker,
                         ::testing::Values(MarkerCase{std::nullopt, false}, MarkerCase{0, false},
                                           MarkerCase{1, true}, MarkerCase{2, false},
                                           MarkerCase{0x101, false}));

TEST(Start, claimIsRefusedWhileAnotherHoldsItAndFreeAfter) {
    const wchar_t* name = L"Local\\pomu.test-claim";
    ui::InstanceClaim first = ui::claimInstance(name);
    EXPECT_FALSE(first.heldElsewhere);
    EXPECT_TRUE(first.mutex.valid());
    const ui::InstanceClaim second = ui::claimInstance(name);
    EXPECT_TRUE(second.heldElsewhere);
    EXPECT_FALSE(second.mutex.valid());
    first.mutex.reset();
    const ui::InstanceClaim third = ui::claimInstance(name);
    EXPECT_FALSE(third.heldElsewhere);
}

TEST(Start, acceleratorTurnsEscapeIntoCommand27) {
    const ui::AcceleratorTable table = ui::createAccelerators();
    ASSERT_TRUE(table.valid());
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableW(table.get(), entries, 4), 1);
    EXPECT_EQ(entries[0].fVirt & ~0x80, FVIRTKEY);  // 0x80 marks the table's last entry
    EXPECT_EQ(entries[0].key, VK_ESCAPE);
    EXPECT_EQ(entries[0].cmd, 27);
}

int countMainWindows() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM counter) {
            if (reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC)) ==
                ui::mainWindowProcedure) {
                ++*reinterpret_cast<int*>(counter);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Closes any main window this thread shows, so that a start that should have ended at once
// fails instead of running forever; remembers whether it had to.
struct WindowCloser {
    WindowCloser() {
        closer = this;
        timer = SetTimer(nullptr, 0, 500, [](HWND, UINT, UINT_PTR, DWORD) {
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND window, LPARAM) {
                    if (reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC)) ==
                        ui::mainWindowProcedure) {
                        closer->closedOne = true;
                        PostMessageW(window, WM_CLOSE, 0, 0);
                    }
                    return TRUE;
                },
                0);
        });
    }
    ~WindowCloser() {
        KillTimer(nullptr, timer);
        closer = nullptr;
    }
    static inline WindowCloser* closer = nullptr;
    UINT_PTR timer = 0;
    bool closedOne = false;
};

class StartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        theOptions() = ConversionOptions{};
        theRunState() = RunState{};
        drainMessages();
    }
    void TearDown() override {
        drainMessages();
        theOptions() = ConversionOptions{};
    }
    SettingsFile settings_;
    DialogAnswerer answerer_{answerToGoOn};  // no set-up question may hold a test up
};

TEST_F(StartTest, endsAtOnceWhenAnotherInstanceHasItsWindow) {
    settings_.write(settingsText(archiverFolder()));
    const ForeignWindow running(1);
    theOptions().zip = true;  // set-up would load the settings over it
    const WindowCloser closer;
    EXPECT_EQ(ui::applicationStart(GetModuleHandleW(nullptr)), 0);
    EXPECT_FALSE(closer.closedOne) << "no window of its own";
    EXPECT_EQ(countMainWindows(), 0);
    EXPECT_TRUE(theOptions().zip);
}

TEST_F(StartTest, endsAtOnceWhileAnotherInstanceIsStillInItsSetUp) {
    settings_.write(settingsText(archiverFolder()));
    // The other instance holds the claim but has no marked window yet (folder chooser open).
    const ui::InstanceClaim other = ui::claimInstance(ui::kInstanceClaimName);
    ASSERT_FALSE(other.heldElsewhere);
    theOptions().zip = true;
    const WindowCloser closer;
    EXPECT_EQ(ui::applicationStart(GetModuleHandleW(nullptr)), 0);
    EXPECT_FALSE(closer.closedOne) << "no window beside the other one";
    EXPECT_EQ(countMainWindows(), 0);
    EXPECT_TRUE(theOptions().zip);
}

struct StartObservation {
    bool sawWindow = false;
    bool visible = false;
    bool marked = false;
    bool bigIcon = false;
    bool smallIcon = false;
    int ticks = 0;
};
StartObservation* observation = nullptr;

BOOL CALLBACK pressEscapeOnMainWindow(HWND window, LPARAM) {
    if (reinterpret_cast<DLGPROC>(GetWindowLongPtrW(window, DWLP_DLGPROC)) !=
        ui::mainWindowProcedure) {
        return TRUE;
    }
    observation->sawWindow = true;
    observation->visible = IsWindowVisible(window) != 0;
    observation->marked = ui::findRunningInstance() == window;
    observation->bigIcon = SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0;
    observation->smallIcon = SendMessageW(window, WM_GETICON, ICON_SMALL, 0) != 0;
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    return FALSE;
}

TEST_F(StartTest, runsItsWindowUntilEscapeClosesItWithExitCodeZero) {
    settings_.write(settingsText(archiverFolder(), {"zip=ON"}));
    const ForeignWindow notPomu(2);
    StartObservation seen;
    observation = &seen;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        if (++observation->ticks > 300) PostQuitMessage(kLoopTimedOut);
        if (!observation->sawWindow) {
            EnumThreadWindows(GetCurrentThreadId(), pressEscapeOnMainWindow, 0);
        }
    });
    const int exitCode = ui::applicationStart(GetModuleHandleW(nullptr));
    KillTimer(nullptr, timer);
    observation = nullptr;

    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(seen.sawWindow);
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.marked);
    EXPECT_TRUE(seen.bigIcon);
    EXPECT_TRUE(seen.smallIcon);
    EXPECT_EQ(countMainWindows(), 0);
    EXPECT_EQ(ui::findRunningInstance(), nullptr) << "the marker goes with the window";
    EXPECT_TRUE(theOptions().zip);
    EXPECT_NE(settings_.read().value_or("").find("zip=ON"), std::string::npos);
}

}  // namespace
}  // namespace pomu::test::win32

// Driving the real main window in-process: settings, answered dialogs, drops, status texts.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_files.h"
#include "ui/win32/app_start.h"
#include "ui/win32/window_state.h"

namespace pomu::test::win32 {

// This test program's own settings file (beside it, where the window reads it), kept aside
// and put back at the end.
class SettingsFile {
  public:
    SettingsFile();
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    void write(const std::string& utf8Text);
    std::optional<std::string> read() const;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
    std::optional<std::string> original_;
};

// "[SystemSetting]" with "dir=<folder>" and the extra lines.
std::string settingsText(const NativeString& folder, const std::vector<std::string>& lines = {});

// A dialog other than the main window, as it appeared on this thread.
struct SeenDialog {
    HWND window = nullptr;  // still open while the answer is chosen
    std::wstring caption;
    std::wstring text;  // a message box's text; empty for other dialogs
    bool messageBox = false;
    bool hasIcon = false;
    std::vector<int> buttons;            // visible push buttons by id
    std::vector<std::wstring> allTexts;  // every child's text
};

// Answers every dialog of this thread (message boxes, the folder chooser) from a timer, so
// that modal loops end; the answer function gives the command to press.
class DialogAnswerer {
  public:
    using Answer = std::function<int(const SeenDialog&)>;
    explicit DialogAnswerer(Answer answer);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    const std::vector<SeenDialog>& seen() const { return seen_; }
    void onTick();

  private:
    Answer answer_;
    UINT_PTR timer_ = 0;
    std::vector<HWND> answered_;
    std::vector<SeenDialog> seen_;
};

// Presses OK in a message box, No in a question, Cancel in any other dialog: ends any modal
// loop a test did not expect.
int answerToGoOn(const SeenDialog& dialog);

// Watches for a popup menu on the screen; records where it opened and closes it.
class MenuProbe {
  public:
    MenuProbe();
    ~MenuProbe();
    MenuProbe(const MenuProbe&) = delete;
    MenuProbe& operator=(const MenuProbe&) = delete;

    std::optional<RECT> opened() const { return opened_; }
    void onTick();

  private:
    UINT_PTR timer_ = 0;
    std::optional<RECT> opened_;
};

// Records every text written to the status control.
class StatusRecorder {
  public:
    explicit StatusRecorder(HWND mainWindow);
    ~StatusRecorder();
    StatusRecorder(const StatusRecorder&) = delete;
    StatusRecorder& operator=(const StatusRecorder&) = delete;

    const std::vector<std::wstring>& texts() const { return texts_; }
    // The progress bar's positions as they were set.
    const std::vector<int>& positions() const { return positions_; }
    void record(HWND window, const wchar_t* text);
    void recordPosition(HWND window, int position);

  private:
    HWND status_;
    HWND bar_;
    std::vector<int> positions_;
    HHOOK hook_ = nullptr;
    std::vector<std::wstring> texts_;
};

// Runs the action once from the first timer tick while a batch runs: inside the event pump
// of a running tool.
class WhileBusy {
  public:
    explicit WhileBusy(std::function<void()> action);
    ~WhileBusy();
    WhileBusy(const WhileBusy&) = delete;
    WhileBusy& operator=(const WhileBusy&) = delete;

    bool ran() const { return ran_; }
    void onTick();

  private:
    std::function<void()> action_;
    UINT_PTR timer_ = 0;
    bool ran_ = false;
};

// A shell drop block (DROPFILES, wide names, double NUL) as the shell hands it over.
HGLOBAL makeDrop(const std::vector<NativeString>& paths);
// True once the drop block has been given back (DragFinish frees it).
bool dropReleased(HGLOBAL drop);

// The thread's event loop as the program runs it, ended after the time limit with this code.
inline constexpr int kLoopTimedOut = 99;
int runLoopFor(const HWND& mainWindow, HACCEL accelerators, int milliseconds);

// Removes every pending message of the thread, the quit message included.
void drainMessages();

// The text of the main window's status control.
std::wstring statusText(HWND mainWindow);

// An archive made by the real archiver from the named files with these contents; its type
// follows the name's extension (.zip, .7z, .tar), stored without compression, with the extra
// switches.
NativeString makeArchive(const ScratchFolder& folder, const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& files,
                         const std::vector<NativeString>& extra = {});

// The window made from the real template and resources, with a settings file of the test's.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings and creates the window as start-up does; null when set-up closed it.
    HWND open(const std::string& settings);
    bool checked(UINT commandId) const;
    int runLoop(int milliseconds = 20000) {
        return runLoopFor(state_->window, accelerators_.get(), milliseconds);
    }
    void send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        SendMessageW(state_->window, message, wParam, lParam);
    }
    HGLOBAL drop(const std::vector<NativeString>& paths);

    SettingsFile settings_;
    std::unique_ptr<ui::WindowState> state_;
    ui::AcceleratorTable accelerators_;
    ScratchFolder scratch_;
};

}  // namespace pomu::test::win32

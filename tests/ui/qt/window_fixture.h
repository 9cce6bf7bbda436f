// The window test fixture: answered prompts, settings file, real archives, drops and waits.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <functional>
#include <memory>

#include "fake_prompts.h"
#include "support/test_files.h"
#include "test_printers.h"
#include "ui/qt/main_window.h"

namespace pomu::test {

class WindowTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the settings file with these lines.
    void writeSettings(const std::vector<std::string>& lines);
    // The settings the tests start from: the real archiver, fastest compression, plus extra.
    void writeUsualSettings(const std::vector<std::string>& extra = {});
    std::optional<std::string> settingsText() const;

    // A window built and set up; statuses and closes are recorded.
    ui::MainWindow& openWindow(NativeView systemArchiverFolder = "/nonexistent/pomu/");

    // An archive (a ZIP unless another type switch is given) with the given files, made by the
    // real archiver in the scratch folder.
    NativeString makeArchive(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& files,
                             const std::string& type = "-tzip");
    // The archive's files as the real archiver unpacks them.
    std::vector<std::pair<std::string, std::string>> unpacked(const NativeString& archive);
    // True when the archive unpacks to exactly these files; a failure names what it held.
    testing::AssertionResult unpacksTo(
        const NativeString& archive, const std::vector<std::pair<std::string, std::string>>& files);

    // Sends a drop of these paths; true when the window accepted it. Does not wait.
    bool sendDrop(const std::vector<NativeString>& paths,
                  Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction);
    static bool sendDropTo(QWidget& target, const std::vector<NativeString>& paths,
                           Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction);
    // Handles events until the predicate holds; false after the time limit.
    bool waitUntil(const std::function<bool()>& done, int milliseconds = 60000);
    // Drops and waits until the batches have ended (busy cleared, or the window closed).
    void dropAndWait(const std::vector<NativeString>& paths);
    // Runs the action once from the window's event handling while the archiver runs, as soon
    // as the status shows the text.
    void whenStatusShows(const QString& text, std::function<void()> action);

    ConversionOptions options;
    RunState runState;
    FakePrompts prompts;
    ScratchFolder folder;
    NativeString settingsFile;
    std::unique_ptr<ui::MainWindow> window;
    QStringList statuses;
    int closes = 0;

    const std::vector<std::pair<std::string, std::string>> sample{{"a.txt", "alpha"},
                                                                  {"sub/b.bin", noise(3000)}};
};

}  // namespace pomu::test

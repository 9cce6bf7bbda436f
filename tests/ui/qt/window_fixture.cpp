// The window test fixture: settings file, real archives, drops and waiting on the event loop.
#include "window_fixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace pomu::test {

void WindowTest::SetUp() {
    const std::optional<NativeString> file = platform::settingsFilePath();
    ASSERT_TRUE(file.has_value());
    settingsFile = *file;
    fs::create_directories(fs::path(settingsFile).parent_path());
    std::error_code error;
    fs::remove(settingsFile, error);
}

void WindowTest::TearDown() {
    window.reset();
    std::error_code error;
    fs::remove(settingsFile, error);
}

void WindowTest::writeSettings(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    writeFile(settingsFile, text);
}

void WindowTest::writeUsualSettings(const std::vector<std::string>& extra) {
    std::vector<std::string> lines{"[SystemSetting]", "dir=" + utf8(archiverFolder()), "level=1"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    writeSettings(lines);
}

std::optional<std::string> WindowTest::settingsText() const {
    return readFile(settingsFile);
}

ui::MainWindow& WindowTest::openWindow(NativeView systemArchiverFolder) {
    window = std::make_unique<ui::MainWindow>(options, runState, prompts);
    QObject::connect(&window->statusLine(), &ui::StatusLine::written,
                     [this](const QString& text) { statuses << text; });
    QObject::connect(window.get(), &ui::MainWindow::closed, [this] { ++closes; });
    window->setUp({&systemArchiverFolder, 1});
    if (!window->isClosed()) window->show();
    return *window;
}

NativeString WindowTest::makeArchive(const std::string& name,
                                     const std::vector<std::pair<std::string, std::string>>& files,
                                     const std::string& type) {
    ScratchFolder content;
    for (const auto& [file, bytes] : files) {
        fs::create_directories((content.path() / file).parent_path());
        writeFile(content.path() / file, bytes);
    }
    const NativeString archive = folder.file(name);
    const ArchiverRun run = runArchiver({"a", type, "-mx=1", archive, content.folder() + "*"});
    EXPECT_TRUE(run.exitCode && *run.exitCode == 0) << name;
    return archive;
}

std::vector<std::pair<std::string, std::string>> WindowTest::unpacked(const NativeString& archive) {
    ScratchFolder out;
    if (!extractArchive(archive, out.folder())) return {{"<not extractable>", ""}};
    return treeContents(out.path());
}

testing::AssertionResult WindowTest::unpacksTo(
    const NativeString& archive, const std::vector<std::pair<std::string, std::string>>& files) {
    const auto found = unpacked(archive);
    if (found == files) return testing::AssertionSuccess();
    return testing::AssertionFailure() << archive << " holds " << describe(found);
}

bool WindowTest::sendDrop(const std::vector<NativeString>& paths, Qt::DropActions actions) {
    return sendDropTo(*window, paths, actions);
}

bool WindowTest::sendDropTo(QWidget& target, const std::vector<NativeString>& paths,
                            Qt::DropActions actions) {
    QMimeData data;
    QList<QUrl> urls;
    for (const NativeString& path : paths) {
        urls << QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)));
    }
    data.setUrls(urls);
    // As in a real drag, the drop reaches only a window that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(20, 20), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(20, 20), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    if (drop.isAccepted()) {
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    }
    return drop.isAccepted();
}

bool WindowTest::waitUntil(const std::function<bool()>& done, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void WindowTest::dropAndWait(const std::vector<NativeString>& paths) {
    const qsizetype before = statuses.size();
    ASSERT_TRUE(sendDrop(paths));
    // The batch starts from the event loop once the drop has been answered, and every batch
    // ends with a summary unless the window closed.
    ASSERT_TRUE(waitUntil([this, before] {
        return window->isClosed() ||
               (statuses.size() > before && !runState.busy &&
                window->batches().queuedBatches() == 0 && !window->dropsWaiting());
    }));
    QCoreApplication::processEvents();
}

void WindowTest::whenStatusShows(const QString& text, std::function<void()> action) {
    auto pending = std::make_shared<std::function<void()>>(std::move(action));
    QObject::connect(&window->statusLine(), &ui::StatusLine::written, window.get(),
                     [text, pending](const QString& shown) {
                         if (shown != text || !*pending) return;
                         // A zero timer fires inside the event pump of the archiver run.
                         QTimer::singleShot(0, [pending] {
                             auto run = std::move(*pending);
                             *pending = nullptr;
                             if (run) run();
                         });
                     });
}

}  // namespace pomu::test

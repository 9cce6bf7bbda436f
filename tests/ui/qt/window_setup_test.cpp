// The window's shape and set-up: settings, the archiver folder, messages and the options menu.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>

#include "options/settings.h"
#include "window_fixture.h"

namespace pomu::test {
namespace {

using ui::MainWindow;

TEST_F(WindowTest, HasTheTemplatesShapeTitleAndStatusLine) {
    writeUsualSettings();
    MainWindow& w = openWindow();
    ASSERT_TRUE(w.isReady());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("pomu"));

    // The test platform's font is DejaVu Sans 9 pt, a 6 x 14 cell: 75 x 57 units are 113 x 100.
    EXPECT_EQ(QFontInfo(w.font()).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(w.font().pointSize(), 9);
    EXPECT_EQ(w.size(), QSize(113, 100));
    const QFontMetrics metrics = w.fontMetrics();
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(w.x() + w.width() / 2.0, screen.x() + screen.width() / 2.0, 1.0);
    EXPECT_NEAR(w.y() + w.height() / 2.0, screen.y() + screen.height() / 2.0, 1.0);

    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    QLabel* label = w.findChild<QLabel*>(QStringLiteral("status"));
    ASSERT_EQ(label, w.statusLabel());
    EXPECT_EQ(label->text(), QStringLiteral("Drop file here."));
    EXPECT_EQ(label->property("controlId").toInt(), 1001);
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    EXPECT_TRUE(label->wordWrap());
    // Centred across the window, around the template's line (22 + 12 / 2 dialog units down).
    const QRect box = label->geometry();
    EXPECT_LE(std::abs(box.left() - (w.width() - box.right() - 1)), 1);
    EXPECT_NEAR(box.center().y(), 49.0, 2.0);  // 28 units of 14 / 8 pixels
    // Both lines of the progress text fit, each on one line.
    const QString progress = QStringLiteral("Processing file...\n(3/3)");
    const QRect needed = metrics.boundingRect(QRect(0, 0, box.width(), 1000),
                                              Qt::AlignCenter | Qt::TextWordWrap, progress);
    EXPECT_LE(needed.height(), box.height());
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Processing file...")), box.width());
    EXPECT_LE(box.right(), w.width() - 1);
    EXPECT_LE(box.bottom(), w.height() - 1);
}

TEST_F(WindowTest, CarriesTheIconInEverySize) {
    writeUsualSettings();
    const MainWindow& w = openWindow();
    const QList<QSize> sizes = w.windowIcon().availableSizes();
    for (const int size : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        const QImage image = w.windowIcon().pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_NE(image.pixelColor(size / 2, size / 2), image.pixelColor(0, 0)) << size;
    }
}

TEST_F(WindowTest, ChecksTheMenuFromTheSettingsFile) {
    struct Case {
        std::vector<std::string> lines;
        bool deleteAlready, deleteProcessed, div100MB, div1GB, zip;
    };
    const Case cases[] = {
        {{}, false, false, false, false, false},
        {{"deleteAlready=ON", "zip=on"}, true, false, false, false, true},
        {{"deleteProcessed=On", "div1GB=ON"}, false, true, false, true, false},
        // Both splits on: 100 MB wins.
        {{"div100MB=ON", "div1GB=ON"}, false, false, true, false, false},
        {{"deleteAlready=yes", "zip=1", "div1GB=OFF"}, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        writeUsualSettings(c.lines);
        options = {};
        MainWindow& w = openWindow();
        ASSERT_TRUE(w.isReady());
        const ui::OptionsMenu* menu = w.optionsMenu();
        EXPECT_EQ(menu->action(ui::kDeleteAlready)->isChecked(), c.deleteAlready);
        EXPECT_EQ(menu->action(ui::kDeleteProcessed)->isChecked(), c.deleteProcessed);
        EXPECT_EQ(menu->action(ui::kDiv100MB)->isChecked(), c.div100MB);
        EXPECT_EQ(menu->action(ui::kDiv1GB)->isChecked(), c.div1GB);
        EXPECT_EQ(menu->action(ui::kZip)->isChecked(), c.zip);
        EXPECT_EQ(options.level, "1");
        EXPECT_TRUE(prompts.chooserTitles.empty());
    }
}

TEST_F(WindowTest, FindsTheSystemArchiverWithoutAsking) {
    MainWindow& w = openWindow(archiverFolder());
    EXPECT_TRUE(w.isReady());
    EXPECT_TRUE(prompts.chooserTitles.empty());
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(options.sevenZipFolder, archiverFolder());
    EXPECT_TRUE(w.acceptDrops());
}

TEST_F(WindowTest, AMissingArchiverFileIsReportedAndTheWindowClosesSaved) {
    struct Case {
        bool program, library;
        bool asked;
        const char* message;
    };
    const Case cases[] = {
        // The folder in the settings lacks 7z: the chooser is offered, the choice lacks it too.
        {false, true, true, "7z not found"},
        // 7z is there but 7z.so is not: no chooser.
        {true, false, false, "7z.so not found"},
    };
    for (const Case& c : cases) {
        ScratchFolder archiver;
        if (c.program) writeFile(archiver.path() / "7z", "#!/bin/sh\n");
        if (c.library) writeFile(archiver.path() / "7z.so", "ELF");
        prompts = {};
        prompts.folderAnswer = QString::fromStdString(archiver.path().string());
        closes = 0;
        writeSettings({"[SystemSetting]", "dir=" + archiver.path().string(), "zip=ON"});
        options = {};
        MainWindow& w = openWindow(archiverFolder());
        EXPECT_EQ(prompts.chooserTitles.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(prompts.errors,
                  (std::vector<FakePrompts::Shown>{{"pomu", QString::fromUtf8(c.message)}}));
        EXPECT_TRUE(w.isClosed());
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.isReady());
        EXPECT_EQ(closes, 1);
        ConversionOptions saved;
        loadSettingsFrom(settingsFile, saved);
        EXPECT_EQ(saved.sevenZipFolder, archiver.folder());
        EXPECT_TRUE(saved.zip);
    }
}

TEST_F(WindowTest, ACancelledFolderChoiceLeavesAnInertWindow) {
    ScratchFolder noArchiver;
    const std::string loaded = noArchiver.path().string() + "/";
    writeSettings({"[SystemSetting]", "dir=" + loaded, "deleteAlready=ON"});
    MainWindow& w = openWindow(archiverFolder());
    EXPECT_EQ(prompts.chooserTitles, (std::vector<QString>{"Select 7-Zip Folder"}));
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_FALSE(w.isClosed());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isReady());
    EXPECT_FALSE(w.acceptDrops());
    EXPECT_EQ(w.statusLabel()->text(), QStringLiteral("Drop file here."));
    EXPECT_EQ(options.sevenZipFolder, loaded);

    // Drops and right clicks do nothing.
    const NativeString archive = makeArchive("a.zip", sample);
    EXPECT_FALSE(sendDrop({archive}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_FALSE(fs::exists(folder.path() / "a.7z"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), w.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&w, &click);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Closing saves the folder exactly as it was loaded.
    EXPECT_TRUE(w.close());
    EXPECT_EQ(closes, 1);
    ConversionOptions saved;
    loadSettingsFrom(settingsFile, saved);
    EXPECT_EQ(saved.sevenZipFolder, loaded);
    EXPECT_TRUE(saved.deleteAlready);
}

TEST_F(WindowTest, ARightClickOrTheMenuKeyOpensTheOptionsMenu) {
    writeUsualSettings();
    MainWindow& w = openWindow();
    ui::OptionsMenu* menu = w.optionsMenu();
    ASSERT_NE(menu, nullptr);

    const QPoint clicked = w.mapToGlobal(QPoint(10, 12));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 12), clicked);
    QApplication::sendEvent(&w, &click);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), clicked);
    menu->hide();

    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), w.mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(&w, &key);
    EXPECT_TRUE(menu->isVisible());
    const QLabel* label = w.statusLabel();
    EXPECT_EQ(menu->pos(), label->mapToGlobal(QPoint(label->width() / 2, label->height())));
    menu->hide();
}

TEST_F(WindowTest, MenuChoicesToggleTheOptionsAndAreSavedOnClose) {
    writeUsualSettings();
    MainWindow& w = openWindow();
    ui::OptionsMenu* menu = w.optionsMenu();
    menu->action(ui::kDiv1GB)->trigger();
    EXPECT_TRUE(options.div1GB);
    menu->action(ui::kDiv100MB)->trigger();
    EXPECT_TRUE(options.div100MB);
    EXPECT_FALSE(options.div1GB);
    EXPECT_TRUE(menu->action(ui::kDiv100MB)->isChecked());
    EXPECT_FALSE(menu->action(ui::kDiv1GB)->isChecked());
    menu->action(ui::kDeleteProcessed)->trigger();
    menu->action(ui::kZip)->trigger();
    // Nothing is written before the window closes.
    EXPECT_EQ(settingsText()->find("zip="), std::string::npos);

    EXPECT_TRUE(w.close());
    EXPECT_TRUE(w.isClosed());
    const std::string text = settingsText().value();
    std::vector<std::string> keys;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        if (line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
        at = end + 1;
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"dir", "level", "deleteAlready", "deleteProcessed",
                                              "div100MB", "div1GB", "zip", "keepDate"}));
    for (const char* line : {"deleteAlready=OFF", "deleteProcessed=ON", "div100MB=ON", "div1GB=OFF",
                             "zip=ON", "level=1", "keepDate=ON"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace pomu::test

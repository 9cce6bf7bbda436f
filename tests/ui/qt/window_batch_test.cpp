// Drops on the window: what it accepts, the status texts, the outputs, and drops mid-batch.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "pomu_version.h"
#include "session_bus.h"
#include "support/environment.h"
#include "window_fixture.h"

namespace pomu::test {
namespace {

const QString kLogHint = QStringLiteral("\nDouble-click to open the log.");

TEST_F(WindowTest, ThreeDroppedFilesShowTheirProgressAndTheSummary) {
    writeUsualSettings();
    openWindow();
    const NativeString first = makeArchive("first.zip", sample);
    const NativeString skipped = folder.file("already.7z");
    writeFile(skipped, "not touched");
    const NativeString third = makeArchive("third 日本.zip", {{"c.txt", "gamma"}});

    dropAndWait({first, skipped, third});
    EXPECT_EQ(statuses, (QStringList{"Processing file...\n(1/3)", "Processing file...\n(3/3)",
                                     "2 7z complete!"}));
    EXPECT_EQ(window->statusLabel()->text(), QStringLiteral("2 7z complete!"));
    EXPECT_EQ(window->toolTip(), "already.7z: skipped, already a .7z file" + kLogHint);
    EXPECT_FALSE(runState.busy);
    for (const char* output : {"first.7z", "third 日本.7z"}) {
        EXPECT_TRUE(archiveTests(folder.file(output))) << output;
    }
    EXPECT_TRUE(unpacksTo(folder.file("first.7z"), sample));
    EXPECT_TRUE(unpacksTo(folder.file("third 日本.7z"),
                          (std::vector<std::pair<std::string, std::string>>{{"c.txt", "gamma"}})));
    // Sources stay where they were without "delete once done".
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(readFile(skipped), "not touched");

    // A clean batch afterwards takes the tooltip away.
    dropAndWait({makeArchive("fourth.zip", sample)});
    EXPECT_EQ(statuses.last(), QStringLiteral("1 7z complete!"));
    EXPECT_EQ(window->toolTip(), QString());
}

TEST_F(WindowTest, OneDroppedFileShowsNoCounterAndZipModeSaysZip) {
    struct Case {
        std::vector<std::string> settings;
        const char* output;
        QString summary;
        QString tip;
    };
    const Case cases[] = {
        {{}, "one.7z", QStringLiteral("1 7z complete!"), {}},
        // A .zip is skipped.
        {{"zip=ON"},
         "one.zip",
         QStringLiteral("0 zip complete!"),
         "one.zip: skipped, already a .zip file" + kLogHint},
    };
    for (const Case& c : cases) {
        writeUsualSettings(c.settings);
        statuses.clear();
        openWindow();
        const NativeString source = makeArchive("one.zip", sample);
        dropAndWait({source});
        const QStringList progress =
            c.summary.startsWith('1') ? QStringList{"Processing file..."} : QStringList{};
        EXPECT_EQ(statuses, progress + QStringList{c.summary});
        EXPECT_EQ(window->toolTip(), c.tip);
        EXPECT_TRUE(fs::exists(folder.file(c.output))) << c.output;
    }
}

// A dropped folder is searched, with its subfolders, and the user asked once.
TEST_F(WindowTest, ADroppedFolderIsSearchedAndItsArchivesConvertedWhenTheUserSaysYes) {
    const struct Case {
        const char* folder;
        bool yes;
        QStringList statuses;
        QString tip;
        std::vector<const char*> outputs;
    } cases[] = {
        {"Yes",
         true,
         {"Processing file...\n(1/2)", "Processing file...\n(2/2)", "2 7z complete!"},
         {},
         {"Yes/b.7z", "Yes/Sub/a.7z"}},
        {"No",
         false,
         {"Processing file...", "0 7z complete!"},
         "No: folder, not an archive" + kLogHint,
         {}},
        {"None", true, {"0 7z complete!"}, "None: skipped, no archives in None" + kLogHint, {}},
    };
    writeUsualSettings();
    openWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string name = c.folder;
        fs::create_directories(folder.path() / name / "Sub");
        if (name != "None") {
            fs::rename(makeArchive("b.zip", sample), folder.path() / name / "b.zip");
            fs::rename(makeArchive("a.zip", sample), folder.path() / name / "Sub" / "a.zip");
        }
        writeFile(folder.path() / name / "notes.txt", "not an archive");
        statuses.clear();
        prompts.questions.clear();
        prompts.yesAnswer = c.yes;
        dropAndWait({folder.file(name)});
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_EQ(window->toolTip(), c.tip);
        const std::vector<FakePrompts::Shown> asked{
            {"pomu", QString::fromStdString("Convert the 2 archives in " + name +
                                            " and its subfolders?\n\n2 .zip")}};
        EXPECT_EQ(prompts.questions, name == "None" ? std::vector<FakePrompts::Shown>{} : asked);
        for (const char* output : c.outputs) EXPECT_TRUE(unpacksTo(folder.file(output), sample));
        EXPECT_EQ(fs::exists(folder.path() / name / "b.7z"), !c.outputs.empty());
    }
}

// A large tree is searched in slices: the window's own events are handled between them.
TEST_F(WindowTest, ALargeFolderIsSearchedInSlicesWhileTheWindowGoesOn) {
    writeUsualSettings();
    openWindow();
    // In memory, so that making the tree takes less than searching it.
    char made[] = "/dev/shm/pomu-search-XXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const fs::path big = fs::path(made) / "Big";
    for (int i = 0; i < 50000; ++i) {
        if (i % 1000 == 0) fs::create_directories(big / std::to_string(i / 1000));
        writeFile(big / std::to_string(i / 1000) / (std::to_string(i) + ".txt"), "");
    }
    bool handledMidway = false;
    QObject::connect(&window->statusLine(), &ui::StatusLine::written, window.get(),
                     [&](const QString& text) {
                         if (!text.startsWith("Searching...\n(")) return;
                         QTimer::singleShot(0, [&] { handledMidway |= window->dropsWaiting(); });
                     });
    dropAndWait({big.string()});
    fs::remove_all(made);
    EXPECT_TRUE(handledMidway);
    EXPECT_EQ(window->toolTip(), "Big: skipped, no archives in Big" + kLogHint);
}

// Two encrypted archives and a plain one: the question comes once, and the password given opens
// both, or "Skip encrypted archives" leaves them. It is written nowhere.
TEST_F(WindowTest, EncryptedArchivesAskForThePasswordOncePerBatch) {
    const std::string secret = "SECRET";
    struct Case {
        std::optional<std::string> answer;
        QString summary;
        QString tip;
    };
    const Case cases[] = {
        {secret, QStringLiteral("3 7z complete!"), {}},
        {std::nullopt, QStringLiteral("1 7z complete!"),
         "a.zip: needs a password\nb.zip: needs a password" + kLogHint},
    };
    for (const Case& c : cases) {
        for (const char* name : {"a.zip", "b.zip", "c.zip", "a.7z", "b.7z", "c.7z"}) {
            fs::remove(folder.file(name));
        }
        writeUsualSettings();
        prompts.passwordAnswers = {c.answer};
        prompts.passwordQuestions.clear();
        openWindow();
        const NativeString a = makeArchive("a.zip", sample, "-pSECRET");
        const NativeString b = makeArchive("b.zip", {{"b.txt", "beta"}}, "-pSECRET");
        const NativeString plain = makeArchive("c.zip", sample);
        dropAndWait({a, b, plain});
        EXPECT_EQ(statuses.last(), c.summary);
        EXPECT_EQ(window->toolTip(), c.tip);
        EXPECT_EQ(prompts.passwordQuestions,
                  (std::vector<FakePrompts::Shown>{
                      {"pomu", "Password for the encrypted archives of this batch:"}}));
        EXPECT_TRUE(unpacksTo(folder.file("c.7z"), sample));
        for (const char* output : {"a.7z", "b.7z"}) {
            // Encrypted as its source was: without the password it does not even list.
            EXPECT_EQ(fs::exists(folder.file(output)), c.answer.has_value()) << output;
            if (c.answer) {
                EXPECT_FALSE(archiveTests(folder.file(output))) << output;
            }
        }
        if (!c.answer) continue;
        ScratchFolder out;
        ASSERT_EQ(
            runArchiver({"x", "-p" + secret, folder.file("a.7z"), "-o" + out.folder()}).exitCode,
            0);
        EXPECT_EQ(treeContents(out.path()), sample);
        // Closed, the window writes its settings; nothing it wrote holds the password.
        window->close();
        std::vector<fs::path> files{fs::path(settingsFile), *window->batches().logPath()};
        for (const fs::path& place : {fs::path(*platform::tempFolder()), folder.path()}) {
            std::error_code error;
            for (auto it = fs::recursive_directory_iterator(place, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                if (it->is_regular_file()) files.push_back(it->path());
            }
        }
        for (const fs::path& file : files) {
            EXPECT_EQ(readFile(file).value_or("").find(secret), std::string::npos) << file;
        }
        EXPECT_FALSE(window->toolTip().contains(QString::fromStdString(secret)));
    }
}

// The real dialog: the field is masked, OK gives what was typed as UTF-8, "Skip encrypted
// archives" gives none.
TEST(PasswordDialog, IsMaskedAndGivesTheTypedPasswordAsUtf8) {
    for (const char* pressed : {"OK", "Skip encrypted archives"}) {
        bool masked = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* field = dialog ? dialog->findChild<QLineEdit*>("password") : nullptr;
            if (!field) return;
            masked = field->echoMode() == QLineEdit::Password;
            field->setText(QString::fromUtf8("p\xC3\xA4sswort \xE6\x97\xA5\xE6\x9C\xAC"));
            for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                if (button->text() == pressed) button->click();
            }
        });
        const std::optional<Secret> answer = ui::askPasswordInDialog(nullptr, "pomu", "for a.zip");
        EXPECT_TRUE(masked);
        EXPECT_EQ(answer ? std::optional<std::string>(answer->bytes()) : std::nullopt,
                  pressed == std::string("OK")
                      ? std::optional<std::string>("p\xC3\xA4sswort \xE6\x97\xA5\xE6\x9C\xAC")
                      : std::nullopt);
    }
}

TEST_F(WindowTest, AnExistingTargetShowsExistsThenTheSummary) {
    writeUsualSettings();
    openWindow();
    const NativeString source = makeArchive("taken.zip", sample);
    writeFile(folder.file("taken.7z"), "someone else's");
    dropAndWait({source});
    EXPECT_EQ(statuses, (QStringList{"7z Exists!", "0 7z complete!"}));
    EXPECT_EQ(window->toolTip(), "taken.zip: already exists: taken.7z" + kLogHint);
    EXPECT_EQ(readFile(folder.file("taken.7z")), "someone else's");
    // The log is where the XDG rules put it, with the file's line and the batch's.
    const auto log = readFile(fs::path(std::getenv("XDG_STATE_HOME")) / "pomu" / "pomu.log");
    ASSERT_TRUE(log.has_value());
    EXPECT_NE(log->find("\tnot converted\talready exists: taken.7z\t" + source + "\t"),
              std::string::npos)
        << *log;
}

TEST_F(WindowTest, DeleteOnceDoneMovesTheSourceToTheTrash) {
    writeUsualSettings({"deleteProcessed=ON"});
    openWindow();
    const NativeString source = makeArchive("gone.zip", sample);
    const std::optional<std::string> bytes = readFile(source);
    ASSERT_TRUE(bytes);
    dropAndWait({source});
    EXPECT_EQ(statuses.last(), QStringLiteral("1 7z complete!"));
    EXPECT_TRUE(unpacksTo(folder.file("gone.7z"), sample));
    EXPECT_FALSE(fs::exists(source));
    // This very file, by its original path and bytes: a stale entry of that name does not count.
    const std::optional<std::string> trashed = trashedBytes(source);
    EXPECT_TRUE(trashed == bytes) << (trashed ? fingerprint(*trashed) : "not in the Trash");
}

TEST_F(WindowTest, AcceptsOnlyDragsWithLocalFilesAndAlwaysAsCopies) {
    writeUsualSettings();
    openWindow();
    struct Case {
        QList<QUrl> urls;
        QString text;
        Qt::DropActions actions;
        bool accepted;
    };
    const Case cases[] = {
        {{QUrl::fromLocalFile("/tmp/a.zip")}, {}, Qt::CopyAction | Qt::MoveAction, true},
        {{QUrl::fromLocalFile("/tmp/a.zip")}, {}, Qt::CopyAction, true},
        {{QUrl("https://example.com/a.zip"), QUrl::fromLocalFile("/tmp/b.zip")},
         {},
         Qt::CopyAction,
         true},
        // Only a move is offered: refused, so the source never thinks its file moved here.
        {{QUrl::fromLocalFile("/tmp/a.zip")}, {}, Qt::MoveAction, false},
        {{QUrl("https://example.com/a.zip")}, {}, Qt::CopyAction, false},
        {{}, QStringLiteral("/tmp/a.zip"), Qt::CopyAction, false},
    };
    for (const Case& c : cases) {
        QMimeData data;
        if (!c.urls.isEmpty()) data.setUrls(c.urls);
        if (!c.text.isEmpty()) data.setText(c.text);
        QDragEnterEvent enter(QPoint(20, 20), c.actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.accepted) << c.urls.size() << c.text.toStdString();
        if (c.accepted) {
            EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        }
    }
    // A drop with no local file starts nothing.
    QMimeData remote;
    remote.setUrls({QUrl("https://example.com/a.zip")});
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    QCoreApplication::processEvents();
    EXPECT_TRUE(statuses.isEmpty());
}

TEST_F(WindowTest, ADropDuringABatchWaitsAndGetsItsOwnSummary) {
    writeUsualSettings();
    openWindow();
    const NativeString first = makeArchive("first.zip", {{"big.bin", noise(6 << 20)}});
    const NativeString later = makeArchive("later.zip", sample);
    std::size_t queuedAtFirstSummary = 99;
    whenStatusShows(QStringLiteral("Processing file..."), [&] {
        EXPECT_TRUE(runState.busy);
        EXPECT_TRUE(sendDrop({later}));
        QObject::connect(&window->statusLine(), &ui::StatusLine::written, window.get(),
                         [&](const QString& text) {
                             if (text.endsWith("complete!") && queuedAtFirstSummary == 99) {
                                 queuedAtFirstSummary = window->batches().queuedBatches();
                             }
                         });
    });
    dropAndWait({first});
    ASSERT_TRUE(waitUntil([&] { return statuses.size() >= 4 && !runState.busy; }));
    EXPECT_EQ(queuedAtFirstSummary, 1u);
    EXPECT_EQ(statuses, (QStringList{"Processing file...", "1 7z complete!", "Processing file...",
                                     "1 7z complete!"}));
    EXPECT_TRUE(archiveTests(folder.file("first.7z")));
    EXPECT_TRUE(unpacksTo(folder.file("later.7z"), sample));
}

TEST_F(WindowTest, ABatchFillsTheBarAndTheTaskbarEntryAndEmptiesThemAtTheEnd) {
    writeUsualSettings();
    openWindow();
    // Long enough for several updates at five a second, on a fast machine too.
    const NativeString big = makeArchive("big.zip", {{"big.bin", noise(24 << 20)}});
    const NativeString small = makeArchive("small.zip", sample);
    BusMonitor monitor(
        QStringLiteral("type='signal',interface='com.canonical.Unity.LauncherEntry'"));
    ASSERT_TRUE(monitor.started()) << "no dbus-daemon or dbus-monitor";

    std::vector<double> shown;
    int hides = 0;
    bool barShownMidway = false;
    const QMetaObject::Connection seen =
        QObject::connect(&window->statusLine(), &ui::StatusLine::progressShown, window.get(),
                         [&](bool visible, double fraction) {
                             if (!visible) {
                                 ++hides;
                                 return;
                             }
                             shown.push_back(fraction);
                             if (fraction > 0.2 && fraction < 0.8 && !barShownMidway) {
                                 barShownMidway = !window->progressBar()->isHidden();
                                 QDir().mkpath("test-artifacts");
                                 window->grab().save("test-artifacts/pomu-progress.png");
                             }
                         });
    dropAndWait({big, small});
    QObject::disconnect(seen);

    EXPECT_TRUE(archiveTests(folder.file("big.7z")));
    EXPECT_TRUE(barShownMidway);
    EXPECT_TRUE(window->progressBar()->isHidden());
    EXPECT_EQ(hides, 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 0.0);
    EXPECT_TRUE(risesThroughTheMiddle(shown));

    const LauncherUpdates updates = readUpdates(monitor.stop());
    ASSERT_FALSE(updates.progressVisible.empty());
    EXPECT_EQ(updates.entries.count("application://" POMU_APP_ID ".desktop"),
              updates.entries.size());
    EXPECT_TRUE(risesThroughTheMiddle(
        std::vector<double>(updates.progress.begin(), updates.progress.end() - 1)));
    EXPECT_TRUE(updates.progressVisible.front());
    EXPECT_FALSE(updates.progressVisible.back());
}

TEST_F(WindowTest, ZipChosenDuringABatchTakesEffectFromTheNextFile) {
    writeUsualSettings();
    openWindow();
    const NativeString first = makeArchive("first.zip", {{"big.bin", noise(4 << 20)}});
    const NativeString second = makeArchive("second.7z", sample, "-t7z");
    whenStatusShows(QStringLiteral("Processing file...\n(1/2)"), [&] {
        window->optionsMenu()->action(ui::kZip)->trigger();
        EXPECT_TRUE(options.zip);
    });
    dropAndWait({first, second});
    EXPECT_EQ(statuses, (QStringList{"Processing file...\n(1/2)", "Processing file...\n(2/2)",
                                     "2 zip complete!"}));
    // The running file keeps 7z; the next one is made as ZIP, so a .7z is no longer skipped.
    EXPECT_TRUE(archiveTests(folder.file("first.7z")));
    EXPECT_FALSE(fs::exists(folder.file("first.zip.7z")));
    EXPECT_TRUE(unpacksTo(folder.file("second.zip"), sample));
    EXPECT_TRUE(window->optionsMenu()->action(ui::kZip)->isChecked());
}

}  // namespace
}  // namespace pomu::test

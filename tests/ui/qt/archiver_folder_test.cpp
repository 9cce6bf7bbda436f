// Finding 7z and 7z.so at set-up: the loaded folder, the system folder, the chooser, messages.
#include <gtest/gtest.h>

#include <QFile>

#include "fake_prompts.h"
#include "support/test_files.h"
#include "ui/qt/archiver_folder.h"

namespace pomu::ui {
namespace {

using test::FakePrompts;
using test::ScratchFolder;

enum Contents { empty, programOnly, libraryOnly, both };

// A folder holding the chosen archiver files (empty files are enough to be found).
NativeString archiverLike(const ScratchFolder& scratch, const std::string& name,
                          Contents contents) {
    const test::fs::path folder = scratch.path() / name;
    test::fs::create_directories(folder);
    if (contents == programOnly || contents == both) test::writeFile(folder / "7z", "#!");
    if (contents == libraryOnly || contents == both) test::writeFile(folder / "7z.so", "ELF");
    return folder.native() + "/";
}

TEST(ArchiverFolderTest, FindsOrAsksForTheFolderAndReportsWhatIsMissing) {
    struct Case {
        const char* name;
        Contents loaded;  // the folder the settings name; `empty` with loadedIsBlank: none
        bool loadedIsBlank;
        Contents system;
        std::optional<Contents> chosen;  // the chooser's answer; nullopt: cancelled
        bool asked;
        ArchiverFolder result;
        const char* folderIs;  // "loaded", "system", "later", "chosen" or "blank"
        const char* error;
        Contents laterSystem = empty;  // the system folder tried after the first
    };
    const Case cases[] = {
        {"loaded folder complete", both, false, both, std::nullopt, false, ArchiverFolder::ready,
         "loaded", nullptr},
        {"blank takes the system folder", empty, true, both, std::nullopt, false,
         ArchiverFolder::ready, "system", nullptr},
        {"blank, system lacks 7z.so: asked", empty, true, programOnly, both, true,
         ArchiverFolder::ready, "chosen", nullptr},
        {"blank, no system folder: cancelled", empty, true, empty, std::nullopt, true,
         ArchiverFolder::cancelled, "blank", nullptr},
        {"blank, first system folder lacks 7z.so: the next", empty, true, programOnly, std::nullopt,
         false, ArchiverFolder::ready, "later", nullptr, both},
        {"blank, two system folders: the first", empty, true, both, std::nullopt, false,
         ArchiverFolder::ready, "system", nullptr, both},
        {"blank, no system folder complete: asked", empty, true, programOnly, both, true,
         ArchiverFolder::ready, "chosen", nullptr, libraryOnly},
        {"loaded lacks 7z: system folders not taken", libraryOnly, false, both, both, true,
         ArchiverFolder::ready, "chosen", nullptr, both},
        {"loaded lacks 7z: asked, cancelled", libraryOnly, false, both, std::nullopt, true,
         ArchiverFolder::cancelled, "loaded", nullptr},
        {"loaded lacks 7z: chosen complete", empty, false, both, both, true, ArchiverFolder::ready,
         "chosen", nullptr},
        {"chosen lacks 7z", empty, false, both, libraryOnly, true, ArchiverFolder::programMissing,
         "chosen", "7z not found"},
        {"chosen lacks 7z.so", empty, false, both, programOnly, true,
         ArchiverFolder::libraryMissing, "chosen", "7z.so not found"},
        {"loaded lacks 7z.so: not asked", programOnly, false, both, both, false,
         ArchiverFolder::libraryMissing, "loaded", "7z.so not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const NativeString loaded =
            c.loadedIsBlank ? NativeString() : archiverLike(scratch, "loaded", c.loaded);
        const NativeString system = archiverLike(scratch, "system", c.system);
        const NativeString later = archiverLike(scratch, "later", c.laterSystem);
        const NativeView systemFolders[] = {system, later};
        NativeString chosen = archiverLike(scratch, "chosen", c.chosen.value_or(empty));
        chosen.pop_back();  // the chooser gives the folder without a separator

        FakePrompts prompts;
        if (c.chosen) prompts.folderAnswer = QFile::decodeName(QByteArray::fromStdString(chosen));
        ConversionOptions options;
        options.sevenZipFolder = loaded;
        EXPECT_EQ(locateArchiver(options, prompts, nullptr, systemFolders), c.result);

        EXPECT_EQ(prompts.chooserTitles,
                  c.asked ? std::vector<QString>{QStringLiteral("Select 7-Zip Folder")}
                          : std::vector<QString>{});
        const std::string folderIs = c.folderIs;
        const NativeString expected = folderIs == "loaded"   ? loaded
                                      : folderIs == "system" ? system
                                      : folderIs == "later"  ? later
                                      : folderIs == "chosen" ? chosen + "/"
                                                             : NativeString();
        EXPECT_EQ(options.sevenZipFolder, expected);
        if (c.error) {
            EXPECT_EQ(prompts.errors, (std::vector<FakePrompts::Shown>{
                                          {QStringLiteral("pomu"), QString::fromUtf8(c.error)}}));
        } else {
            EXPECT_TRUE(prompts.errors.empty());
        }
        EXPECT_TRUE(prompts.questions.empty());
    }
}

TEST(ArchiverFolderTest, AChosenRootFolderGetsItsSeparatorToo) {
    FakePrompts prompts;
    prompts.folderAnswer = QStringLiteral("/");
    ConversionOptions options;
    ScratchFolder scratch;
    const NativeString none = archiverLike(scratch, "none", empty);
    const NativeView systemFolders[] = {none};
    EXPECT_EQ(locateArchiver(options, prompts, nullptr, systemFolders),
              ArchiverFolder::programMissing);
    EXPECT_EQ(options.sevenZipFolder, "//");
}

TEST(ArchiverFolderTest, HoldsArchiverNeedsBothFiles) {
    ScratchFolder scratch;
    EXPECT_FALSE(holdsArchiver(archiverLike(scratch, "a", empty)));
    EXPECT_FALSE(holdsArchiver(archiverLike(scratch, "b", programOnly)));
    EXPECT_FALSE(holdsArchiver(archiverLike(scratch, "c", libraryOnly)));
    EXPECT_TRUE(holdsArchiver(archiverLike(scratch, "d", both)));
    EXPECT_TRUE(holdsArchiver(test::archiverFolder()));
}

}  // namespace
}  // namespace pomu::ui

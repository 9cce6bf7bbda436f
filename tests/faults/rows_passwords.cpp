// Fault rows about encrypted sources: the batch's password question, wrong and empty passwords,
// names a ZIP cannot hide, and the password on no command line.
#include <gtest/gtest.h>

#include "convert/batch_password.h"
#include "convert/listing.h"
#include "faults/fault_rows.h"
#include "support/environment.h"

namespace pomu::faults {
namespace {

const std::string kSecret = "SECRET";
const std::string kUnicodeSecret = "p\xC3\xA4sswort \xE6\x97\xA5\xE6\x9C\xAC";  // "pässwort 日本"

std::string asked(const std::string& failedOn = {}) {
    return test::utf8(passwordQuestionText(test::native(failedOn)));
}

std::string progress(int index, int count) {
    return kProcessing + kBreak + "(" + std::to_string(index) + "/" + std::to_string(count) + ")";
}

// The archive's listing by the real archiver, the password's line on its input ("": none).
Listing listedWith(const NativeString& archive, const std::string& password) {
    std::optional<platform::RunningTool> tool = platform::startListing(
        test::archiverCommand({POMU_T("l"), POMU_T("-slt"), POMU_T("-sccUTF-8"), archive}),
        password.empty() ? std::string() : password + "\n");
    if (!tool) return {};
    while (!tool->hasEnded()) platform::handlePendingEvents(*tool);
    return parseListing(tool->takeOutput());
}

// The new archive opens only with the password: its names too (a 7z), every file encrypted,
// and with it the files come out whole.
void expectSealed(Scene& s, const std::string& name, const std::string& password,
                  const Files& content, bool namesHidden) {
    EXPECT_EQ(listedWith(s.file(name), "").complete, !namesHidden) << name;
    const Listing listing = listedWith(s.file(name), password);
    EXPECT_TRUE(listing.complete) << name;
    for (const ListedEntry& entry : listing.entries) {
        if (!entry.folder) {
            EXPECT_TRUE(entry.encrypted) << name << ": " << entry.path;
        }
    }
    EXPECT_EQ(unpacked(s.file(name), password), test::fingerprints(content)) << name;
}

// Every run was noted, and none carried the password; `made` runs made an archive reading it
// from their input ("-p" with no value) with the switch that hides the rest. Neither the log
// nor any file the rows' folders hold has it.
void expectPasswordOnNoLine(Scene& s, const std::string& password, int made,
                            const std::string& hiding) {
    const std::string notes = test::readFile(s.runNotes).value_or("");
    EXPECT_NE(notes, "") << "no run went through the recording archiver";
    EXPECT_EQ(notes.find(password), std::string::npos) << notes;
    std::string spaced = " " + notes + " ";
    for (char& c : spaced) c = c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    const auto words = [&spaced](const std::string& word) {
        int found = 0;
        for (std::size_t at = 0; (at = spaced.find(" " + word + " ", at)) != std::string::npos;
             ++at) {
            ++found;
        }
        return found;
    };
    EXPECT_EQ(words("-p"), made) << notes;
    EXPECT_EQ(words(hiding), made) << notes;
    EXPECT_EQ(test::readFile(s.logFile).value_or("").find(password), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(s.root.path())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(test::readFile(entry.path()).value_or("").find(password), std::string::npos)
            << entry.path();
    }
}

Files rarTree() {
    return test::treeContents(test::rarFixtures() / "tree");
}

}  // namespace

std::vector<Row> passwordRows() {
    return {
        // Two encrypted archives (their names plain, the password asked only to unpack) and a
        // plain one: asked once, all three converted, each as encrypted as it was.
        {.name = "EncryptedBatchAsksOnceAndConvertsAll",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.recordRuns();
                 s.passwords = {kSecret};
                 s.archive("crypt.zip", sampleFiles(), {POMU_T("-tzip"), POMU_T("-pSECRET")});
                 s.archive("aes.zip", sampleFiles(),
                           {POMU_T("-tzip"), POMU_T("-pSECRET"), POMU_T("-mem=AES256")});
                 s.archive("plain.tar", sampleFiles(), {POMU_T("-ttar")});
                 s.dropped = {s.file("crypt.zip"), s.file("aes.zip"), s.file("plain.tar")};
             },
         .converted = 3,
         .texts = {progress(1, 3), progress(2, 3), progress(3, 3), "3 7z complete!"},
         .report = {"crypt.zip: converted", "aes.zip: converted", "plain.tar: converted"},
         .outputs = {"crypt.7z", "aes.7z", "plain.7z"},
         .trashed = {"crypt.zip", "aes.zip", "plain.tar"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(s.asked, std::vector<std::string>{asked()});
                 expectSealed(s, "crypt.7z", kSecret, sampleFiles(), true);
                 expectSealed(s, "aes.7z", kSecret, sampleFiles(), true);
                 EXPECT_EQ(unpacked(s.file("plain.7z")), test::fingerprints(sampleFiles()));
                 expectPasswordOnNoLine(s, kSecret, 2, "-mhe=on");
             }},
        // An archiver that left out the password switch made a plain 7z: it goes, the source
        // stays.
        {.name = "NewArchiveThatIsNotEncryptedIsRemoved",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.recordRuns();
                 s.setVariable("POMU_RUN_WITHOUT", "-p");
                 s.passwords = {kSecret};
                 s.archive("crypt.zip", sampleFiles(), {POMU_T("-tzip"), POMU_T("-pSECRET")});
                 s.dropped = {s.file("crypt.zip")};
             },
         .texts = {kProcessing, "0 7z complete!"},
         .report = {"crypt.zip: the new archive is not encrypted as the source was"}},
        // Shown, the extraction's output is the user's: a hidden test tells the wrong password.
        {.name = "WrongOrEmptyPasswordIsAskedForAgainOnce",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.show = true;
                 s.recordRuns();
                 s.passwords = {"", kSecret};
                 for (const char* name : {"first.zip", "second.zip", "third.zip"}) {
                     s.archive(name, sampleFiles(), {POMU_T("-tzip"), POMU_T("-pSECRET")});
                     s.dropped.push_back(s.file(name));
                 }
             },
         .converted = 2,
         .texts = {progress(1, 3), progress(2, 3), progress(3, 3), "2 7z complete!"},
         .report = {"first.zip: wrong password", "second.zip: converted", "third.zip: converted"},
         .outputs = {"second.7z", "third.7z"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(s.asked, (std::vector<std::string>{asked(), asked("first.zip")}));
                 expectSealed(s, "third.7z", kSecret, sampleFiles(), true);
                 expectPasswordOnNoLine(s, kSecret, 2, "-mhe=on");
             }},
        // A 7z that hides its names is not asked about in ZIP mode; one with plain names is made
        // into an AES-256 ZIP.
        {.name = "HiddenNamesStayOutOfZipAndPlainOnesBecomeAes",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.recordRuns();
                 s.passwords = {kSecret};
                 s.archive("sealed.7z", sampleFiles(),
                           {POMU_T("-t7z"), POMU_T("-pSECRET"), POMU_T("-mhe=on")});
                 s.archive("crypt.7z", sampleFiles(), {POMU_T("-t7z"), POMU_T("-pSECRET")});
                 s.dropped = {s.file("sealed.7z"), s.file("crypt.7z")};
             },
         .converted = 1,
         .texts = {progress(1, 2), progress(2, 2), "1 zip complete!"},
         .report = {"sealed.7z: ZIP cannot hide the names", "crypt.7z: converted"},
         .outputs = {"crypt.zip"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(s.asked, std::vector<std::string>{asked()});
                 expectSealed(s, "crypt.zip", kSecret, sampleFiles(), false);
                 expectPasswordOnNoLine(s, kSecret, 1, "-mem=AES256");
             }},
        // A password beyond ASCII reaches 7-Zip whole: it opens a RAR's names and makes a 7z of
        // them; a ZIP cannot take it.
        {.name = "NonAsciiPasswordOpensAndMakesA7z",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.recordRuns();
                 s.passwords = {kUnicodeSecret};
                 if (!rarFixture(s, "unicode.rar", "unicode.rar")) return;
                 s.dropped = {s.file("unicode.rar")};
             },
         .converted = 1,
         .texts = {kProcessing, "1 7z complete!"},
         .report = {"unicode.rar: converted"},
         .outputs = {"unicode.7z"},
         .check =
             [](Scene& s) {
                 expectSealed(s, "unicode.7z", kUnicodeSecret, rarTree(), true);
                 expectPasswordOnNoLine(s, kUnicodeSecret, 1, "-mhe=on");
             }},
        {.name = "NonAsciiPasswordCannotMakeAZip",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.passwords = {kUnicodeSecret};
                 s.archive("crypt.7z", sampleFiles(),
                           {POMU_T("-t7z"), test::native("-p" + kUnicodeSecret)});
                 s.dropped = {s.file("crypt.7z")};
             },
         .texts = {kProcessing, "0 zip complete!"},
         .report = {"crypt.7z: a ZIP password must be ASCII, 99 characters at most"}},
        // The names of a RAR made with -hp come only with the password: a wrong one does not
        // open it, the one given next opens the rest.
        {.name = "RarPasswordsOpenTheNamesToo",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.recordRuns();
                 s.passwords = {"WRONG", kSecret};
                 for (auto [fixture, name] :
                      {std::pair("sealed.rar", "sealed.rar"), std::pair("locked.rar", "locked.rar"),
                       std::pair("sealed.rar", "again.rar")}) {
                     if (!rarFixture(s, fixture, name)) return;
                     s.dropped.push_back(s.file(name));
                 }
             },
         .converted = 2,
         .texts = {progress(1, 3), progress(2, 3), progress(3, 3), "2 7z complete!"},
         .report = {"sealed.rar: wrong password", "locked.rar: converted", "again.rar: converted"},
         .outputs = {"locked.7z", "again.7z"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(s.asked, (std::vector<std::string>{asked(), asked("sealed.rar")}));
                 expectSealed(s, "locked.7z", kSecret, rarTree(), true);
                 expectSealed(s, "again.7z", kSecret, rarTree(), true);
                 expectPasswordOnNoLine(s, kSecret, 2, "-mhe=on");
             }},
    };
}

}  // namespace pomu::faults

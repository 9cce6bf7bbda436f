// Fault rows about the settings file: garbage, binary bytes, a huge line, duplicates, no access.
#include <gtest/gtest.h>

#include "faults/fault_rows.h"

namespace pomu::faults {
namespace {

#ifdef _WIN32
#define POMU_SAVED_DIR "C:\\7-Zip\\"
#else
#define POMU_SAVED_DIR "/opt/7-Zip/"
#endif

// What the act saves, described as loading it back shows it (level stays as the file has it).
std::string savedWithLevel(const std::string& level) {
    return "dir=" POMU_SAVED_DIR " level=" + level +
           " show=0 already=1 processed=0 100MB=0 1GB=1 zip=1";
}

const std::string kDefaults = "dir= level=5 show=0 already=0 processed=0 100MB=0 1GB=0 zip=0";
const std::string kOldFile = "[SystemSetting]\nzip=ON\n";
const std::string kOldLoaded = "dir= level=5 show=0 already=0 processed=0 100MB=0 1GB=0 zip=1";

std::string binaryBytes() {
    std::string bytes;
    for (int round = 0; round < 4; ++round) {
        for (int c = 0; c < 256; ++c) bytes += char(c);
    }
    return bytes;
}

// The settings file holding the bytes, dropped for the act.
std::function<void(Scene&)> settingsFile(std::string bytes) {
    return [bytes](Scene& s) {
        s.write("pomu.ini", bytes);
        s.dropped = {s.file("pomu.ini")};
    };
}

// A level the archiver would read as more than a level: no conversion runs with it.
Row refusedLevel(const char* row, const NativeString& level) {
    return {.name = row,
            .act = Act::convert,
            .arrange =
                [level](Scene& s) {
                    s.options.level = level;
                    s.options.deleteProcessed = true;
                    // What "@L" would pack if the archiver were given it.
                    s.write("L", test::utf8(s.file("secret.txt")) + "\n");
                    s.write("secret.txt", "not to be packed");
                    s.dropped = {s.archive("good.zip", sampleFiles(), {POMU_T("-tzip")})};
                },
            .report = {"good.zip: the setting level cannot be used"}};
}

}  // namespace

std::vector<Row> settingsRows() {
    return {
        refusedLevel("LevelWithABlankAndAListFile", POMU_T("1 @L")),
        refusedLevel("LevelWithASwitch", POMU_T("5 -r")),
        refusedLevel("LevelInDoubleQuotes", POMU_T("\"9\"")),
        refusedLevel("LevelWithATab", POMU_T("1\t-r")),
        refusedLevel("LevelStartingWithAt", POMU_T("@L")),
        refusedLevel("LevelStartingWithADash", POMU_T("-9")),
        // Noise, a section header missing its bracket and a commented-out one come first.
        {.name = "SettingsWithGarbage",
         .act = Act::settings,
         .arrange = settingsFile("\x01garbage === here\n=\n[\n[SystemSetting\nzip=ON\n]]]\n"
                                 ";[SystemSetting]\n[SystemSetting]\nlevel=9\n"
                                 "deleteProcessed=on\n"),
         .converted = 1,
         .texts = {"dir= level=9 show=0 already=0 processed=1 100MB=0 1GB=0 zip=0",
                   savedWithLevel("9")},
         .outputs = {"pomu.ini"}},
        {.name = "SettingsWithBinaryBytes",
         .act = Act::settings,
         .arrange = settingsFile(kOldFile + binaryBytes() + "\n"),
         .converted = 1,
         .texts = {kOldLoaded, savedWithLevel("5")},
         .outputs = {"pomu.ini"}},
        {.name = "SettingsWithAMegabyteLine",
         .act = Act::settings,
         .arrange = settingsFile("[SystemSetting]\nzip=ON\nlevel=" + std::string(1'000'000, '7') +
                                 "\ndeleteAlready=ON\n"),
         .converted = 1,
         .texts = {"dir= level=7777 show=0 already=1 processed=0 100MB=0 1GB=0 zip=1",
                   savedWithLevel("7777")},
         .outputs = {"pomu.ini"}},
        // The first section of the name and its first key of a name win, as the profile
        // functions read them; the save writes into that same section.
        {.name = "SettingsWithDuplicateSectionsAndKeys",
         .act = Act::settings,
         .arrange = settingsFile("[SystemSetting]\nzip=ON\nZIP=OFF\nzip=off\n[Other]\nzip=OFF\n"
                                 "[systemsetting]\nzip=OFF\ndeleteAlready=ON\nlevel=3\n"),
         .converted = 1,
         .texts = {kOldLoaded, savedWithLevel("5")},
         .outputs = {"pomu.ini"}},
        // Unreadable: the defaults, a save that fails quietly, the file as it was.
        {.name = "SettingsFileUnreadable",
         .act = Act::settings,
         .arrange =
             [](Scene& s) {
                 settingsFile(kOldFile)(s);
                 std::string why;
#ifdef _WIN32
                 s.need(lockedFile(s.file("pomu.ini"), why), why);
#else
                 fs::permissions(s.file("pomu.ini"), fs::perms::none);
                 s.ordinaryUser = true;
#endif
             },
         .texts = {kDefaults, kDefaults},
         .check =
             [](Scene& s) {
                 s.holds.clear();
                 EXPECT_EQ(s.read("pomu.ini"), kOldFile);
             }},
        // Unwritable: the save fails quietly and the next load reads the old file.
        {.name = "SettingsInReadOnlyPlace",
         .act = Act::settings,
         .arrange =
             [](Scene& s) {
                 settingsFile(kOldFile)(s);
                 std::string why;
#ifdef _WIN32
                 s.need(heldForReading(s.file("pomu.ini"), why), why);
#else
                 s.need(readOnlyFolder(s.files, why), why);
#endif
             },
         .texts = {kOldLoaded, kOldLoaded}},
    };
}

}  // namespace pomu::faults

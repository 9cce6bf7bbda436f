// The settings file through the real profile functions: defaults, load rules, save layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options/settings.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace pomu {
namespace {

using test::native;
using test::ScratchFolder;

#ifdef _WIN32
constexpr const char* kFolder = "C:\\Program Files\\7-Zip\\";
constexpr const char* kBareFolder = "C:\\7z";
constexpr const char* kJapaneseFolder = "C:\\\xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB\\7-Zip\\";
constexpr const char* kRoot = "C:\\";
#else
constexpr const char* kFolder = "/usr/lib/p7zip/";
constexpr const char* kBareFolder = "/opt/7z";
constexpr const char* kJapaneseFolder = "/opt/\xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB/7-Zip/";
constexpr const char* kRoot = "/";
#endif

// Every field in one line, so a table row states the whole expected record.
std::string describe(const ConversionOptions& o) {
    return "dir=" + test::utf8(o.sevenZipFolder) + " level=" + test::utf8(o.level) +
           " show=" + std::to_string(o.show) + " already=" + std::to_string(o.deleteAlready) +
           " processed=" + std::to_string(o.deleteProcessed) +
           " 100MB=" + std::to_string(o.div100MB) + " 1GB=" + std::to_string(o.div1GB) +
           " zip=" + std::to_string(o.zip) + " keep=" + std::to_string(o.keepDate);
}

std::string defaultsWithFolder(const std::string& folder) {
    return "dir=" + folder + " level=5 show=0 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=1";
}

// The bytes of a file the profile functions create: UTF-16 with a byte-order mark and CRLF on
// Windows, UTF-8 with LF on Linux.
std::string newFileBytes(const std::vector<std::string>& lines) {
#ifdef _WIN32
    std::string bytes = "\xFF\xFE";
    for (const std::string& line : lines) {
        for (const wchar_t c : native(line + "\r\n")) {
            bytes += char(c & 0xFF);
            bytes += char((c >> 8) & 0xFF);
        }
    }
    return bytes;
#else
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\n";
    return bytes;
#endif
}

NativeString readSetting(const NativeString& file, const char* key) {
    return platform::readProfileString(file, POMU_T("SystemSetting"), native(key), POMU_T("<none>"),
                                       260);
}

class SettingsFile : public testing::Test {
  protected:
    NativeString file() const { return scratch_.file("pomu.ini"); }
    void writeText(const std::string& text) const { test::writeFile(file(), text); }
    std::string text() const { return test::readFile(file()).value_or("<missing>"); }
    ConversionOptions load() const {
        ConversionOptions options;
        options.zip = true;  // loading must start from the defaults
        options.level = POMU_T("x");
        loadSettingsFrom(file(), options);
        return options;
    }

  private:
    ScratchFolder scratch_;
};

TEST_F(SettingsFile, MissingFileGivesDefaults) {
    EXPECT_EQ(describe(load()), defaultsWithFolder(""));
    EXPECT_FALSE(test::readFile(file()));
}

struct LoadCase {
    const char* label;
    std::string text;
    std::string expected;
};

TEST_F(SettingsFile, LoadsEachKeyByItsRule) {
    const std::string bare = kBareFolder;
    const LoadCase cases[] = {
        {"other section only", "[Other]\r\nzip=ON\r\nlevel=1\r\n", defaultsWithFolder("")},
        {"both splits on", "[SystemSetting]\r\ndiv100MB=ON\r\ndiv1GB=ON\r\n",
         "dir= level=5 show=0 already=0 processed=0 100MB=1 1GB=0 zip=0 keep=1"},
        {"1GB alone", "[SystemSetting]\r\ndiv100MB=OFF\r\ndiv1GB=on\r\n",
         "dir= level=5 show=0 already=0 processed=0 100MB=0 1GB=1 zip=0 keep=1"},
        {"folder gains separator", "[SystemSetting]\r\ndir=" + bare + "\r\n",
         defaultsWithFolder(bare + std::string(1, char(kSeparator)))},
        {"show on", "[SystemSetting]\r\nshow=on\r\n",
         "dir= level=5 show=1 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=1"},
        {"show yes", "[SystemSetting]\r\nshow=yes\r\n", defaultsWithFolder("")},
        {"empty level", "[SystemSetting]\r\nlevel=\r\n",
         "dir= level= show=0 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=1"},
        {"long level", "[SystemSetting]\r\nlevel=123456\r\n",
         "dir= level=1234 show=0 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=1"},
        {"flags any case",
         "[systemsetting]\r\nDELETEALREADY=On\r\ndeleteProcessed = oN \r\nzip=\"ON\"\r\n",
         "dir= level=5 show=0 already=1 processed=1 100MB=0 1GB=0 zip=1 keep=1"},
        {"near misses", "[SystemSetting]\r\nzip=ONX\r\nshow=1\r\ndeleteAlready=OFF\r\n",
         defaultsWithFolder("")},
        {"keepDate off", "[SystemSetting]\r\nkeepDate=off\r\n",
         "dir= level=5 show=0 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=0"},
        {"keepDate empty", "[SystemSetting]\r\nkeepDate=\r\n",
         "dir= level=5 show=0 already=0 processed=0 100MB=0 1GB=0 zip=0 keep=0"},
        {"keepDate in another section", "[Other]\r\nkeepDate=OFF\r\n", defaultsWithFolder("")},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const NativeString path = scratch.file("case.ini");
        test::writeFile(path, c.text);
        ConversionOptions options;
        options.show = true;
        loadSettingsFrom(path, options);
        EXPECT_EQ(describe(options), c.expected) << c.label;
    }
}

TEST_F(SettingsFile, BothSplitsOnSaveAs100MBOnly) {
    writeText("[SystemSetting]\r\ndiv100MB=ON\r\ndiv1GB=ON\r\n");
    ASSERT_TRUE(saveSettingsTo(file(), load()));
    EXPECT_EQ(readSetting(file(), "div100MB"), POMU_T("ON"));
    EXPECT_EQ(readSetting(file(), "div1GB"), POMU_T("OFF"));
}

TEST_F(SettingsFile, FolderIsSavedWithItsSeparator) {
    writeText(std::string("[SystemSetting]\r\ndir=") + kBareFolder + "\r\n");
    ASSERT_TRUE(saveSettingsTo(file(), load()));
    EXPECT_EQ(readSetting(file(), "dir"), native(kBareFolder) + kSeparator);
}

TEST_F(SettingsFile, SaveKeepsHandWrittenLinesAndAppendsKeys) {
    writeText(
        "; pomu\r\n[Window]\r\nx=1\r\n[SystemSetting]\r\n; by hand\r\nlevel=9\r\n"
        "show=ON\r\n[Other]\r\ny=2\r\n");
    ConversionOptions options = load();
    options.sevenZipFolder = native(kFolder);
    options.zip = true;
    ASSERT_TRUE(saveSettingsTo(file(), options));
    EXPECT_EQ(text(),
              "; pomu\r\n[Window]\r\nx=1\r\n[SystemSetting]\r\n; by hand\r\nlevel=9\r\n"
              "show=ON\r\ndir=" +
                  std::string(kFolder) +
                  "\r\ndeleteAlready=OFF\r\ndeleteProcessed=OFF\r\ndiv100MB=OFF\r\n"
                  "div1GB=OFF\r\nzip=ON\r\nkeepDate=ON\r\n[Other]\r\ny=2\r\n");
    EXPECT_EQ(describe(load()),
              "dir=" + std::string(kFolder) +
                  " level=9 show=1 already=0 processed=0 100MB=0 1GB=0 zip=1 keep=1");
}

TEST_F(SettingsFile, LevelOnlySectionGainsTheSevenKeys) {
    writeText("[SystemSetting]\r\nlevel=9\r\n");
    ASSERT_TRUE(saveSettingsTo(file(), load()));
    EXPECT_EQ(text(),
              "[SystemSetting]\r\nlevel=9\r\ndir=\r\ndeleteAlready=OFF\r\ndeleteProcessed=OFF\r\n"
              "div100MB=OFF\r\ndiv1GB=OFF\r\nzip=OFF\r\nkeepDate=ON\r\n");
}

TEST_F(SettingsFile, FirstSaveWritesTheDocumentedLayout) {
    ConversionOptions options;
    options.sevenZipFolder = native(kFolder);
    ASSERT_TRUE(saveSettingsTo(file(), options));
    EXPECT_EQ(text(), newFileBytes({"[SystemSetting]", "dir=" + std::string(kFolder),
                                    "deleteAlready=OFF", "deleteProcessed=OFF", "div100MB=OFF",
                                    "div1GB=OFF", "zip=OFF", "keepDate=ON"}));
    EXPECT_EQ(describe(load()), describe(options));
}

TEST_F(SettingsFile, EveryWrittenFlagRoundTrips) {
    for (int bits = 0; bits < 32; ++bits) {
        ConversionOptions options;
        options.sevenZipFolder = native(kFolder);
        options.deleteAlready = bits & 1;
        options.deleteProcessed = bits & 2;
        options.div1GB = bits & 4;
        options.zip = bits & 8;
        options.keepDate = bits & 16;
        ASSERT_TRUE(saveSettingsTo(file(), options));
        EXPECT_EQ(describe(load()), describe(options)) << bits;
    }
}

TEST_F(SettingsFile, JapaneseFolderSurvivesASave) {
    ConversionOptions options;
    options.sevenZipFolder = native(kJapaneseFolder);
    options.div100MB = true;
    ASSERT_TRUE(saveSettingsTo(file(), options));
    EXPECT_EQ(describe(load()), describe(options));
#ifdef _WIN32
    EXPECT_EQ(text().substr(0, 2), "\xFF\xFE");
#endif
}

struct FolderCase {
    const char* label;
    std::size_t letters;  // after the root
    bool separatorAtEnd;
    bool kept;
};

TEST_F(SettingsFile, FolderBeyondThePathBufferIsEmpty) {
    const std::string root = kRoot;
    const std::size_t fill = kMaxPathChars - root.size();
    const FolderCase cases[] = {
        {"full buffer, no separator", fill, false, false},
        {"room for the separator", fill - 1, false, true},
        {"full buffer with separator", fill - 1, true, true},
        {"one past the buffer", fill, true, false},
        {"three buffers", 3 * kPathBufferChars, true, false},
    };
    for (const auto& c : cases) {
        std::string folder = root + std::string(c.letters, 'a');
        if (c.separatorAtEnd) folder += char(kSeparator);
        writeText("[SystemSetting]\r\ndir=" + folder + "\r\nzip=ON\r\n");
        const ConversionOptions options = load();
        if (c.kept) {
            std::string expected = folder;
            if (!c.separatorAtEnd) expected += char(kSeparator);
            EXPECT_EQ(test::utf8(options.sevenZipFolder), expected) << c.label;
        } else {
            EXPECT_EQ(options.sevenZipFolder, NativeString()) << c.label;
        }
        EXPECT_LE(options.sevenZipFolder.size(), kMaxPathChars) << c.label;
        EXPECT_TRUE(options.zip) << c.label;
    }
}

TEST_F(SettingsFile, FolderCutAtTheBufferIsNotTakenForAShorterOne) {
    // A separator right at the buffer's last character: a cut read would look like a folder.
    const std::string root = kRoot;
    std::string folder = root + std::string(kMaxPathChars - root.size() - 1, 'a');
    folder += char(kSeparator);
    folder += "more";
    folder += char(kSeparator);
    writeText("[SystemSetting]\r\ndir=" + folder + "\r\n");
    EXPECT_EQ(load().sevenZipFolder, NativeString());
}

TEST_F(SettingsFile, LineBreakInFolderIsNeverWritten) {
    // Written as is, the folder would add lines of its own and turn zip on.
    ConversionOptions options;
    options.sevenZipFolder = native(std::string(kRoot) + "a\n[SystemSetting]\nzip=ON\n");
    options.deleteAlready = true;
    EXPECT_FALSE(saveSettingsTo(file(), options));
    EXPECT_EQ(describe(load()),
              "dir= level=5 show=0 already=1 processed=0 100MB=0 1GB=0 zip=0 keep=1");
}

}  // namespace
}  // namespace pomu

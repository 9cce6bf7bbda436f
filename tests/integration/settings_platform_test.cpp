// Where each platform keeps the settings file and the log; how the Linux file is written safely.
// safely.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "options/settings.h"
#include "platform/platform.h"
#include "support/environment.h"
#include "support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pomu {
namespace {

namespace fs = std::filesystem;
using test::ScratchFolder;

#ifdef _WIN32

TEST(SettingsPath, IsTheProgramPathWithIni) {
    wchar_t program[MAX_PATH] = {};
    ASSERT_LT(GetModuleFileNameW(nullptr, program, MAX_PATH), DWORD(MAX_PATH));
    const std::optional<NativeString> path = platform::settingsFilePath();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, fs::path(program).replace_extension(L".ini").native());
    EXPECT_EQ(platform::logFilePath(), fs::path(program).replace_filename(L"pomu.log").native());
}

#else

// Sets or clears one environment variable for the test's lifetime.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

struct PathCase {
    const char* config;
    const char* home;
    std::string expected;
};

TEST(SettingsPath, FollowsXdgConfigHome) {
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    const std::string fromUserDatabase = std::string(user->pw_dir) + "/.config/pomu/pomu.ini";
    const PathCase cases[] = {
        {"/x/cfg", "/home/u", "/x/cfg/pomu/pomu.ini"},
        {"/x/cfg/", "/home/u", "/x/cfg/pomu/pomu.ini"},
        {"relative/cfg", "/home/u", "/home/u/.config/pomu/pomu.ini"},
        {"", "/home/u/", "/home/u/.config/pomu/pomu.ini"},
        {nullptr, "/home/u", "/home/u/.config/pomu/pomu.ini"},
        {nullptr, "relative", fromUserDatabase},
        {nullptr, nullptr, fromUserDatabase},
    };
    for (const auto& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.config);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(platform::settingsFilePath().value_or("<none>"), c.expected)
            << (c.config ? c.config : "<unset>") << " / " << (c.home ? c.home : "<unset>");
    }
    // The log follows XDG_STATE_HOME by the same rules.
    const PathCase logCases[] = {
        {"/x/state", "/home/u", "/x/state/pomu/pomu.log"},
        {"relative/state", "/home/u", "/home/u/.local/state/pomu/pomu.log"},
        {nullptr, "/home/u/", "/home/u/.local/state/pomu/pomu.log"},
    };
    for (const auto& c : logCases) {
        ScopedEnv state("XDG_STATE_HOME", c.config);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(platform::logFilePath().value_or("<none>"), c.expected)
            << (c.config ? c.config : "<unset>");
    }
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::size_t entriesIn(const fs::path& folder) {
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++count;
    return count;
}

class LinuxSettingsFile : public testing::Test {
  protected:
    fs::path folder() const { return scratch_.path() / "cfg" / "pomu"; }
    fs::path file() const { return folder() / "pomu.ini"; }
    void makeFile(const std::string& text) const {
        fs::create_directories(folder());
        test::writeFile(file(), text);
    }

  private:
    ScratchFolder scratch_;

  protected:
    ScopedEnv config_{"XDG_CONFIG_HOME", (scratch_.path() / "cfg").c_str()};
};

TEST_F(LinuxSettingsFile, FirstSaveCreatesPrivateFolderAndFile) {
    ConversionOptions options;
    options.sevenZipFolder = "/usr/lib/p7zip/";
    options.zip = true;
    ASSERT_TRUE(saveSettings(options));
    EXPECT_EQ(modeOf(folder()), mode_t(0700));
    EXPECT_EQ(modeOf(file()), mode_t(0600));
    EXPECT_EQ(entriesIn(folder()), 1u);  // no temporary file left behind
    ConversionOptions loaded;
    ASSERT_TRUE(loadSettings(loaded));
    EXPECT_EQ(loaded.sevenZipFolder, options.sevenZipFolder);
    EXPECT_TRUE(loaded.zip);
}

TEST_F(LinuxSettingsFile, SaveKeepsTheFileMode) {
    makeFile("[SystemSetting]\nzip=ON\n");
    fs::permissions(file(), fs::perms(0640));
    ASSERT_TRUE(saveSettings(ConversionOptions{}));
    EXPECT_EQ(modeOf(file()), mode_t(0640));
    EXPECT_EQ(entriesIn(folder()), 1u);
}

TEST_F(LinuxSettingsFile, SaveIntoUnwritableFolderFailsQuietly) {
    const std::string old = "[SystemSetting]\nzip=ON\n";
    makeFile(old);
    fs::permissions(folder(), fs::perms(0555));
    ConversionOptions options;
    options.deleteAlready = true;
    // Root writes anywhere, so the save runs as an ordinary user who owns the folder and file.
    std::string why;
    const std::optional<std::string> saved = test::asOrdinaryUser(
        folder().parent_path().parent_path(),
        [&] { return std::string(saveSettings(options) ? "saved" : "refused"); }, why);
    if (!saved) GTEST_SKIP() << why;
    EXPECT_EQ(*saved, "refused");
    EXPECT_EQ(test::readFile(file()), old);
    EXPECT_EQ(entriesIn(folder()), 1u);
}

TEST_F(LinuxSettingsFile, OversizedFileIsReadInPartAndNeverRewritten) {
    const std::string old = "[SystemSetting]\nzip=ON\n" + std::string(2 << 20, '\n') + "x=1\n";
    makeFile(old);
    ConversionOptions loaded;
    ASSERT_TRUE(loadSettings(loaded));
    EXPECT_TRUE(loaded.zip);
    EXPECT_FALSE(saveSettings(ConversionOptions{}));
    EXPECT_TRUE(test::readFile(file()) == old);  // not printed: two megabytes
}

TEST_F(LinuxSettingsFile, HugeLineAndBinaryBytesAreHarmless) {
    std::string old = "[SystemSetting]\nlevel=" + std::string(1 << 20, '7');
    for (int i = 0; i < 256; ++i) old += char(i);
    makeFile(old);
    ConversionOptions loaded;
    ASSERT_TRUE(loadSettings(loaded));
    EXPECT_EQ(loaded.level, "7777");
}

TEST_F(LinuxSettingsFile, FifoIsNeverWaitedOn) {
    fs::create_directories(folder());
    ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
    ConversionOptions loaded;
    loaded.zip = true;
    ASSERT_TRUE(loadSettings(loaded));
    EXPECT_FALSE(loaded.zip);
    EXPECT_FALSE(saveSettings(ConversionOptions{}));
    EXPECT_TRUE(fs::is_fifo(file()));
}

TEST_F(LinuxSettingsFile, LinkedFileStaysALink) {
    fs::create_directories(folder());
    const fs::path real = folder().parent_path() / "real.ini";
    test::writeFile(real, "[SystemSetting]\nlevel=9\n");
    fs::create_symlink(real, file());
    ConversionOptions options;
    options.zip = true;
    ASSERT_TRUE(saveSettings(options));
    EXPECT_TRUE(fs::is_symlink(file()));
    ConversionOptions loaded;
    ASSERT_TRUE(loadSettings(loaded));
    EXPECT_TRUE(loaded.zip);
    EXPECT_EQ(loaded.level, "9");
}

#endif

}  // namespace
}  // namespace pomu

// The desktop entry that launchers use to start pomu.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "desktop.h"
#include "support/test_files.h"

namespace pomu::test {
namespace {

TEST(DesktopEntryTest, NamesTheProgramItsIconAndMenuPlace) {
    const char* source = std::getenv("POMU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::optional<std::string> text =
        readFile(fs::path(source) / "res" / "linux" / "pomu.desktop");
    ASSERT_TRUE(text.has_value());

    std::map<std::string, std::string> keys;
    std::string group;
    std::size_t at = 0;
    while (at < text->size()) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        const std::string line = text->substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            group = line;
            continue;
        }
        const std::size_t equals = line.find('=');
        ASSERT_NE(equals, std::string::npos) << line;
        EXPECT_EQ(group, "[Desktop Entry]") << line;
        EXPECT_TRUE(keys.emplace(line.substr(0, equals), line.substr(equals + 1)).second) << line;
    }
    const std::pair<const char*, const char*> expected[] = {
        {"Type", "Application"},    {"Name", "pomu"},      {"Exec", "pomu %F"},
        {"Icon", "pomu"},           {"Terminal", "false"}, {"Categories", "Utility;Archiving;"},
        {"StartupWMClass", "pomu"},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(keys[key], value) << key;
    // "Open With pomu" for every type it re-packs, under the shared MIME database's names.
    for (const char* type :
         {"application/zip", "application/x-7z-compressed", "application/vnd.rar",
          "application/x-tar", "application/x-compressed-tar", "application/gzip",
          "application/x-bzip", "application/x-xz", "application/x-lzma", "application/zstd",
          "application/x-compress", "application/x-lha", "application/vnd.ms-cab-compressed",
          "application/x-arj", "application/x-cpio", "application/vnd.comicbook+zip"}) {
        EXPECT_NE(keys["MimeType"].find(std::string(type) + ";"), std::string::npos) << type;
    }
    const ToolOutput valid = runTool(
        "desktop-file-validate",
        {QString::fromStdString((fs::path(source) / "res" / "linux" / "pomu.desktop").string())},
        QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(valid.exitCode, 0) << valid.output.toStdString();
    EXPECT_EQ(valid.output, QString()) << "warnings or hints";
}

}  // namespace
}  // namespace pomu::test

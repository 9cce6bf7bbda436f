// Fault rows about names: scripts, emoji, blanks, quotes, dashes, bytes, and path lengths.
#include <gtest/gtest.h>

#include "faults/fault_rows.h"
#include "faults/restrictions.h"
#include "faults/zip_writer.h"

namespace pomu::faults {
namespace {

// A row that packs the sample under the name and expects it converted to the target name.
Row named(const char* row, std::string source, std::string target) {
    return {.name = row,
            .act = Act::convert,
            .arrange =
                [source](Scene& s) {
                    s.options.deleteProcessed = true;
                    s.content = sampleFiles();
                    s.dropped = {s.archive(source, s.content, {POMU_T("-tzip")})};
                },
            .converted = 1,
            .texts = {kProcessing},
            .outputs = {target},
            .trashed = {source}};
}

// A name that makes files/<name> exactly `length` characters long (UTF-16 units on Windows).
std::string nameForLength(const Scene& s, std::size_t length, const std::string& extension) {
    const std::size_t folder = s.files.native().size() + 1;
    return std::string(length - folder - extension.size(), 'n') + extension;
}

// Windows reaches a path past its limit only with the long-path prefix.
fs::path reachable(const NativeString& path) {
#ifdef _WIN32
    return fs::path(L"\\\\?\\" + path);
#else
    return fs::path(path);
#endif
}

// The sample as a ZIP under a name of the given length, made under a short name first.
void sampleUnderLongName(Scene& s, std::size_t length, const std::string& extension) {
    const std::string name = nameForLength(s, length, extension);
    s.content = sampleFiles();
    s.archive("short.zip", s.content, {POMU_T("-tzip")});
    fs::rename(reachable(s.file("short.zip")), reachable(s.file(name)));
    ASSERT_EQ(s.file(name).size(), length);
    s.dropped = {s.file(name)};
}

#ifndef _WIN32
// A file 1,100 folders deep, each of one letter.
std::string nestedPath() {
    std::string path;
    for (int i = 0; i < 1100; ++i) path += "a/";
    return path + "deep.txt";
}
#endif

#ifdef _WIN32
constexpr int kConvertedPastTheLimit = 0;  // Windows keeps its 260-character paths
const std::vector<std::string> kTextsPastTheLimit{};
#else
constexpr int kConvertedPastTheLimit = 1;  // Linux paths reach 4095 bytes
const std::vector<std::string> kTextsPastTheLimit{kProcessing};
#endif

}  // namespace

std::vector<Row> nameRows() {
    std::vector<Row> rows{
        named("JapaneseName", "写真アルバム 2024.zip", "写真アルバム 2024.7z"),
        named("EmojiName", "📦 box 🎉.zip", "📦 box 🎉.7z"),
        named("BlanksInName", " two  blanks here .zip", " two  blanks here .7z"),
        named("LeadingDashName", "-oops -r.zip", "-oops -r.7z"),
        // Just under the Windows limit: 259 characters, target one shorter.
        {.name = "PathOf259Characters",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 sampleUnderLongName(s, 259, ".zip");
                 const std::string name = test::utf8(fs::path(s.dropped[0]).filename().native());
                 s.outputs = {name.substr(0, name.size() - 4) + ".7z"};
             },
         .converted = 1,
         .texts = {kProcessing}},
        // Over it: Windows refuses before anything and never works under a shortened name.
        {.name = "PathOf262Characters",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 sampleUnderLongName(s, 262, ".zip");
                 const std::string name = test::utf8(fs::path(s.dropped[0]).filename().native());
                 if (kConvertedPastTheLimit) s.outputs = {name.substr(0, name.size() - 4) + ".7z"};
             },
         .converted = kConvertedPastTheLimit,
         .texts = kTextsPastTheLimit},
        // The source fits, the target (".7z" appended) would not. Windows refuses it first;
        // Linux reaches the listing, and a zip without its ending is not re-packed.
        {.name = "TargetPastThePathLimit",
         .act = Act::convert,
         .arrange = [](Scene& s) { sampleUnderLongName(s, 258, ""); },
         .texts = kTextsPastTheLimit},
        // The target fits, its first volume (".001") would not.
        {.name = "FirstVolumePastThePathLimit",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.div100MB = true;
                 sampleUnderLongName(s, 257, ".zip");
                 const std::string name = test::utf8(fs::path(s.dropped[0]).filename().native());
                 if (kConvertedPastTheLimit)
                     s.outputs = {name.substr(0, name.size() - 4) + ".7z.001"};
             },
         .converted = kConvertedPastTheLimit,
         .texts = kTextsPastTheLimit},
    };
#ifndef _WIN32  // the Windows walk holds no handle; Wine makes each of 1,101 folders slowly
    // 1,100 folders deep, each of one letter: no descriptor is held a folder, so the limit of
    // 1,024 open files many desktops set does not stop the walk.
    rows.push_back({.name = "ZipOfElevenHundredNestedFolders",
                    .act = Act::convert,
                    .arrange =
                        [](Scene& s) {
                            s.options.deleteProcessed = true;
                            std::string why;
                            s.need(fewDescriptors(1024, why), why);
                            s.write("nested.zip", zipBytes({{nestedPath(), "deep"}}));
                            s.dropped = {s.file("nested.zip")};
                        },
                    .converted = 1,
                    .texts = {kProcessing},
                    .report = {"nested.zip: converted"},
                    .outputs = {"nested.7z"},
                    .trashed = {"nested.zip"},
                    .check =
                        [](Scene& s) {
                            // The file alone, without its folders: 7-Zip makes each folder of
                            // 1,101 entries again from the top.
                            test::ScratchFolder out;
                            const auto run = test::runArchiver({POMU_T("e"), s.file("nested.7z"),
                                                                POMU_T("-o") + out.folder(),
                                                                POMU_T("-r"), POMU_T("deep.txt")});
                            EXPECT_TRUE(run.exitCode && *run.exitCode == 0);
                            EXPECT_EQ(test::readFile(out.path() / "deep.txt"), "deep");
                        }});
#endif
    // A name of 100 Japanese characters is 300 bytes in UTF-8, past the 255 a Linux disk
    // takes; Windows counts 104 characters of its 255.
    const std::string longName = [] {
        std::string name;
        for (int i = 0; i < 100; ++i) name += "名";
        return name + ".txt";
    }();
    rows.push_back(
        {.name = "TarWithANameTooLongForTheDisk",
         .act = Act::convert,
         .arrange =
             [longName](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("long.tar", tarBytes({{longName, "x"}}, 1'700'000'000));
                 s.dropped = {s.file("long.tar")};
             },
#ifdef _WIN32
         // Under Wine the name is kept as 300 bytes of UTF-8 on the Linux disk, which
         // takes none past 255: 7-Zip unpacks it under another name.
         .converted = 1,
         .texts = {kProcessing},
         .report = {"long.tar: converted, source kept: name changed by 7-Zip: " + longName},
         .outputs = {"long.7z"}});
#else
         .texts = {kProcessing},
         .report = {"long.tar: a name inside is too long for this disk: " + longName}});
#endif
#ifdef _WIN32
    // Windows cannot hold "a:b.txt": 7-Zip unpacks it as "a_b.txt", so the source stays.
    rows.push_back({.name = "NameWindowsCannotHold",
                    .act = Act::convert,
                    .arrange =
                        [](Scene& s) {
                            s.options.deleteProcessed = true;
                            s.write("colon.zip", zipBytes({{"a:b.txt", "colon"}}));
                            s.dropped = {s.file("colon.zip")};
                        },
                    .converted = 1,
                    .texts = {kProcessing},
                    .report = {"colon.zip: converted, source kept: name changed by 7-Zip: a:b.txt"},
                    .outputs = {"colon.7z"}});
#endif
#ifndef _WIN32
    // The archiver would read the name as a pattern and unpack ab.zip too: refused.
    for (const char* name : {"a*.zip", "a?.zip"}) {
        rows.push_back(
            {.name = name[1] == '*' ? "StarInName" : "QuestionMarkInName",
             .act = Act::convert,
             .arrange =
                 [name](Scene& s) {
                     s.options.deleteProcessed = true;
                     s.archive("ab.zip", sampleFiles(), {POMU_T("-tzip")});
                     s.dropped = {s.archive(name, {{"own.txt", "own"}}, {POMU_T("-tzip")})};
                 },
             .report = {std::string(name) + ": its name cannot be passed to 7-Zip as it is"}});
    }
    rows.push_back(named("DoubleQuotesInName", "say \"cheese\".zip", "say \"cheese\".7z"));
    rows.push_back(named("NewlineInName", "two\nlines.zip", "two\nlines.7z"));
    rows.push_back(named("NameThatIsNotUtf8", "bad\xFF\xFE name.zip", "bad\xFF\xFE name.7z"));
#endif
    return rows;
}

}  // namespace pomu::faults

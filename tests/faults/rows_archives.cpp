// Fault rows about the archive itself: damaged, encrypted, split, hostile and huge ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "convert/archiver.h"
#include "convert/zip_comment.h"
#include "faults/fault_rows.h"
#include "faults/restrictions.h"
#include "faults/zip_writer.h"
#include "support/environment.h"

namespace pomu::faults {
namespace {

const std::string kOutsideText = "outside the workspace";
// The Windows archiver lists names with its own separator.
#ifdef _WIN32
const std::string kListedEvil = "..\\evil.txt";
#else
const std::string kListedEvil = "../evil.txt";
#endif
// On Windows a name 7-Zip had to escape keeps its source; on Linux it unpacks as it was.
const std::string kNotUtf8Words = archiver::kEscapesNames
                                      ? "converted, source kept: caf?.txt could not keep its name "
                                        "on Windows"
                                      : "converted";
const Files kLzhFiles{{"a.txt", "alpha"}, {"sub/b.bin", test::noise(3000)}};

// Names 7-Zip for Windows unpacks with '_' for a character below U+0020. Every listing shows a
// line break as '_' too, on either system; Linux unpacks it as it is.
struct ControlName {
    const char* row;
    std::string name;
    std::string words;
    bool stays;
};
const ControlName kControlNames[] = {
#ifdef _WIN32
    {"TarNameWithALineBreak", "two\nlines.txt",
     "converted, source kept: two_lines.txt could not keep its name on Windows", true},
    {"TarNameWithAControlCharacter", "bell\x01.txt",
     "converted, source kept: name changed by 7-Zip: bell\x01.txt", true},
#else
    {"TarNameWithALineBreak", "two\nlines.txt",
     "converted, source kept: name changed by 7-Zip: two_lines.txt", true},
    {"TarNameWithAControlCharacter", "bell\x01.txt", "converted", false},
#endif
};

// ComicBookInfo's JSON, then returns, a blank line and a brace line, as the bytes must stay.
const std::string kComicComment =
    "{\"ComicBookInfo/1.0\": {\"title\": \"\xC3\x91"
    "and\xC3\xBA\"}}\r\n\r\n{\r\nlast line\r\n";

// Flips 64 bytes in the middle of the file's stream.
void damage(Scene& s, const std::string& name) {
    std::string bytes = s.read(name).value_or("");
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64 && i < bytes.size(); ++i) {
        bytes[i] = char(~bytes[i]);
    }
    s.write(name, bytes);
}

}  // namespace

bool rarFixture(Scene& s, const std::string& fixture, const std::string& name) {
    const fs::path folder = test::rarFixtures();
    if (folder.empty()) {
        s.skip = "no RAR fixtures: rar was not found when the build was configured";
        return false;
    }
    std::error_code error;
    fs::copy_file(folder / fixture, s.files / test::native(name), error);
    EXPECT_FALSE(error) << fixture << ": " << error.message();
    return !error;
}

namespace {

// The four-volume RAR5 set made by rar, copied in under the names: '#' stands for the number.
bool rarSet(Scene& s, const std::string& names) {
    for (int k = 1; k <= 4; ++k) {
        std::string name = names;
        name.replace(name.find('#'), 1, std::to_string(k));
        if (!rarFixture(s, "movie.part" + std::to_string(k) + ".rar", name)) return false;
    }
    const auto bytes = test::readFile(test::rarFixtures() / "content" / "movie.bin");
    s.content = {{"movie.bin", bytes.value_or("<unreadable>")}};
    return true;
}

// A recorded archive from tests/fixtures/archives, copied into files/ under its own name.
// Copies tests/fixtures/archives/<fixture> into the scene as <name> (default: the same name).
bool copyFixture(Scene& s, const std::string& fixture, std::string name = {}) {
    if (name.empty()) name = fixture;
    const char* source = std::getenv("POMU_SOURCE_DIR");
    const auto bytes = source ? test::readFile(fs::path(test::hostPath(source)) / "tests" /
                                               "fixtures" / "archives" / fixture)
                              : std::nullopt;
    if (!bytes) {
        s.skip = "tests/fixtures/archives/" + fixture + " not found (POMU_SOURCE_DIR)";
        return false;
    }
    s.write(name, *bytes);
    return true;
}

std::string genericPath(const fs::path& path) {
    std::string text = test::utf8(path.native());
    for (char& c : text) c = c == '\\' ? '/' : c;
    return text;
}

// Files of the archive made of `count` tiny files in folders of a hundred.
Files tinyFiles(int count) {
    Files files;
    for (int i = 0; i < count; ++i) {
        files.emplace_back("d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".txt",
                           std::to_string(i));
    }
    return files;
}

// A row that drops an archive written by hand: converted, its report's words after the file's
// name; the source leaves unless `stays`.
Row handMade(const char* row, const std::string& file, const std::string& bytes,
             const std::string& words, bool stays = false, const Files& content = {}) {
    return {.name = row,
            .act = Act::convert,
            .arrange =
                [file, bytes, content](Scene& s) {
                    s.options.deleteProcessed = true;
                    s.content = content;
                    s.write(file, bytes);
                    s.dropped = {s.file(file)};
                },
            .converted = 1,
            .texts = {kProcessing},
            .report = {file + ": " + words},
            .outputs = {file.substr(0, file.rfind('.')) + ".7z"},
            .trashed = stays ? std::vector<std::string>{} : std::vector<std::string>{file}};
}

}  // namespace

const Files& sampleFiles() {
    static const Files files{
        {"a.txt", "alpha"}, {"sub/b.bin", test::noise(5000)}, {".hidden", "h"}};
    return files;
}

std::vector<Row> archiveRows() {
    std::vector<Row> rows{
        {.name = "CorruptSevenZip",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("corrupt.7z", {{"data.bin", test::noise(300'000)}},
                                        {POMU_T("-t7z"), POMU_T("-mx=0")})};
                 damage(s, "corrupt.7z");
             },
         .texts = {kProcessing},
         .report = {"corrupt.7z: damaged archive (7-Zip exit code 2)"}},
        {.name = "TruncatedSevenZip",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("cut.7z", {{"data.bin", test::noise(300'000)}},
                                        {POMU_T("-t7z"), POMU_T("-mx=1")})};
                 s.write("cut.7z", s.read("cut.7z").value().substr(0, 200'000));
             },
         .texts = {kProcessing}},
        {.name = "NotAnArchive",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("notes.rar", "plain text that only looks like an archive by its name\n");
                 s.dropped = {s.file("notes.rar")};
             },
         .texts = {kProcessing},
         .report = {"notes.rar: damaged archive (7-Zip exit code 2)"}},
        {.name = "ZeroByteFile",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("zero.rar", "");
                 s.dropped = {s.file("zero.rar")};
             },
         .texts = {kProcessing}},
        {.name = "FolderDroppedAsFile",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 fs::create_directories(s.files / "album.zip" / "inner");
                 test::writeFile(s.files / "album.zip" / "inner" / "photo.jpg", "jpeg bytes");
                 s.dropped = {s.file("album.zip")};
             },
         .texts = {kProcessing},
         .report = {"album.zip: folder, not an archive"}},
        // A password question nobody can answer must end at once, never wait. Until the
        // source's listing is read, the record only knows how the unanswered question ended.
        {.name = "SevenZipWithEncryptedHeaders",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("sealed.7z", sampleFiles(),
                                        {POMU_T("-t7z"), POMU_T("-pSECRET"), POMU_T("-mhe=on")})};
             },
         .texts = {kProcessing},
         .report = {"sealed.7z: needs a password"},
         .seconds = 20},
        {.name = "SevenZipWithEncryptedDataOnly",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("hidden.7z", sampleFiles(),
                                        {POMU_T("-t7z"), POMU_T("-pSECRET"), POMU_T("-mhe=off")})};
             },
         .texts = {kProcessing},
         .report = {"hidden.7z: needs a password"},
         .seconds = 20},
        {.name = "ZipWithEncryptedEntries",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.dropped = {
                     s.archive("locked.zip", sampleFiles(), {POMU_T("-tzip"), POMU_T("-pSECRET")})};
             },
         .texts = {kProcessing},
         .report = {"locked.zip: needs a password"},
         .seconds = 20},
        // A link out and a file written through it; an absolute link.
        {.name = "ZipWithLinksOutOfTheWorkspace",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("links.zip", zipBytes({{"up", "../../outside", 0120777},
                                                {"up/planted.txt", "written through the link"},
                                                {"abs", genericPath(s.outside), 0120777},
                                                {"ok.txt", "ok"}}));
                 s.dropped = {s.file("links.zip")};
             },
         .texts = {kProcessing}},
        // The archiver cleans the names; all four files arrive, none beside the workspace, and
        // the source stays: its names are not the new archive's.
        {.name = "ZipWithParentAndAbsoluteNames",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("escape.zip",
                         zipBytes({{"../evil.txt", "evil"},
                                   {"sub/../../evil2.txt", "evil2"},
                                   {genericPath(s.outside / "abs-evil.txt"), "absolute"},
                                   {"ok.txt", "ok"}}));
                 s.dropped = {s.file("escape.zip")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"escape.zip: converted, source kept: name changed by 7-Zip: " + kListedEvil},
         .outputs = {"escape.7z"},
         .check =
             [](Scene& s) {
                 std::multiset<std::string> bytes;
                 for (const auto& [name, print] : unpacked(s.file("escape.7z"))) {
                     bytes.insert(print);
                     EXPECT_EQ(("/" + name + "/").find("/../"), std::string::npos) << name;
                 }
                 std::multiset<std::string> wanted;
                 for (const char* text : {"evil", "evil2", "absolute", "ok"}) {
                     wanted.insert(test::fingerprint(text));
                 }
                 EXPECT_EQ(bytes, wanted);
             }},
        // Not a plain archive: a document is a zip by type, not by its name.
        {.name = "DocumentThatIsAZip",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("report.docx", sampleFiles(), {POMU_T("-tzip")})};
             },
         .texts = {kProcessing},
         .report = {"report.docx: not an archive pomu re-packs: 7-Zip reads it as zip"}},
        // The comment's lines "}" and "Volumes = 3" once sent the unrelated parts 2 and 3 away.
        {.name = "ZipNamedAsRarSetWithForgedComment",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("x.part1.rar", zipBytes({{"a.txt", "alpha"}}, "}\nVolumes = 3\n}"));
                 s.write("x.part2.rar", "unrelated two");
                 s.write("x.part3.rar", "unrelated three");
                 s.dropped = {s.file("x.part1.rar")};
             },
         .texts = {kProcessing},
         .report = {"x.part1.rar: not an archive pomu re-packs: 7-Zip reads it as zip"}},
        // A "}" line in the comment: it converts, but where the comment ends is not certain.
        {.name = "ZipWithBraceLineInComment",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = {{"a.txt", "alpha"}};
                 s.write("notes.zip", zipBytes({{"a.txt", "alpha"}}, "note\n}\nPath = x\n{"));
                 s.dropped = {s.file("notes.zip")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"notes.zip: converted, source kept: its comment cannot be told apart from "
                    "7-Zip's listing"},
         .outputs = {"notes.7z"}},
        // A comic book of folders and ComicInfo.xml, dropped in ZIP mode: the same tree in a
        // .cbz, with the RAR's comment as 7-Zip lists it.
        {.name = "ComicBookRarDroppedForACbz",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 if (rarFixture(s, "comic.cbr", "comic.cbr")) s.dropped = {s.file("comic.cbr")};
             },
         .converted = 1,
         .texts = {kProcessing, "1 zip complete!"},
         .report = {"comic.cbr: converted"},
         .outputs = {"comic.cbz"},
         .trashed = {"comic.cbr"},
         .check =
             [](Scene& s) {
                 EXPECT_EQ(unpacked(s.file("comic.cbz")),
                           test::fingerprints(test::treeContents(test::rarFixtures() / "comic")));
                 EXPECT_EQ(zipComment(s.file("comic.cbz")),
                           "{\"ComicBookInfo/1.0\": {\"series\": \"Pomu\"}}\n\nlast {");
             }},
        // A zip under a comic ending, split: its comment, byte for byte, ends the last volume.
        {.name = "ZipCommentIntoSplitCbz",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.div100MB = true;
                 s.options.deleteProcessed = true;
                 s.content = {{"a.txt", "alpha"}};
                 s.write("labelled.cbr", zipBytes({{"a.txt", "alpha"}}, kComicComment));
                 s.dropped = {s.file("labelled.cbr")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"labelled.cbr: converted"},
         .outputs = {"labelled.cbz.001"},
         .trashed = {"labelled.cbr"},
         .check =
             [](Scene& s) { EXPECT_EQ(zipComment(s.file("labelled.cbz.001")), kComicComment); }},
        // What a 7z cannot hold keeps the source: a comment, a file's comment, a RAR 4 comment
        // that 7-Zip does not even list, a zip comment 7-Zip lists as none (a NUL first).
        {.name = "CommentsTheNewArchiveCannotHold",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("noted.zip", zipBytes({{"a.txt", "alpha"}}, kComicComment));
                 s.write("filed.zip", zipBytes({{"a.txt", "alpha", 0100644, 0, "its own"}}));
                 s.write("old.cbr", rarFourBytes({{"a.txt", "alpha"}}, "an old comment"));
                 s.write("hidden.zip",
                         zipBytes({{"a.txt", "alpha"}}, std::string("\0NUL first", 10)));
                 s.dropped = {s.file("noted.zip"), s.file("filed.zip"), s.file("old.cbr"),
                              s.file("hidden.zip")};
             },
         .converted = 4,
         .texts = {kProcessing + kBreak + "(1/4)", kProcessing + kBreak + "(2/4)",
                   kProcessing + kBreak + "(3/4)", kProcessing + kBreak + "(4/4)",
                   "4 7z complete!"},
         .report = {"noted.zip: converted, source kept: its comment has no place in a 7z archive "
                    "(ZIP keeps it)",
                    "filed.zip: converted, source kept: a.txt's file comment cannot be carried",
                    "old.cbr: converted, source kept: its comment cannot be read with 7-Zip",
                    "hidden.zip: converted, source kept: its comment cannot be read with 7-Zip"},
         .outputs = {"noted.7z", "filed.7z", "old.cb7", "hidden.7z"}},
        // Every comic ending in ZIP mode: a .cbz already a zip is skipped, one that is not is
        // never converted onto itself, a tar or a 7z comic becomes a .cbz.
        {.name = "ComicsOfEveryEndingInZipMode",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteAlready = true;
                 s.options.deleteProcessed = true;
                 s.archive("real.cbz", sampleFiles(), {POMU_T("-tzip")});
                 s.write("fake.cbz", rarFourBytes({{"a.txt", "alpha"}}));
                 s.archive("tar.cbt", sampleFiles(), {POMU_T("-ttar")});
                 s.archive("seven.cb7", sampleFiles(), {POMU_T("-t7z")});
                 for (const char* name : {"real.cbz", "fake.cbz", "tar.cbt", "seven.cb7"}) {
                     s.dropped.push_back(s.file(name));
                 }
             },
         .converted = 2,
         .texts = {kProcessing + kBreak + "(3/4)", kProcessing + kBreak + "(4/4)",
                   "2 zip complete!"},
         .report = {"real.cbz: skipped, already a .cbz file",
                    "fake.cbz: 7-Zip reads it as Rar: the new archive would take its own name",
                    "tar.cbt: converted", "seven.cb7: converted"},
         .outputs = {"tar.cbz", "seven.cbz"},
         .trashed = {"tar.cbt", "seven.cb7"}},
        // Made on FAT with the folder attribute and no '/': 7-Zip makes an empty folder.
        {.name = "ZipFolderEntryHoldingData",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("fat.zip",
                         zipBytes({{"a.txt", "alpha"}, {"data", "hidden in a folder", 0, 0x10}}));
                 s.dropped = {s.file("fat.zip")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"fat.zip: converted, source kept: the folder data holds data"},
         .outputs = {"fat.7z"}},
        // Shift-JIS bytes without the UTF-8 mark: 7-Zip guesses the code page.
        {.name = "ZipNameWithoutUtf8Mark",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("sjis.zip", zipBytes({{"\x93\xfa\x96\x7b.txt", "nihon"}}));
                 s.dropped = {s.file("sjis.zip")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"sjis.7z"}},
        // LZH lists CRC-16s: the extraction checks them, and the source leaves like any other.
        handMade("LzhArchive", "old.lzh", lzhBytes(kLzhFiles), "converted", false, kLzhFiles),
        // LZH lists its folders with a CRC field of 0: they hold nothing, and the source leaves.
        handMade("LzhArchiveWithAFolder", "tree.lzh",
                 lzhBytes({kLzhFiles[0], {"sub/", ""}, kLzhFiles[1]}), "converted", false,
                 kLzhFiles),
        // Made on Unix, an LZH keeps a link as a folder "name|target": 7-Zip unpacks a folder.
        handMade("LzhLinkKeptAsAFolder", "links.lzh",
                 lzhBytes({{"a.txt", "alpha"}, {"ln|a.txt/", ""}}),
                 "converted, source kept: ln is a link 7-Zip cannot re-pack as a link", true),
        // A byte that is not UTF-8: 7-Zip on Windows unpacks it as U+EFE9, on Linux as itself.
        handMade("TarNameThatIsNotUtf8", "bytes.tar",
                 tarBytes({{"caf\xE9.txt", "menu"}}, 1'700'000'000), kNotUtf8Words,
                 archiver::kEscapesNames),
        // rar -oi stores the second of two equal files as a copy of the first, listing CRC 0.
        {.name = "RarFiveFileCopy",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (copyFixture(s, "file-copy.rar")) s.dropped = {s.file("file-copy.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"file-copy.rar: converted"},
         .outputs = {"file-copy.7z"},
         .trashed = {"file-copy.rar"}},
        // An NTFS stream (rar -os): listed only with -sns; unpacked into its file's stream, which
        // "a" leaves out (on Linux and under Wine, into a file of its own).
        {.name = "RarFiveAlternateStream",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("streams.rar", rarFiveWithStreamBytes("a.txt", "alpha", "ads", "hidden"));
                 s.dropped = {s.file("streams.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"streams.rar: converted, source kept: a.txt:ads is an alternate data stream"},
         .outputs = {"streams.7z"}},
        // pigz and bgzip write several members; the listing gives the last member's size.
        {.name = "GzipOfTwoMembers",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.archive("one.gz", {{"data.txt", "first part\n"}}, {POMU_T("-tgzip")});
                 s.archive("two.gz", {{"data.txt", "second part, longer\n"}}, {POMU_T("-tgzip")});
                 s.write("data.txt.gz",
                         s.read("one.gz").value_or("") + s.read("two.gz").value_or(""));
                 fs::remove(s.files / "one.gz");
                 fs::remove(s.files / "two.gz");
                 s.dropped = {s.file("data.txt.gz")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"data.txt.gz: converted"},
         .outputs = {"data.txt.7z"},
         .trashed = {"data.txt.gz"},
         .check =
             [](Scene& s) {
                 const Files files = unpacked(s.file("data.txt.7z"));
                 ASSERT_EQ(files.size(), 1u);
                 EXPECT_EQ(files[0].second, test::fingerprint("first part\nsecond part, longer\n"));
             }},
        {.name = "TenThousandTinyFiles",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = tinyFiles(10'000);
                 s.dropped = {s.archive("many.zip", s.content, {POMU_T("-tzip"), POMU_T("-mx=1")})};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"many.7z"},
         .trashed = {"many.zip"},
         .seconds = 600},
        // 7-Zip unpacks GNU tar's PAX sparse files as their raw map, ending with 0.
        {.name = "SparsePaxTar",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (copyFixture(s, "sparse-pax.tar")) s.dropped = {s.file("sparse-pax.tar")};
             },
         .texts = {kProcessing}},
        // The archiver drops what follows the archive with a warning, ending with 0.
        {.name = "ZipWithDataAppended",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("tail.zip", sampleFiles(), {POMU_T("-tzip")})};
                 s.write("tail.zip", s.read("tail.zip").value_or("") + test::noise(100, 9));
             },
         .texts = {kProcessing}},
        // The fourth volume belongs to another set of the same name: the archiver never opens it.
        {.name = "RarSetBesideAStalePartOfAnotherSet",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 for (int k = 1; k <= 4; ++k) {
                     const std::string number = std::to_string(k);
                     if (!copyFixture(s, "reel-volume" + number + ".rar",
                                      "reel.part" + number + ".rar"))
                         return;
                 }
                 s.dropped = {s.file("reel.part1.rar")};
                 test::ScratchFolder out;
                 EXPECT_TRUE(test::extractArchive(s.dropped[0], out.folder()));
                 s.content = test::treeContents(out.path());
                 EXPECT_EQ(s.content.size(), 1u);
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"reel.7z"},
         .trashed = {"reel.part1.rar", "reel.part2.rar", "reel.part3.rar"}},
        {.name = "SingleFileOverFourGiB",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 const char* longTests = std::getenv("POMU_LONG_TESTS");
                 if (!longTests || std::string(longTests) != "1") {
                     s.skip = "only with POMU_LONG_TESTS=1 (scripts/test --long)";
                     return;
                 }
                 test::ScratchFolder content;
                 test::writeFile(content.path() / "zeros.bin", "");
                 fs::resize_file(content.path() / "zeros.bin", (std::uint64_t(1) << 32) + 4096);
                 const auto run = test::runArchiver({POMU_T("a"), s.file("huge.7z"),
                                                     content.folder() + POMU_T("*"), POMU_T("-t7z"),
                                                     POMU_T("-mx=1")});
                 EXPECT_TRUE(run.exitCode && *run.exitCode == 0);
                 s.options.zip = true;
                 s.dropped = {s.file("huge.7z")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"huge.zip"},
         .check =
             [](Scene& s) {
                 test::ScratchFolder out;
                 ASSERT_TRUE(test::extractArchive(s.file("huge.zip"), out.folder()));
                 EXPECT_EQ(fs::file_size(out.path() / "zeros.bin"),
                           (std::uint64_t(1) << 32) + 4096);
             },
         .seconds = 1800},
    };
    std::vector<Row> rarRows{
        {.name = "RarFourSource",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = sampleFiles();
                 s.write("old.rar", rarFourBytes(s.content));
                 s.dropped = {s.file("old.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"old.rar: converted"},
         .outputs = {"old.7z"},
         .trashed = {"old.rar"}},
        {.name = "RarFiveSource",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarFixture(s, "single.rar", "new.rar")) return;
                 s.content = test::treeContents(test::rarFixtures() / "tree");
                 s.dropped = {s.file("new.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"new.rar: converted"},
         .outputs = {"new.7z"},
         .trashed = {"new.rar"}},
        // Debian's p7zip-full without p7zip-rar: it lists a RAR archive and unpacks stored data,
        // but cannot decompress.
        {.name = "RarWithAnArchiverThatLacksTheRarCodec",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
#ifdef _WIN32
                 s.skip = "the official 7-Zip always reads RAR";
#else
                 if (!rarFixture(s, "packed.rar", "packed.rar")) return;
                 if (!rarFixture(s, "single.rar", "stored.rar")) return;
                 const fs::path archiver = s.outside / "7-Zip without RAR";
                 fs::create_directories(archiver);
                 for (const NativeView file : {archiver::kProgramName, archiver::kLibraryName}) {
                     fs::copy_file(fs::path(test::archiverFolder()) / file, archiver / file);
                 }
                 s.options.sevenZipFolder = archiver.native() + "/";
                 fs::create_directory(s.files / "album.rar");
                 s.dropped = {s.file("packed.rar"), s.file("album.rar"), s.file("stored.rar")};
#endif
             },
         .converted = 1,
         .texts = {kProcessing + kBreak + "(1/3)", kProcessing + kBreak + "(2/3)",
                   kProcessing + kBreak + "(3/3)", "1 7z complete!"},
         .report = {"packed.rar: this 7-Zip cannot read RAR (install 7zip-rar or p7zip-rar)",
                    "album.rar: folder, not an archive", "stored.rar: converted"},
         .outputs = {"stored.7z"}},
        {.name = "RarWithEncryptedHeaders",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarFixture(s, "sealed.rar", "sealed.rar")) return;
                 s.dropped = {s.file("sealed.rar")};
             },
         .texts = {kProcessing},
         .report = {"sealed.rar: needs a password"},
         .seconds = 20},
        {.name = "RarWithEncryptedDataOnly",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarFixture(s, "locked.rar", "locked.rar")) return;
                 s.dropped = {s.file("locked.rar")};
             },
         .texts = {kProcessing},
         .report = {"locked.rar: needs a password"},
         .seconds = 20},
        {.name = "RarSetWithMissingMiddleVolume",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "film.part#.rar")) return;
                 fs::rename(s.files / "film.part2.rar", s.outside / "film.part2.rar");
                 s.dropped = {s.file("film.part1.rar")};
             },
         .texts = {kProcessing},
         .report = {"film.part1.rar: volume 2 of the set is missing"}},
        {.name = "RarSetWithDamagedLastVolume",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "reel.part#.rar")) return;
                 damage(s, "reel.part4.rar");
                 s.dropped = {s.file("reel.part1.rar")};
             },
         .texts = {kProcessing}},
        // Upper-case parts are found as members: the whole set goes, and only after success.
        {.name = "RarSetInUpperCase",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "SHOW.PART#.RAR")) return;
                 s.dropped = {s.file("SHOW.PART1.RAR")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"SHOW.7z"},
         .trashed = {"SHOW.PART1.RAR", "SHOW.PART2.RAR", "SHOW.PART3.RAR", "SHOW.PART4.RAR"}},
        // ".part01.rar" keeps its own target name, and its set moves whole, as ".part1.rar"'s.
        {.name = "RarSetNamedPart01",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "clip.part0#.rar")) return;
                 s.dropped = {s.file("clip.part01.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"clip.part01.7z"},
         .trashed = {"clip.part01.rar", "clip.part02.rar", "clip.part03.rar", "clip.part04.rar"}},
        // A whole set selected and dropped: the later volumes go with the first.
        {.name = "RarSetDroppedWhole",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "saga.part#.rar")) return;
                 for (const char* k : {"2", "1", "3", "4"}) {
                     s.dropped.push_back(s.file(std::string("saga.part") + k + ".rar"));
                 }
             },
         .converted = 1,
         .texts = {kProcessing + kBreak + "(2/4)", "1 7z complete!"},
         .report = {"saga.part2.rar: skipped, a volume of saga.part1.rar",
                    "saga.part1.rar: converted",
                    "saga.part3.rar: skipped, a volume of saga.part1.rar",
                    "saga.part4.rar: skipped, a volume of saga.part1.rar"},
         .outputs = {"saga.7z"},
         .trashed = {"saga.part1.rar", "saga.part2.rar", "saga.part3.rar", "saga.part4.rar"}},
        // ZIP chosen while the archiver is asked whether it reads RAR, before the first file:
        // the whole file, and the batch's memory of what it made, follow that choice.
        {.name = "RarWithZipChosenWhileTheArchiverIsAsked",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 s.options.deleteAlready = true;
                 if (!rarFixture(s, "single.rar", "same.rar")) return;
                 s.archive("same.tar", {{"other.txt", "other"}}, {POMU_T("-ttar")});
                 s.dropped = {s.file("same.rar"), s.file("same.tar")};
                 s.duringRun = [](Scene& s) {
                     if (s.hookActed) return;
                     s.hookReached = s.hookActed = true;
                     s.options.zip = true;
                 };
             },
         .converted = 1,
         .texts = {kProcessing + kBreak + "(1/2)", kExists, "1 zip complete!"},
         .report = {"same.rar: converted",
                    "same.tar: already exists: same.zip (made from same.rar in this batch)"},
         .outputs = {"same.zip"}},
        {.name = "RarLaterVolumeWithoutItsFirst",
         .act = Act::batch,
         .arrange =
             [](Scene& s) {
                 if (!rarSet(s, "half.part#.rar")) return;
                 fs::rename(s.files / "half.part1.rar", s.outside / "half.part1.rar");
                 s.dropped = {s.file("half.part2.rar")};
             },
         .texts = {"0 7z complete!"},
         .report = {"half.part2.rar: the first volume (half.part1.rar) is missing"}},
    };
    for (Row& row : rarRows) rows.push_back(std::move(row));
    // ext4 ends its dates in 2446, so the file comes out with another date: in whole seconds
    // (2603-10-11) and in nanoseconds, as GNU tar's pax records give every file's time
    // (2500-01-01 00:00:00.123456789).
    for (const auto& [name, seconds, fraction] :
         {std::tuple("TarDatedBeyondTheDisk", std::int64_t(20'000'000'000), ""),
          std::tuple("PaxTarDatedInNanosecondsBeyondTheDisk", std::int64_t(16'725'225'600),
                     "123456789")}) {
        rows.push_back(
            {.name = name,
             .act = Act::convert,
             .arrange =
                 [seconds, fraction](Scene& s) {
                     s.options.deleteProcessed = true;
                     if (keepsDate(fs::path(s.tempFolder), seconds)) {
                         s.skip = "the temp folder's file system keeps dates past 2446";
                         return;
                     }
                     s.write("future.tar", tarBytes({{"future.txt", "later"}}, seconds, fraction));
                     s.dropped = {s.file("future.tar")};
                 },
             .converted = 1,
             .texts = {kProcessing},
             .report = {"future.tar: converted, source kept: future.txt's date could not be kept"},
             .outputs = {"future.7z"}});
    }
    for (const ControlName& control : kControlNames) {
        rows.push_back(
            handMade(control.row, "ctl.tar",
                     tarBytes({{control.name, "x"}, {"plain_name.txt", "y"}}, 1'700'000'000),
                     control.words, control.stays));
    }
    // A link beside its target is kept exactly on Linux, so the source leaves. On Windows 7-Zip
    // makes a link only with the right to (Wine has none), and "a" would follow it.
    Row relativeLink{
        .name = "ZipWithRelativeLink",
        .act = Act::convert,
        .arrange =
            [](Scene& s) {
                s.options.deleteProcessed = true;
                s.write("linked.zip", zipBytes({{"a.txt", "alpha"}, {"l", "a.txt", 0120777}}));
                s.dropped = {s.file("linked.zip")};
            },
        .texts = {kProcessing},
        .report = {"linked.zip: damaged archive (7-Zip exit code 2)"}};
#ifndef _WIN32
    relativeLink.converted = 1;
    relativeLink.report = {"linked.zip: converted"};
    relativeLink.outputs = {"linked.7z"};
    relativeLink.trashed = {"linked.zip"};
#endif
    rows.push_back(std::move(relativeLink));
#ifndef _WIN32
    std::vector<Row> linuxRows{
        // Another set's first volume differs only in case: the archiver never opened it.
        {.name = "RarSetBesideItsNameInLowerCase",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "cut.part#.RAR")) return;
                 s.write("cut.part1.rar", "the first volume of another set");
                 s.dropped = {s.file("cut.part1.RAR")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"cut.7z"},
         .trashed = {"cut.part1.RAR", "cut.part2.RAR", "cut.part3.RAR", "cut.part4.RAR"}},
        // A fifo unpacks as an empty file: converted, the source stays.
        {.name = "TarHoldingAFifo",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 test::ScratchFolder content;
                 test::writeFile(content.path() / "a.txt", "alpha");
                 ASSERT_EQ(::mkfifo((content.path() / "pipe").c_str(), 0644), 0);
                 const std::string command = "tar -cf '" + (s.files / "pipe.tar").string() +
                                             "' -C '" + content.path().string() + "' pipe a.txt";
                 ASSERT_EQ(std::system(command.c_str()), 0);
                 s.dropped = {s.file("pipe.tar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"pipe.tar: converted, source kept: pipe is a special file (fifo)"},
         .outputs = {"pipe.7z"}},
        // A program unpacks into its sections; they are not the program.
        {.name = "LinuxProgram",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.write("tool", test::readFile("/bin/true").value_or(""));
                 s.dropped = {s.file("tool")};
             },
         .texts = {kProcessing},
         .report = {"tool: not an archive pomu re-packs: 7-Zip reads it as ELF"}},
        // Made with -snl: the link is stored as a link and points two levels up.
        {.name = "SevenZipHoldingALinkOut",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 test::ScratchFolder content;
                 fs::create_directory_symlink("../../outside", content.path() / "escape");
                 test::writeFile(content.path() / "a.txt", "alpha");
                 const auto run = test::runArchiver({POMU_T("a"), s.file("linked.7z"),
                                                     content.folder() + POMU_T("*"), POMU_T("-t7z"),
                                                     POMU_T("-snl")});
                 EXPECT_TRUE(run.exitCode && *run.exitCode == 0);
                 s.options.zip = true;
                 s.dropped = {s.file("linked.7z")};
             },
         .texts = {kProcessing}},
        // Packed pointing into the working folder that is gone: the source stays.
        {.name = "SevenZipHoldingAnAbsoluteLink",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 test::ScratchFolder content;
                 fs::create_directory_symlink(s.outside, content.path() / "escape");
                 test::writeFile(content.path() / "a.txt", "alpha");
                 const auto run = test::runArchiver({POMU_T("a"), s.file("absolute.7z"),
                                                     content.folder() + POMU_T("*"), POMU_T("-t7z"),
                                                     POMU_T("-snl")});
                 EXPECT_TRUE(run.exitCode && *run.exitCode == 0);
                 s.options.zip = true;
                 s.dropped = {s.file("absolute.7z")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"absolute.zip"},
         .check =
             [](Scene& s) {
                 // Nothing from outside the workspace was packed.
                 for (const auto& [name, print] : unpacked(s.file("absolute.zip"))) {
                     EXPECT_NE(print, test::fingerprint(kOutsideText)) << name;
                 }
             }},
    };
    // The Trash takes the set's other volumes but not one: the source is kept, named.
    linuxRows.push_back(
        {.name = "RarSetWithAVolumeTheTrashRefuses",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 if (!rarSet(s, "stuck.part#.rar")) return;
                 std::string why;
                 s.need(immutableFile(s.files / "stuck.part2.rar", why), why);
                 s.dropped = {s.file("stuck.part1.rar")};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"stuck.part1.rar: converted, source kept: the Trash refused stuck.part2.rar "
                    "(not permitted)"},
         .outputs = {"stuck.7z"},
         .trashed = {"stuck.part1.rar", "stuck.part3.rar", "stuck.part4.rar"}});
    for (Row& row : linuxRows) rows.push_back(std::move(row));
#endif
    return rows;
}

}  // namespace pomu::faults

// The listing parser and the source check on recorded "l -slt" outputs of both archivers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "convert/encryption.h"
#include "convert/listing.h"
#include "convert/proof.h"
#include "convert/rar_support.h"
#include "support/environment.h"
#include "support/test_files.h"

namespace pomu {
namespace {

// Flags, then one word per entry: path, size, CRC and marks, as a reader would check them.
// times: with each entry's modification time and whether it lists a creation time.
std::string summary(const Listing& listing, bool times = false) {
    std::string text = listing.complete ? "complete" : "incomplete";
    if (listing.errors) text += " errors";
    if (listing.warnings) text += " warnings";
    if (listing.unsupported) text += " unsupported";
    if (listing.anyEncrypted()) text += " encrypted";
    if (listing.missingVolume) text += " missing-volume";
    if (listing.volumes) text += " volumes=" + std::to_string(*listing.volumes);
    if (listing.uncertain) text += " uncertain";
    if (listing.nested) text += " nested";
    if (!listing.triedType.empty()) text += " tried=" + listing.triedType;
    if (listing.comment) {
        text += " comment=";
        for (char c : *listing.comment)
            text += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    if (listing.commentUnshown) text += " comment-unshown";
    for (const ListedEntry& entry : listing.entries) {
        text += " | " + normalizedPath(entry.path);
        if (entry.folder) text += "/";
        if (entry.size) text += " " + std::to_string(*entry.size);
        if (entry.crc) {
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08X", *entry.crc);
            text += std::string(" ") + crc;
        }
        if (entry.link) text += " link";
        if (!entry.linkTarget.empty()) text += "->" + std::string(entry.linkTarget);
        if (!entry.special.empty()) text += " " + std::string(entry.special);
        if (!entry.copyOf.empty()) text += " copy-of=" + std::string(entry.copyOf);
        if (entry.anti) text += " anti";
        if (entry.altStream) text += " stream";
        if (entry.encrypted) text += " encrypted";
        if (entry.unsupported) text += " unsupported";
        if (entry.failed) text += " failed";
        if (entry.commented) text += " commented";
        if (entry.otherMethod && listing.entriesType == "zip") text += " other-method";
        if (const auto time = entry.modified(); time && times) {
            text += " @" + std::to_string(time->ticks) + "/" + std::to_string(time->digits);
        }
        if (entry.unreadableTime() && times) text += " @?";
        if (entry.created && times) text += " created";
    }
    return text;
}

// The text as the tool's output arrives: in pieces, here of one byte, so that every line and
// every line break is cut.
Listing readInPieces(std::string_view text) {
    ListingReader reader;
    for (char c : text) reader.read(std::string_view(&c, 1));
    return reader.finish();
}

std::optional<std::string> recorded(const std::string& archiver, const std::string& name) {
    const char* source = std::getenv("POMU_SOURCE_DIR");
    if (!source) return std::nullopt;
    return test::readFile(test::fs::path(test::hostPath(source)) / "tests" / "fixtures" /
                          "listings" / archiver / name);
}

TEST(Listing, RecordedOutputsOfBothArchivers) {
    struct Case {
        std::string file;
        std::string expected;
        ProofFailure sourceCheck;
        std::string type = {};
        std::string onWindows = {};  // the Windows archiver's summary, where it differs
    };
    const std::string sample = " | sub/ 0 | a.txt 6 9F606EEC | sub/b.bin 5000 44C5B60C";
    const Case cases[] = {
        {"plain.7z.txt", "complete" + sample, ProofFailure::none},
        {"appended.zip.txt",
         "complete warnings | a.txt 6 9F606EEC | sub/ 0 | sub/b.bin 5000 44C5B60C",
         ProofFailure::warning},
        {"film-set.txt", "complete volumes=3 | movie.bin 350000 B4FFC7F5", ProofFailure::none},
        // Part 2 is missing: the archiver opened one volume and says which one it missed.
        {"gap-film-set.txt", "complete errors missing-volume volumes=1 | movie.bin 350000 78D78F3E",
         ProofFailure::listingFailed},
        // GNU tar's PAX sparse file: 7-Zip would unpack the raw map, and says so per entry.
        {"sparse.tar.txt",
         "complete | GNUSparseFile.30527/sparse.bin 4608 unsupported commented | small.txt 3 "
         "commented",
         ProofFailure::unsupported},
        // A single stream: no name and no size, the unpacked file will stand in.
        {"stream.txt.bz2.txt", "complete | ", ProofFailure::none},
        {"sealed-data.7z.txt",
         "complete encrypted | sub/ 0 | a.txt 6 9F606EEC encrypted | sub/b.bin 5000 44C5B60C "
         "encrypted",
         ProofFailure::none},
        // The password question comes on the error stream, which the pipe carries too; unanswered,
        // no names follow. Answered on the input, it is no error.
        {"sealed-headers.7z.txt", "incomplete encrypted", ProofFailure::listingFailed},
        {"given-headers.7z.txt",
         "complete encrypted | sub/ 0 | a.txt 6 9F606EEC encrypted | sub/b.bin 5000 D1871CA2 "
         "encrypted",
         ProofFailure::none},
        // A CRC-16 printed as eight digits; the type tells it is no CRC-32.
        {"old.lzh.txt", "complete | a.txt 5 00006B4F | sub/b.bin 300 00004D7D", ProofFailure::none,
         "Lzh"},
        // Two members: the listed size is the last member's.
        {"two-members.gz.txt", "complete | p1 20 D5AC2F9F", ProofFailure::none, "gzip"},
        // The comment's "}" line ends the value early; the rest cannot be placed for certain.
        {"comment.zip.txt", "complete uncertain comment=note\\n | a.txt 5 D0E0396A",
         ProofFailure::none, "zip"},
        // Lines between braces, a blank one among them; a file's comment on one line.
        {"comic.cbr.txt",
         "complete comment={\"ComicBookInfo/1.0\": {\"series\": \"Pomu\"}}\\n\\nlast { | "
         "Chapter 2/001.jpg 2000 45ACF7C4 | ComicInfo.xml 13 9880C249 | Chapter 1/001.jpg 3000 "
         "440E2A8E | Chapter 2/ 0 | Chapter 1/ 0",
         ProofFailure::none, "Rar5"},
        {"file-comment.zip.txt",
         "complete comment=archive comment | a.txt 5 D0E0396A commented | b.txt 4 8F910463",
         ProofFailure::none, "zip"},
        {"fat.zip.txt", "complete | a.txt 5 D0E0396A | data/ 18 AC60581A", ProofFailure::none,
         "zip"},
        // Shift-JIS without the UTF-8 mark: raw bytes on Linux, a guessed code page on Windows.
        {"sjis.zip.txt", "complete | \x93\xFA\x96{.txt 5 A8A52717", ProofFailure::none, "zip",
         "complete | \xEE\xBE\x93\xEE\xBF\xBA\xEE\xBE\x96{.txt 5 A8A52717"},
        {"file-copy.rar.txt", "complete | f1 1492 D6DD8621 | f2 1492 00000000 copy-of=f1",
         ProofFailure::none, "Rar5"},
        {"fifo.tar.txt", "complete | ./ 0 | pipe 0 fifo | a.txt 3", ProofFailure::none, "tar"},
    };
    for (const std::string archiver : {"linux-7z-26.02", "win-7z-26.03"}) {
        for (const Case& c : cases) {
            const std::optional<std::string> text = recorded(archiver, c.file);
            ASSERT_TRUE(text) << archiver << "/" << c.file << " (POMU_SOURCE_DIR unset?)";
            const Listing listing = parseListing(*text);
            const bool windows = archiver.starts_with("win") && !c.onWindows.empty();
            EXPECT_EQ(summary(listing), windows ? c.onWindows : c.expected)
                << archiver << "/" << c.file;
            EXPECT_EQ(summary(readInPieces(*text)), summary(listing)) << archiver << "/" << c.file;
            EXPECT_EQ(checkSource(listing).failure, c.sourceCheck) << archiver << "/" << c.file;
            if (!c.type.empty()) {
                EXPECT_EQ(listing.type, c.type) << archiver << "/" << c.file;
            }
        }
    }
}

// What a source's listing says of its encryption, and whether a new archive's listing shows it
// encrypted enough: every file, and in a 7z the names. A ZIP takes only 7-Zip's passwords.
TEST(Encryption, NewArchiveHidesWhatTheSourceHid) {
    struct Case {
        const char* file;
        Encryption encryption;
        bool enoughForA7z, enoughForAZip;
    };
    const Case cases[] = {
        {"given-headers.7z.txt", Encryption::names, true, true},
        {"sealed-headers.7z.txt", Encryption::names, true, true},
        {"sealed-data.7z.txt", Encryption::data, false, true},
        {"plain.7z.txt", Encryption::none, false, false},
    };
    for (const std::string archiver : {"linux-7z-26.02", "win-7z-26.03"}) {
        for (const Case& c : cases) {
            const Listing listing = parseListing(recorded(archiver, c.file).value_or(""));
            EXPECT_EQ(encryptionOf(listing), c.encryption) << archiver << "/" << c.file;
            EXPECT_EQ(encryptedAsNeeded(listing, true), c.enoughForA7z) << c.file;
            EXPECT_EQ(encryptedAsNeeded(listing, false), c.enoughForAZip) << c.file;
        }
    }
    for (const auto& [password, taken] : {std::pair<std::string, bool>{"SECRET", true},
                                          {"", true},
                                          {std::string(99, '~'), true},
                                          {std::string(100, 'x'), false},
                                          {"p\xC3\xA4sswort", false},
                                          {"tab\tbed", false}}) {
        EXPECT_EQ(zipTakesPassword(password), taken) << password;
    }
}

// The "i" output of each archiver build: does it list a RAR format and the RAR decoders?
TEST(InfoListing, TellsWhetherTheArchiverReadsRar) {
    const std::pair<const char*, bool> cases[] = {
        {"linux-7z-26.02", true},         // p7zip-full with p7zip-rar
        {"linux-7z-26.02-norar", false},  // p7zip-full alone: the format, not the decoders
        {"linux-7zz-26.02", false},       // Debian's 7zip: neither
        {"win-7z-26.03", true},           // the official build
    };
    for (const auto& [archiver, rar] : cases) {
        const std::optional<std::string> text = recorded(archiver, "info.txt");
        ASSERT_TRUE(text) << archiver << "/info.txt (POMU_SOURCE_DIR unset?)";
        EXPECT_EQ(readsRar(*text), std::optional(rar)) << archiver;
    }
    const std::pair<const char*, std::optional<bool>> texts[] = {
        {"", std::nullopt},
        {"Command Line Error:\nUnknown command: i\n", std::nullopt},
        // A file name or a hasher called Rar5 is no codec, and names outside the sections count
        // for nothing.
        {"Rar5 rar\nFormats:\n 0 ...F  7z 7z\nCodecs:\n 0 ED 21 LZMA2\nHashers:\n 4 1 Rar5\n",
         false},
        {"Formats:\n 0 ...F  Rar5  rar r00 R a r\nCodecs:\n 1  D 40305 Rar5\n", true},
        {"Formats:\r\n 0 ...F  Rar  rar r00\r\nCodecs:\r\n 1  D 40303 Rar3\r\n", true},
        {"Formats:\n 0 ...F  Rar5  rar r00\n", false},
        {"Codecs:\n 1  D 40305 Rar5\n", std::nullopt},
    };
    for (const auto& [text, expected] : texts) EXPECT_EQ(readsRar(text), expected) << text;
}

TEST(Listing, TextThatIsNoListingProvesNothing) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", "incomplete"},
        {"\nERROR: x.7z : Can not open the file as archive\n\nErrors: 1\n", "incomplete errors"},
        // Cut off before the entries: nothing may count as listed.
        {"--\nPath = x.zip\nType = zip\n", "incomplete"},
        // A comment between braces is the archive's text, never the archiver's word.
        {"--\nPath = a.rar\nComment = \n{\n----------\nVolumes = 7\n}\nMultivolume = +\nVolumes = "
         "2\n"
         "----------\nPath = f\nSize = 1\n",
         "complete volumes=2 comment=----------\\nVolumes = 7 | f 1"},
        // A comment's "}" line: fields after it may be the comment's, the entries are not.
        {"--\nPath = x.part1.rar\nType = zip\nComment = \n{\n}\nMultivolume = +\nVolumes = 3\n}\n\n"
         "----------\nPath = f\nSize = 1\n",
         "complete volumes=3 uncertain | f 1"},
        {"--\nComment = \n{\nPath = x\n}\n\n----------\nPath = f\nComment = \n{\n\nPath = g\n}\n"
         "Size = 1\n",
         "complete uncertain comment=Path = x\\n | f 1 commented"},
        {"--\nComment = \n{\nno end\n----------\nPath = f\n", "incomplete errors uncertain"},
        // A comment as its text was: a line break that ended it, a return on Linux; the comment
        // of the archive whose entries are listed; one the characteristics name but not show.
        {"--\nComment = \n{\na\n\n}\n----------\n", "complete comment=a\\n\\n"},
        {"\n--\nComment = abc\r\n----------\n", "complete comment=abc\\r"},
        {"\r\n--\r\nComment = abc\r\n----------\r\n", "complete comment=abc"},
        {"--\nType = Split\nComment = outer\n----\nPath = x.zip\n--\nType = zip\nComment = "
         "inner\n----------\n",
         "complete nested comment=inner"},
        {"--\nType = Rar\nCharacteristics = Solid Comment\n----------\n",
         "complete comment-unshown"},
        {"--\nType = zip\n----------\nPath = a\nComment = x_y\nMethod = LZMA:eos\n\nPath = "
         "b\nCommented = +\n"
         "Method = AES-256 Deflate\n\nPath = c\nComment = \nMethod = Store\n",
         "complete | a commented other-method | b commented | c"},
        // Volumes count only for a multi-volume archive's own block.
        {"--\nType = zip\nVolumes = 3\n----------\n", "complete"},
        {"--\nMultivolume = +\nVolumes = 2\nVolumes = 3\n----------\n",
         "complete errors volumes=2"},
        {"--\nType = PE\n----\nPath = x\n--\nType = 7z\n----------\n", "complete nested"},
        {"--\nOpen WARNING: Cannot open the file as [PE] archive\nType = 7z\nOffset = "
         "9\n----------\n",
         "complete tried=PE"},
        {"----------\nPath = p\nSize = 0\nMode = prw-r--r--\n\nPath = c\nAttributes = A "
         "crw-------\n\n"
         "Path = s\nAttributes = A srwxrwxrwx\n\nPath = q\nMode = Drwxrwxrwx\n\nPath = w\n"
         "Attributes = d\n",
         "complete | p 0 fifo | c device | s socket | q unknown | w device"},
        {"----------\nPath = l\nSymbolic Link = /etc\n\nPath = b\nCRC = 00000000\nCopy Link = a\n\n"
         "Path = x\nAnti = +\n\nPath = a:s\nAlternate Stream = +\n",
         "complete | l link->/etc | b 00000000 copy-of=a | x anti | a:s stream"},
        // Only the archiver's own lines say a password is needed, never a name or a comment.
        {"--\nComment = open encrypted archive\n----------\nPath = Enter password.txt\nSize = "
         "1\n\nPath = ERROR: x : Cannot open encrypted archive. Wrong password?\n",
         "complete comment=open encrypted archive | Enter password.txt 1 | ERROR: x : Cannot "
         "open encrypted archive. Wrong password?"},
        {"--\nPath = a = b.7z\n\nERROR: a = b.7z : Cannot open encrypted archive. Wrong "
         "password?\n",
         "incomplete errors encrypted"},
        {"--\nWarning: The archive is open with offset\n----------\nPath = f\nSize = 1\n",
         "complete warnings | f 1"},
        // The open error block after the entries.
        {"----------\nPath = f\nSize = 1\n\n----------\nPath = x\nOpen ERROR: Cannot open the "
         "file as [zip] archive\n",
         "complete errors | f 1"},
        {"----------\nPath = f\nSize = 1\nError = Data error\n", "complete | f 1 failed"},
        {"----------\nPath = f\nSize = 1\nMethod = unsupported\n", "complete | f 1 unsupported"},
        {"----------\nPath = ln\nSize = 4\nAttributes = A lrwxrwxrwx\n", "complete | ln 4 link"},
        {"----------\nPath = z\nSize = 5\nAttributes = V 01800000 0rw-------\n", "complete | z 5"},
        {"----------\nPath = hl\nSize = 0\nHard Link = f\n", "complete | hl 0 link->f"},
        {"----------\nPath = d\nAttributes = RD\n\nWarnings: 1\n", "complete warnings | d/"},
        {"----------\nPath = f\nSize = 99999999999999999999999\nCRC = XYZ\n", "complete | f"},
        // Times as printed, in 100 ns ticks from year 1, with the digits of a second given (tar
        // prints nine); a time that is none is marked unreadable.
        {"----------\nPath = f\nModified = 2024-05-05 10:10:11.1234567\nCreated = 2024-05-05 "
         "10:10:11\n\nPath = g\nModified = 2603-10-11 11:33:20\nCreated = \n\nPath = h\n"
         "Modified = 2024-02-30 00:00:00\n\nPath = i\nModified = 2500-01-01 00:00:00.123456789\n"
         "\nPath = j\nModified = 2024-05-05 10:10:11.12\n\nPath = k\n"
         "Modified = 2024-05-05 10:10:11.\n",
         "complete | f @638505006111234567/7 created | g @821355968000000000/0 | h @? | i "
         "@788608224001234567/7 | j @638505006111200000/2 | k @?"},
        // Longer than the blocks the names are kept in.
        {"----------\nPath = " + std::string(70000, 'n') + "\nSize = 1\n\nPath = g\n",
         "complete | " + std::string(70000, 'n') + " 1 | g"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(summary(parseListing(c.text), true), c.expected) << c.text;
    }
}

}  // namespace
}  // namespace pomu

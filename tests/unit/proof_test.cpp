// The proof's comparison of the source's listing, the unpacked files and the new listing.
#include <gtest/gtest.h>

#include <chrono>

#include "convert/archiver.h"
#include "convert/proof.h"

namespace pomu {
namespace {

// Entries view their texts: the rows give literals.
ListedEntry file(std::string_view path, std::optional<std::uint64_t> size,
                 std::optional<std::uint32_t> crc = std::nullopt) {
    ListedEntry entry;
    entry.path = path;
    entry.size = size;
    entry.crc = crc;
    return entry;
}

ListedEntry folder(std::string_view path) {
    ListedEntry entry = file(path, 0);
    entry.folder = true;
    return entry;
}

ListedEntry link(std::string_view path, std::uint64_t size) {
    ListedEntry entry = file(path, size);
    entry.link = true;
    return entry;
}

ListedEntry marked(ListedEntry entry) {
    entry.unsupported = true;
    return entry;
}

Listing listing(std::vector<ListedEntry> entries) {
    Listing result;
    result.complete = true;
    result.entries.assign(entries.begin(), entries.end());
    return result;
}

Listing flagged(Listing result, bool errors, bool warnings) {
    result.errors = errors;
    result.warnings = warnings;
    return result;
}

const ArchiveType kSevenZip{"7z", ".7z", true, false};
const ArchiveType kGzip{"gzip", ".gz", true, true};
const ArchiveType kLzh{"Lzh", ".lzh", false, false};

UnpackedFile unpackedLink(std::string path, std::string target) {
    const std::uint64_t size = target.size();
    return {std::move(path), size, true, false, std::move(target)};
}

ListedEntry kind(ListedEntry entry, std::string_view special) {
    entry.special = special;
    return entry;
}

ListedEntry pointingTo(ListedEntry entry, std::string_view target) {
    entry.linkTarget = target;
    return entry;
}

ListedEntry holding(ListedEntry entry, std::optional<std::uint32_t> crc) {
    entry.crc = crc;
    return entry;
}

// "?": a date the listing gives but that cannot be read as one.
ListedEntry dated(ListedEntry entry, std::string_view time) {
    const std::optional<ListedTime> listed = listedTime(time);
    EXPECT_TRUE(listed || time == "?") << time;
    entry.modifiedTicks = listed ? listed->ticks : 0;
    entry.modifiedDigits = listed ? std::int8_t(listed->digits) : ListedEntry::kUnreadableTime;
    return entry;
}

Listing typed(Listing result, std::string type) {
    result.type = std::move(type);
    return result;
}

ListedEntry with(ListedEntry entry, bool ListedEntry::*mark) {
    entry.*mark = true;
    return entry;
}

// The archive whose entries are listed is of this type, with this comment.
Listing commented(Listing result, std::string type, std::optional<std::string> comment,
                  bool unshown = false) {
    result.entriesType = type;
    result.comment = std::move(comment);
    result.commentUnshown = unshown;
    return typed(std::move(result), std::move(type));
}

const ArchiveType kZip{"zip", ".zip", true, false, true};
const ArchiveType kRarFive{"Rar5", ".rar", true, false, true};
const ArchiveType kTar{"tar", ".tar", true, false};

TEST(Proof, ComparesSourceUnpackedAndNewArchive) {
    struct Case {
        const char* name;
        Listing source;
        std::vector<UnpackedFile> unpacked;
        Listing packed;
        ProofFailure failure;
        int count;
        ArchiveType type = kSevenZip;
    };
    const Listing sample =
        listing({folder("sub"), file("a.txt", 6, 0xA1), file("sub/b.bin", 5000, 0xB2)});
    const std::vector<UnpackedFile> sampleTree{
        {"sub", 0, false, true}, {"a.txt", 6}, {"sub/b.bin", 5000}};
    const Listing comic = listing({folder("Ch 1"), folder("Ch 2"), file("ComicInfo.xml", 9, 0xC1),
                                   file("Ch 1/001.jpg", 5, 0x1)});
    const std::vector<UnpackedFile> comicTree{{"Ch 1", 0, false, true},
                                              {"Ch 2", 0, false, true},
                                              {"ComicInfo.xml", 9},
                                              {"Ch 1/001.jpg", 5}};
    const Listing one = listing({file("a", 1, 0x1)});
    const std::string tooLong(70000, 'c');
    const auto ofOne = [](const char* name, Listing source, Listing packed, ProofFailure failure,
                          int count, ArchiveType type) {
        return Case{name, std::move(source), {{"a", 1}}, std::move(packed), failure, count, type};
    };
    const Case cases[] = {
        {"same files", sample, sampleTree, sample, ProofFailure::none, 0},
        // The archiver cleans "../evil.txt" on unpacking: the content matches, the name not.
        {"cleaned names",
         listing({file("../evil.txt", 4, 0xE1), file("/abs.txt", 8, 0xE2)}),
         {{"evil.txt", 4}, {"abs.txt", 8}},
         listing({file("evil.txt", 4, 0xE1), file("abs.txt", 8, 0xE2)}),
         ProofFailure::nameChanged,
         1},
        // Windows writes "a:b.txt" as "a_b.txt", and merges "Dir/" into "dir/".
        {"renamed on unpacking",
         listing({file("a:b.txt", 4, 0xE1), file("Dir/x", 1, 0x1)}),
         {{"a_b.txt", 4}, {"dir", 0, false, true}, {"dir/x", 1}},
         listing({file("a_b.txt", 4, 0xE1), file("dir/x", 1, 0x1)}),
         ProofFailure::nameChanged,
         1},
        {"a leftover in the working folder",
         sample,
         {{"sub", 0, false, true}, {"a.txt", 6}, {"sub/b.bin", 5000}, {"old", 0, false, true}},
         listing(
             {folder("sub"), file("a.txt", 6, 0xA1), file("sub/b.bin", 5000, 0xB2), folder("old")}),
         ProofFailure::extraUnpacked,
         1},
        // A FAT-host zip entry with the folder attribute holds data 7-Zip does not unpack.
        {"folder with data",
         listing({[] {
             ListedEntry e = holding(folder("data"), 0x7);
             e.size = 7;
             return e;
         }()}),
         {{"data", 0, false, true}},
         listing({folder("data")}),
         ProofFailure::folderWithData,
         1},
        {"fifo unpacked as an empty file",
         listing({kind(file("pipe", 0), "fifo")}),
         {{"pipe", 0}},
         listing({file("pipe", 0)}),
         ProofFailure::specialEntry,
         1},
        // LZH lists a CRC-16: never compared with the new archive's CRC-32.
        {"lzh CRC-16",
         listing({file("a", 5, 0xE7A4)}),
         {{"a", 5}},
         listing({file("a", 5, 0x12345678)}),
         ProofFailure::none,
         0,
         kLzh},
        {"CRC-32 of another size",
         listing({file("a", 5, 0xE7A4)}),
         {{"a", 5}},
         listing({file("a", 5, 0x12345678)}),
         ProofFailure::different,
         1},
        // Several gzip members, or more than 4 GiB: the listed size is the last member's, or
        // wrapped; the stream's own check and the unpacked size stand instead.
        {"gzip size wrapped",
         listing({file("big.tar", 4096, 0x1)}),
         {{"big.tar", 4294971392}},
         listing({file("big.tar", 4294971392, 0x2)}),
         ProofFailure::none,
         0,
         kGzip},
        // A RAR5 file copy lists CRC 0: proven by the file it copies.
        {"file copy",
         listing({file("a", 5, 0xA),
                  [] {
                      ListedEntry e = file("b", 5, 0);
                      e.copyOf = "a";
                      return e;
                  }()}),
         {{"a", 5}, {"b", 5}},
         listing({file("a", 5, 0xA), file("b", 5, 0xA)}),
         ProofFailure::none,
         0},
        {"a file not unpacked",
         sample,
         {{"a.txt", 6}},
         listing({file("a.txt", 6, 0xA1)}),
         ProofFailure::notUnpacked,
         1},
        // The sparse map instead of the file: unpacked, but not as listed.
        {"unpacked with another size",
         listing({file("big.bin", 3145728)}),
         {{"big.bin", 1536}},
         listing({file("big.bin", 1536, 0x5)}),
         ProofFailure::notUnpacked,
         1},
        // "a" that could not open a file leaves it out of an otherwise good archive.
        {"a file left out", sample, sampleTree, listing({file("sub/b.bin", 5000, 0xB2)}),
         ProofFailure::missingInArchive, 1},
        {"same size, other CRC", sample, sampleTree,
         listing({file("a.txt", 6, 0xA1), file("sub/b.bin", 5000, 0xBAD)}), ProofFailure::different,
         1},
        {"more than was unpacked", sample, sampleTree,
         listing({file("a.txt", 6, 0xA1), file("sub/b.bin", 5000, 0xB2), file("x", 1, 0x1)}),
         ProofFailure::extraInArchive, 1},
        // Two files of one size: matched by CRC, whatever their order or names.
        {"equal sizes by content",
         listing({file("p", 5, 0x1), file("q", 5, 0x2)}),
         {{"p", 5}, {"q", 5}},
         listing({file("q", 5, 0x1), file("p", 5, 0x2)}),
         ProofFailure::none,
         0},
        // Files of one size and CRC are one group: each packed one is taken once, in any order.
        {"identical files in another order",
         listing({file("p", 5, 0x1), file("q", 5, 0x1), file("r", 5, 0x2)}),
         {{"p", 5}, {"q", 5}, {"r", 5}},
         listing({file("r", 5, 0x2), file("q", 5, 0x1), file("p", 5, 0x1)}),
         ProofFailure::none,
         0},
        {"one of identical files left out",
         listing({file("p", 5, 0x1), file("q", 5, 0x1)}),
         {{"p", 5}, {"q", 5}},
         listing({file("p", 5, 0x1)}),
         ProofFailure::missingInArchive,
         1},
        // The content is matched by size and CRC; the names on each side by name.
        {"packed under another name",
         listing({file("a", 5, 0x1)}),
         {{"a", 5}},
         listing({file("b", 5, 0x1)}),
         ProofFailure::nameChanged,
         1},
        {"unpacked under another name",
         listing({file("a", 5, 0x1)}),
         {{"b", 5}},
         listing({file("a", 5, 0x1)}),
         ProofFailure::nameChanged,
         1},
        // A tar gives no CRC, a 7z none for an empty file: the size alone must then agree.
        {"CRC on one side only",
         listing({file("t", 5), file("e", 0, 0x0)}),
         {{"t", 5}, {"e", 0}},
         listing({file("t", 5, 0x7), file("e", 0)}),
         ProofFailure::none,
         0},
        // The entry with a CRC must not lose the one packed entry without a CRC to the other.
        {"CRC needs the CRC-less entry",
         listing({file("a", 5, 0x1), file("b", 5)}),
         {{"a", 5}, {"b", 5}},
         listing({file("a", 5), file("b", 5, 0x9)}),
         ProofFailure::none,
         0},
        {"single stream",
         listing({file("", std::nullopt)}),
         {{"stream.txt", 14}},
         listing({file("stream.txt", 14, 0x3)}),
         ProofFailure::none,
         0,
         kGzip},
        {"single stream packed short",
         listing({file("", std::nullopt)}),
         {{"stream.txt", 14}},
         listing({file("stream.txt", 13, 0x3)}),
         ProofFailure::missingInArchive,
         1},
        {"sizeless entry of several",
         listing({file("x", std::nullopt), file("y", 1, 0x1)}),
         {{"z", 3}, {"y", 1}},
         listing({file("z", 3, 0x3), file("y", 1, 0x1)}),
         ProofFailure::notUnpacked,
         1},
        // A link unpacks with another size (an absolute target made relative): packed by name,
        // but its target is not the source's.
        {"link by name",
         listing({link("escape", 18), file("a", 1, 0x1)}),
         {unpackedLink("escape", std::string(35, 'x')), {"a", 1}},
         listing({link("escape", 35), file("a", 1, 0x1)}),
         ProofFailure::linkChanged,
         1},
        {"link with its target",
         listing({pointingTo(link("rel", 5), "a.txt"), file("a.txt", 1, 0x1)}),
         {unpackedLink("rel", "a.txt"), {"a.txt", 1}},
         listing({holding(link("rel", 5), 0xC1EBF7BA), file("a.txt", 1, 0x1)}),
         ProofFailure::none,
         0},
        {"absolute link",
         listing({pointingTo(link("abs", 4), "/etc")}),
         {unpackedLink("abs", "/etc")},
         listing({link("abs", 4)}),
         ProofFailure::absoluteLink,
         1},
        {"link not packed",
         listing({link("escape", 18), file("a", 1, 0x1)}),
         {{"escape", 35, true}, {"a", 1}},
         listing({file("a", 1, 0x1)}),
         ProofFailure::missingInArchive,
         1},
        {"link not unpacked",
         listing({link("escape", 18), file("a", 1, 0x1)}),
         {{"a", 1}},
         listing({file("a", 1, 0x1)}),
         ProofFailure::notUnpacked,
         1},
        // Windows packs a folder link as the folder it points to, backslashes in the listing:
        // the content is there, the link is not.
        {"followed folder link",
         listing({link("lib", 5), file("real\\x.so", 9, 0x9)}),
         {{"lib", 0, true}, {"real/x.so", 9}},
         listing({folder("lib"), file("lib\\x.so", 9, 0x9), folder("real"),
                  file("real\\x.so", 9, 0x9)}),
         ProofFailure::linkChanged,
         1},
        {"source warned", flagged(sample, false, true), sampleTree, sample, ProofFailure::warning,
         0},
        {"new listing failed", sample, sampleTree, flagged(sample, true, false),
         ProofFailure::listingFailed, 0},
        {"new listing cut short", sample, sampleTree, Listing{}, ProofFailure::listingFailed, 0},
        {"unsupported entry",
         listing({marked(file("GNUSparseFile.1/big", 1536)), file("s", 3)}),
         {{"GNUSparseFile.1/big", 1536}, {"s", 3}},
         listing({file("GNUSparseFile.1/big", 1536, 0x1), file("s", 3, 0x2)}),
         ProofFailure::unsupported,
         1},
        {"nothing at all", listing({}), {}, listing({}), ProofFailure::none, 0},
        // LZH lists a folder with CRC 0: its size of 0 says it holds nothing.
        {"lzh folder",
         typed(listing({holding(folder("sub"), 0), file("sub/a", 1, 0x1)}), "Lzh"),
         {{"sub", 0, false, true}, {"sub/a", 1}},
         listing({folder("sub"), file("sub/a", 1, 0x1)}),
         ProofFailure::none,
         0,
         kLzh},
        {"lzh link kept as a folder",
         typed(listing({folder("ln|a.txt"), file("a.txt", 1, 0x1)}), "Lzh"),
         {{"ln|a.txt", 0, false, true}, {"a.txt", 1}},
         listing({folder("ln|a.txt"), file("a.txt", 1, 0x1)}),
         ProofFailure::linkAsFolder,
         1,
         kLzh},
        // ext4 ends its dates in 2446.
        {"date clamped on unpacking",
         listing({dated(file("future.txt", 1, 0x1), "2603-10-11 11:33:20")}),
         {{"future.txt", 1}},
         listing({dated(file("future.txt", 1, 0x1), "2446-05-10 22:38:55.0000000")}),
         ProofFailure::dateNotKept,
         1},
        {"date at the coarser side's precision",
         listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:11"),
                  dated(file("u", 2, 0x2), "2024-05-05 10:10:11.1234567")}),
         {{"t", 1}, {"u", 2}},
         listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:11.9999999"),
                  dated(file("u", 2, 0x2), "2024-05-05 10:10:11.1234567")}),
         ProofFailure::none,
         0},
        {"a second apart",
         listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:11")}),
         {{"t", 1}},
         listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:12.0000000")}),
         ProofFailure::dateNotKept,
         1},
        // A DOS time is kept to 2 s, rounded either way.
        {"DOS time rounded",
         typed(listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:11")}), "zip"),
         {{"t", 1}},
         typed(listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:12")}), "zip"),
         ProofFailure::none,
         0},
        {"nanoseconds against 100 ns",
         listing({dated(file("t", 1, 0x1), "2500-01-01 00:00:00.123456789")}),
         {{"t", 1}},
         listing({dated(file("t", 1, 0x1), "2500-01-01 00:00:00.1234567")}),
         ProofFailure::none,
         0},
        {"a date that cannot be read",
         listing({dated(file("t", 1, 0x1), "?")}),
         {{"t", 1}},
         listing({dated(file("t", 1, 0x1), "2500-01-01 00:00:00.1234567")}),
         ProofFailure::dateNotKept,
         1},
        {"no date in the new archive",
         listing({dated(file("t", 1, 0x1), "2024-05-05 10:10:11")}),
         {{"t", 1}},
         listing({file("t", 1, 0x1)}),
         ProofFailure::dateNotKept,
         1},
        // caf U+EFE9 .txt: the byte 0xE9 that is not UTF-8, as 7-Zip on Windows writes it.
        {"escaped name",
         listing({file("caf\xEE\xBF\xA9.txt", 1, 0x1)}),
         {{"caf\xEE\xBF\xA9.txt", 1}},
         listing({file("caf\xEE\xBF\xA9.txt", 1, 0x1)}),
         archiver::kEscapesNames ? ProofFailure::escapedName : ProofFailure::none,
         archiver::kEscapesNames ? 1 : 0},
        // A comic's ComicInfo.xml and folders stay where they were.
        {"ComicInfo.xml moved", comic, comicTree,
         listing({folder("Ch 1"), folder("Ch 2"), file("Ch 1/ComicInfo.xml", 9, 0xC1),
                  file("Ch 1/001.jpg", 5, 0x1)}),
         ProofFailure::nameChanged, 1},
        {"empty chapter lost", comic, comicTree,
         listing({folder("Ch 1"), file("ComicInfo.xml", 9, 0xC1), file("Ch 1/001.jpg", 5, 0x1)}),
         ProofFailure::nameChanged, 1},
        // Comments: the archive's goes into a new ZIP as listed, or the source stays.
        ofOne("comment carried", commented(one, "zip", "c\n"), commented(one, "zip", "c\n"),
              ProofFailure::none, 0, kZip),
        ofOne("comment lost", commented(one, "Rar5", "c"), commented(one, "zip", {}),
              ProofFailure::commentNotKept, 0, kRarFive),
        ofOne("comment in a 7z", commented(one, "zip", "c"), commented(one, "7z", {}),
              ProofFailure::noCommentPlace, 0, kZip),
        ofOne("tar's PAX records", commented(one, "tar", "x"), commented(one, "7z", {}),
              ProofFailure::none, 0, kTar),
        ofOne("file comment",
              commented(listing({with(file("a", 1, 0x1), &ListedEntry::commented)}), "zip", {}),
              commented(one, "zip", {}), ProofFailure::fileComment, 1, kZip),
        ofOne("RAR 4 comment", commented(one, "Rar", {}, true), commented(one, "zip", {}),
              ProofFailure::commentUnshown, 0, kRarFive),
        ofOne("comment too long", commented(one, "Rar5", tooLong), commented(one, "zip", tooLong),
              ProofFailure::commentTooLong, 0, kRarFive),
        ofOne("a return shown as '_'", commented(one, "Rar5", "a_b"), commented(one, "zip", "a_b"),
              archiver::kShowsReturnAsUnderscore ? ProofFailure::uncertainListing
                                                 : ProofFailure::none,
              0, kRarFive),
        ofOne("LZMA in the new ZIP", one,
              commented(listing({with(file("a", 1, 0x1), &ListedEntry::otherMethod)}), "zip", {}),
              ProofFailure::otherMethod, 1, kSevenZip),
    };
    for (const Case& c : cases) {
        const ProofResult result = proveConversion(c.source, c.unpacked, c.packed, c.type);
        EXPECT_EQ(result.failure, c.failure) << c.name;
        EXPECT_EQ(result.count, c.count) << c.name;
    }
}

// Sizes whose unseeded hashes all share their low bits would crowd one slot of every index
// and make the proof quadratic in them: a seed of each index's own keeps it linear.
TEST(Proof, SizesMadeToCollideCostNoMoreThanAnyOthers) {
    constexpr std::size_t kFiles = 20'000;
    const auto inverse = [](std::uint64_t odd) {
        std::uint64_t x = odd;
        for (int i = 0; i < 6; ++i) x *= 2 - odd * x;
        return x;
    };
    // The inverse of the hash's mixing: the size that mixes to `value`.
    const auto unmixed = [&](std::uint64_t value) {
        value ^= value >> 33;
        value *= inverse(0xC4CEB9FE1A85EC53ull);
        value ^= value >> 33;
        value *= inverse(0xFF51AFD7ED558CCDull);
        return value ^ (value >> 33);
    };
    const auto proofTime = [&](auto sizeOf) {
        std::vector<std::string> names(kFiles);
        std::vector<ListedEntry> entries;
        std::vector<UnpackedFile> unpacked;
        for (std::size_t i = 0; i < kFiles; ++i) {
            names[i] = "f" + std::to_string(i);
            entries.push_back(file(names[i], sizeOf(i)));
            unpacked.push_back({names[i], sizeOf(i)});
        }
        const Listing listed = listing(entries);
        auto best = std::chrono::steady_clock::duration::max();
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            EXPECT_TRUE(proveConversion(listed, unpacked, listed, kSevenZip).holds());
            best = std::min(best, std::chrono::steady_clock::now() - start);
        }
        return best;
    };
    const auto crafted = proofTime([&](std::size_t i) { return unmixed(std::uint64_t(i) << 24); });
    const auto plain = proofTime([](std::size_t i) { return std::uint64_t(i) * 7919 + 1; });
    EXPECT_LT(crafted, 8 * plain + std::chrono::milliseconds(20));
}

}  // namespace
}  // namespace pomu

// The proof's comparison of the source's listing, the unpacked files and the new listing.
#include <gtest/gtest.h>

#include "convert/proof.h"

namespace pomu {
namespace {

ListedEntry file(std::string path, std::optional<std::uint64_t> size,
                 std::optional<std::uint32_t> crc = std::nullopt) {
    ListedEntry entry;
    entry.path = std::move(path);
    entry.size = size;
    entry.crc = crc;
    return entry;
}

ListedEntry folder(std::string path) {
    ListedEntry entry = file(std::move(path), 0);
    entry.folder = true;
    return entry;
}

ListedEntry link(std::string path, std::uint64_t size) {
    ListedEntry entry = file(std::move(path), size);
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
    result.entries = std::move(entries);
    return result;
}

Listing flagged(Listing result, bool errors, bool warnings) {
    result.errors = errors;
    result.warnings = warnings;
    return result;
}

TEST(Proof, ComparesSourceUnpackedAndNewArchive) {
    struct Case {
        const char* name;
        Listing source;
        std::vector<UnpackedFile> unpacked;
        Listing packed;
        ProofFailure failure;
        int count;
    };
    const Listing sample =
        listing({folder("sub"), file("a.txt", 6, 0xA1), file("sub/b.bin", 5000, 0xB2)});
    const std::vector<UnpackedFile> sampleTree{{"a.txt", 6}, {"sub/b.bin", 5000}};
    const Case cases[] = {
        {"same files", sample, sampleTree, sample, ProofFailure::none, 0},
        // The archiver cleans "../evil.txt" on unpacking; the content still matches.
        {"cleaned names",
         listing({file("../evil.txt", 4, 0xE1), file("/abs.txt", 8, 0xE2)}),
         {{"evil.txt", 4}, {"abs.txt", 8}},
         listing({file("evil.txt", 4, 0xE1), file("abs.txt", 8, 0xE2)}),
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
         0},
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
        // A link unpacks with another size (an absolute target made relative): kept by name.
        {"link by name",
         listing({link("escape", 18), file("a", 1, 0x1)}),
         {{"escape", 35, true}, {"a", 1}},
         listing({link("escape", 35), file("a", 1, 0x1)}),
         ProofFailure::none,
         0},
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
        // Windows packs a folder link as the folder it points to, backslashes in the listing.
        {"followed folder link",
         listing({link("lib", 5), file("real\\x.so", 9, 0x9)}),
         {{"lib", 0, true}, {"real/x.so", 9}},
         listing({folder("lib"), file("lib\\x.so", 9, 0x9), folder("real"),
                  file("real\\x.so", 9, 0x9)}),
         ProofFailure::none,
         0},
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
    };
    for (const Case& c : cases) {
        const ProofResult result = proveConversion(c.source, c.unpacked, c.packed);
        EXPECT_EQ(result.failure, c.failure) << c.name;
        EXPECT_EQ(result.count, c.count) << c.name;
    }
}

}  // namespace
}  // namespace pomu

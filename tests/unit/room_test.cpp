// The room rules: what a conversion writes, as its listing tells, and which disk takes it.
#include <gtest/gtest.h>

#include "convert/room.h"

namespace pomu {
namespace {

constexpr std::uint64_t kBlock = 4096;
constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kGiB = 1 << 30;

ListedEntry entry(std::string_view path, std::optional<std::uint64_t> size, bool folder = false) {
    ListedEntry listed;
    listed.path = path;
    listed.size = size;
    listed.folder = folder;
    return listed;
}

Listing listing(std::initializer_list<ListedEntry> entries) {
    Listing result;
    result.entries.assign(entries);
    return result;
}

std::string text(const Bounds& bounds) {
    std::string shown =
        std::to_string(bounds.least.bytes) + "/" + std::to_string(bounds.least.files) + " to ";
    return shown + (bounds.most ? std::to_string(bounds.most->bytes) : "any");
}

const ArchiveType kZip{"zip", ".zip", true, false};
const ArchiveType kBzip2{"bzip2", ".bz2", true, true};
const ArchiveType kGzip{"gzip", ".gz", true, true};
const ArchiveType kXz{"xz", ".xz", true, true};

TEST(Room, WhatAConversionWritesAsTheListingTellsIt) {
    struct Case {
        const char* what;
        Listing listed;
        ArchiveType type;
        std::uint64_t source;
        bool stored;
        std::string unpacked, packedLeast;
    };
    const Case cases[] = {
        // The two folders above the file are made though no entry names them.
        {"folders a path implies", listing({entry("a/b/c.txt", 10)}), kZip, 200, false,
         "12288/3 to 12288", "200"},
        {"listed folders counted once", listing({entry("a", {}, true), entry("a/b.txt", 1)}), kZip,
         200, false, "8192/2 to 8192", "200"},
        // A stream that lists no size is at least what it takes itself, with no bound.
        {"bzip2 stream", listing({entry("", {})}), kBzip2, 1'000'000, false, "1003520/1 to any",
         "1000000"},
        // gzip lists its size modulo 4 GiB: 100 bytes of a 10 MB stream.
        {"gzip size wrapped", listing({entry("x", 100)}), kGzip, 10'000'000, false,
         "10002432/1 to 10320003072", "10000000"},
        {"xz size from its index", listing({entry("x", 5'000'000)}), kXz, 1'000, false,
         "5001216/1 to 5001216", "1000"},
        // Level 0 stores every byte again, whatever the source took.
        {"stored", listing({entry("a", kMiB), entry("b", kMiB)}), kZip, 100'000, true,
         "2097152/2 to 2097152", "2097152"},
    };
    for (const Case& c : cases) {
        const Needs needs = conversionNeeds(c.listed, c.type, c.source, kBlock, c.stored);
        EXPECT_EQ(text(needs.unpacked), c.unpacked) << c.what;
        EXPECT_EQ(std::to_string(needs.packed.least.bytes), c.packedLeast) << c.what;
    }
}

TEST(Room, TheWorkingFolderGoesWhereTheRoomIs) {
    // Disks of sizes of their own, unless a case gives one.
    const auto disk = [](std::uint64_t free, std::uint64_t id, std::uint64_t total = 0) {
        return Disk{
            platform::FreeSpace{free, kBlock, std::nullopt, total ? total : id * 100 * kGiB, 255},
            id};
    };
    const Listing files = listing({entry("big.bin", 6 * kGiB)});
    const Needs plain = conversionNeeds(files, kZip, 5 * kGiB, kBlock, false);
    const Needs stream = conversionNeeds(listing({entry("", {})}), kBzip2, 2 * kGiB, kBlock, false);
    struct Case {
        const char* what;
        Needs needs;
        Disk temp, target;
        Place place;
    };
    const Case cases[] = {
        {"room in the temp folder", plain, disk(20 * kGiB, 1), disk(20 * kGiB, 2), Place::temp},
        {"only beside the target", plain, disk(kGiB, 1), disk(20 * kGiB, 2), Place::beside},
        {"one disk for both", plain, disk(10 * kGiB, 1), disk(10 * kGiB, 1), Place::noRoomToUnpack},
        {"no room for the new archive", plain, disk(20 * kGiB, 1), disk(kGiB, 2),
         Place::noRoomToPack},
        // Subvolumes of one btrfs pool: other ids, the same room to the byte.
        {"one pool", plain, disk(10 * kGiB, 1, 900 * kGiB), disk(10 * kGiB, 2, 900 * kGiB),
         Place::noRoomToUnpack},
        // No bound: the place of those that hold its least with the more room left.
        {"a stream of any size", stream, disk(10 * kGiB, 1), disk(50 * kGiB, 2), Place::beside},
        {"the temp folder roomier", stream, disk(50 * kGiB, 1), disk(10 * kGiB, 2), Place::temp},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(int(choosePlace(c.needs, c.temp, c.target)), int(c.place)) << c.what;
    }
}

}  // namespace
}  // namespace pomu

// Room on the disks before anything is written: the unpacked files, the new archive, the listings.
#pragma once

#include <cstdint>
#include <optional>

#include "convert/listing.h"
#include "convert/outcome.h"
#include "convert/plan.h"
#include "platform/platform.h"

namespace pomu {

struct Room {
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};

// What the listed files take unpacked where blocks are that size: each file rounded up to
// whole blocks, a block for each folder.
Room unpackedRoom(const Listing& listing, std::uint64_t blockSize);

// The room fits with a margin left for what the archiver and the file system add.
bool fits(const Room& needed, const platform::FreeSpace& free);

// A file system that has (next to) nothing left: a run that failed there ran out of space.
bool isFull(const std::optional<platform::FreeSpace>& free);

// What the archiver says when a write finds the disk full, on either system.
bool saysDiskFull(std::string_view output);

// Where the source is unpacked: the temp folder, or beside the target when only its disk
// has the room (`beside`); the refusal when neither has it. The temp folder also holds the
// new archive's listing, about as long as the source's (`listingBytes`).
struct WorkingPlace {
    std::optional<NativeString> beside;
    std::optional<ConversionOutcome> refusal;
};
WorkingPlace placeToUnpack(const ConversionPlan& plan, const Listing& listing,
                           std::uint64_t listingBytes, std::uint64_t sourceBytes);

// The first listed path that would not fit the system's limit below the working folder.
std::optional<std::string> tooDeep(const Listing& listing, NativeView workspace);

// The folder a path stands in, with its separator.
NativeString folderOf(NativeView path);

// How the user names the place a folder is on: the drive ("D:") on Windows, else the folder.
NativeString placeOf(NativeView folder);

}  // namespace pomu

// Room on the disks before anything is written: the unpacked files, the new archive, the listings.
#pragma once

#include <cstdint>
#include <optional>

#include "convert/archive_types.h"
#include "convert/listing.h"
#include "convert/outcome.h"
#include "convert/plan.h"
#include "convert/runner.h"
#include "platform/platform.h"

namespace pomu {

struct Room {
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};

// What a step writes: at least `least`, and at most `most` where that can be bounded (a
// stream that lists no size, or a gzip size that wraps at 4 GiB, has no bound of its own).
struct Bounds {
    Room least;
    std::optional<Room> most;
};

// What a conversion writes, as far as the source's listing tells.
struct Needs {
    // Each file rounded up to whole blocks, a block for each folder, those a path only
    // implies too.
    Bounds unpacked;
    // The new archive: about the source's size, all of the unpacked data when stored
    // (level 0); never more than that data and the archive's own records.
    Bounds packed;
    std::uint64_t listingBytes = 0;  // the new archive's listing, kept in the temp folder
};

Needs conversionNeeds(const Listing& listing, const ArchiveType& type, std::uint64_t sourceBytes,
                      std::uint64_t blockSize, bool stored);

// The room fits with a margin left for what the archiver and the file system add.
bool fits(const Room& needed, const platform::FreeSpace& free);

// A file system that has (next to) nothing left: a run that failed there ran out of space.
bool isFull(const std::optional<platform::FreeSpace>& free);

// What the archiver says when a write finds the disk full, on either system.
bool saysDiskFull(std::string_view output);

// A run that did not end well because the disk that holds the folder filled up: no damage of
// the archive's.
bool ranOutOfSpace(const ToolRun& run, const StartedRun& started, NativeView folder);

// One disk as the room rules see it: its free room and, where it tells, which it is.
struct Disk {
    platform::FreeSpace free;
    std::optional<std::uint64_t> id;
};

// Two folders whose disks are one pool: the same disk, or ones that read the same room to the
// byte (subvolumes of one btrfs pool have ids of their own).
bool sameDisk(const Disk& a, const Disk& b);

// Where the source is unpacked: the temp folder, or beside the target when only there the
// room is. A place that holds the most that can come wins; where none does (or it has no
// bound), the one of those that hold the least with the more room left.
enum class Place { temp, beside, noRoomToUnpack, noRoomToPack };
Place choosePlace(const Needs& needs, const Disk& temp, const Disk& target);

// The place on this machine's disks: the temp folder, or `beside` (the target's folder); the
// refusal when neither has the room. The temp folder also holds the new archive's listing,
// about as long as the source's (`listingBytes`); `stored`: packed at level 0.
struct WorkingPlace {
    std::optional<NativeString> beside;
    std::optional<ConversionOutcome> refusal;
    std::uint64_t longestName = 0;  // what the chosen disk takes as one name; 0: not told
    Needs needs;
};
WorkingPlace placeToUnpack(const ConversionPlan& plan, const Listing& listing,
                           const ArchiveType& type, std::uint64_t sourceBytes,
                           std::uint64_t listingBytes, bool stored);

// Once the files are unpacked: the target's disk still holds the new archive's least.
std::optional<ConversionOutcome> roomToPack(const ConversionPlan& plan, const Needs& needs);

// The first listed path that would not fit the system's limit below the working folder.
std::optional<std::string> tooDeep(const Listing& listing, NativeView workspace);

// The first name in a listed path longer than a disk that takes names of up to `longest`
// native characters (bytes on Linux).
std::optional<std::string> tooLongName(const Listing& listing, std::uint64_t longest);

// The folder a path stands in, with its separator.
NativeString folderOf(NativeView path);

// How the user names the place a folder is on: the drive ("D:") on Windows, else the folder.
NativeString placeOf(NativeView folder);

}  // namespace pomu

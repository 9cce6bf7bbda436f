// Working out the room a conversion needs, which disk has it, and whether a run ran out of it.
#include "convert/room.h"

#include <algorithm>
#include <unordered_set>

#include "convert/keyed_groups.h"
#include "platform/text.h"

namespace pomu {
namespace {

// Left free beside what a conversion needs, and below which a disk counts as full.
constexpr std::uint64_t kSlack = 64 * 1024;
// Deflate gives back at most 1,032 bytes for each it read: a gzip stream's bound.
constexpr std::uint64_t kDeflateRatio = 1032;
// A ZIP's records for one entry (its headers twice, a descriptor, zip64 fields), beside its
// name twice: more than 7z takes.
constexpr std::uint64_t kEntryRecordBytes = 128;
constexpr std::uint64_t kUsualBlock = 4096;

std::uint64_t roundedUp(std::uint64_t size, std::uint64_t block) {
    if (block == 0) return size;
    const std::uint64_t blocks = size / block + (size % block != 0);
    return blocks > UINT64_MAX / block ? UINT64_MAX : blocks * block;
}

std::uint64_t sum(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::uint64_t product(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

Room operator+(const Room& a, const Room& b) {
    return {sum(a.bytes, b.bytes), sum(a.files, b.files)};
}

// What a single stream unpacks to: its listed size is exact only where the format keeps the
// whole size (xz's index, lzma's and zstd's headers); gzip keeps it modulo 4 GiB and only for
// its last member, bzip2 and Z keep none. Then it is at least what the stream takes itself.
struct StreamSize {
    std::uint64_t least;
    std::optional<std::uint64_t> most;
};
StreamSize streamSize(const ArchiveType& type, std::optional<std::uint64_t> listed,
                      std::uint64_t physical) {
    if (type.type == "gzip") {
        return {std::max(listed.value_or(0), physical), product(physical, kDeflateRatio)};
    }
    if (listed && (type.type == "xz" || type.type == "lzma" || type.type == "zstd")) {
        return {*listed, *listed};
    }
    return {physical, std::nullopt};
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string_view withoutTrailingSeparators(std::string_view path) {
    while (!path.empty() && isSeparator(path.back())) path.remove_suffix(1);
    return path;
}

struct SeededViews {
    std::uint64_t seed = randomSeed();
    std::size_t operator()(std::string_view text) const {
        return std::size_t(seededHash(text, seed));
    }
};

// Folders a path names above itself that the listing does not list: the archiver makes them.
std::uint64_t impliedFolders(const Listing& listing) {
    std::unordered_set<std::string_view, SeededViews> folders;
    for (const ListedEntry& entry : listing.entries) {
        if (entry.folder) folders.insert(withoutTrailingSeparators(entry.path));
    }
    std::uint64_t implied = 0;
    for (const ListedEntry& entry : listing.entries) {
        std::string_view above = withoutTrailingSeparators(entry.path);
        // From the nearest folder up, until one known already: each is looked at once.
        for (std::size_t cut = above.find_last_of("/\\"); cut != std::string_view::npos && cut > 0;
             cut = above.find_last_of("/\\")) {
            above = above.substr(0, cut);
            if (!folders.insert(above).second) break;
            ++implied;
        }
    }
    return implied;
}

}  // namespace

Needs conversionNeeds(const Listing& listing, const ArchiveType& type, std::uint64_t sourceBytes,
                      std::uint64_t blockSize, bool stored) {
    Needs needs;
    Room least, most;
    std::uint64_t dataLeast = 0, dataMost = 0, names = 0;
    bool bounded = true;
    for (const ListedEntry& entry : listing.entries) {
        ++least.files;
        names = sum(names, entry.path.size());
        if (entry.folder) {
            least.bytes = sum(least.bytes, blockSize);
            most.bytes = sum(most.bytes, blockSize);
            continue;
        }
        StreamSize size{entry.size.value_or(0), entry.size};
        if (type.singleStream) size = streamSize(type, entry.size, sourceBytes);
        least.bytes = sum(least.bytes, roundedUp(size.least, blockSize));
        dataLeast = sum(dataLeast, size.least);
        if (size.most) {
            most.bytes = sum(most.bytes, roundedUp(*size.most, blockSize));
            dataMost = sum(dataMost, *size.most);
        } else {
            bounded = false;
        }
    }
    const std::uint64_t implied = impliedFolders(listing);
    least = least + Room{product(implied, blockSize), implied};
    most = most + Room{product(implied, blockSize), 0};
    most.files = least.files;
    needs.unpacked.least = least;
    if (bounded) needs.unpacked.most = most;
    needs.packed.least = {stored ? dataLeast : sourceBytes, 1};
    if (bounded) {
        const std::uint64_t records =
            sum(product(least.files, kEntryRecordBytes), product(names, 2));
        needs.packed.most = Room{sum(sum(dataMost, records), kSlack), 1};
        needs.packed.least.bytes = std::min(needs.packed.least.bytes, needs.packed.most->bytes);
    }
    return needs;
}

bool fits(const Room& needed, const platform::FreeSpace& free) {
    const std::uint64_t margin = kSlack + needed.bytes / 64;
    if (free.bytes < margin || needed.bytes > free.bytes - margin) return false;
    return !free.files || sum(needed.files, 16) <= *free.files;
}

bool isFull(const std::optional<platform::FreeSpace>& free) {
    return free && (free->bytes < kSlack || (free->files && *free->files == 0));
}

bool saysDiskFull(std::string_view output) {
    return output.find("No space left on device") != std::string_view::npos ||
           output.find("not enough space on the disk") != std::string_view::npos;
}

bool ranOutOfSpace(const ToolRun& run, const StartedRun& started, NativeView folder) {
    return run.started && !run.forced &&
           (isFull(platform::freeSpace(folder)) ||
            (started.tool && saysDiskFull(started.tool->latestOutput())));
}

bool sameDisk(const Disk& a, const Disk& b) {
    if (a.id && b.id && *a.id == *b.id) return true;
    return a.free.total != 0 && a.free.total == b.free.total && a.free.bytes == b.free.bytes &&
           a.free.blockSize == b.free.blockSize;
}

Place choosePlace(const Needs& needs, const Disk& temp, const Disk& target) {
    const bool same = sameDisk(temp, target);
    const Room listings{needs.listingBytes, 0};
    // Unpacked in the temp folder and packed beside the source; or both beside the source.
    const auto inTemp = [&](const Room* unpacked, const Room* packed) {
        if (!unpacked || !packed) return false;
        if (same) return fits(*unpacked + *packed + listings, temp.free);
        return fits(*unpacked + listings, temp.free) && fits(*packed, target.free);
    };
    const auto beside = [&](const Room* unpacked, const Room* packed) {
        return unpacked && packed && !same && fits(listings, temp.free) &&
               fits(*unpacked + *packed, target.free);
    };
    const Room* unpackedMost = needs.unpacked.most ? &*needs.unpacked.most : nullptr;
    const Room* packedMost = needs.packed.most ? &*needs.packed.most : nullptr;
    if (inTemp(unpackedMost, packedMost)) return Place::temp;
    if (beside(unpackedMost, packedMost)) return Place::beside;
    const Room* unpacked = &needs.unpacked.least;
    const Room* packed = &needs.packed.least;
    const bool tempHolds = inTemp(unpacked, packed);
    const bool besideHolds = beside(unpacked, packed);
    if (tempHolds && besideHolds) {
        // What may come beyond the least has the more room left there.
        const std::uint64_t besideLeft =
            target.free.bytes - std::min(target.free.bytes, packed->bytes);
        return temp.free.bytes >= besideLeft ? Place::temp : Place::beside;
    }
    if (tempHolds) return Place::temp;
    if (besideHolds) return Place::beside;
    if (!same && fits(*unpacked + listings, temp.free)) return Place::noRoomToPack;
    return Place::noRoomToUnpack;
}

WorkingPlace placeToUnpack(const ConversionPlan& plan, const Listing& listing,
                           const ArchiveType& type, std::uint64_t sourceBytes,
                           std::uint64_t listingBytes, bool stored) {
    WorkingPlace place;
    const std::optional<NativeString> temp = platform::tempFolder();
    const NativeString targetFolder = folderOf(plan.target);
    const std::optional<platform::FreeSpace> inTemp =
        temp ? platform::freeSpace(*temp) : std::nullopt;
    const std::optional<platform::FreeSpace> atTarget = platform::freeSpace(targetFolder);
    // Counted in the larger of the two disks' blocks: true of either.
    const std::uint64_t block =
        inTemp && atTarget ? std::max(inTemp->blockSize, atTarget->blockSize) : kUsualBlock;
    place.needs = conversionNeeds(listing, type, sourceBytes, block, stored);
    place.needs.listingBytes = listingBytes;
    // A disk that cannot say how full it is is not judged: the runs tell.
    if (!inTemp || !atTarget) return place;
    const auto disk = [](NativeView folder, const platform::FreeSpace& free) {
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(folder);
        return Disk{free, identity ? std::optional(identity->volume) : std::nullopt};
    };
    const Disk tempDisk = disk(*temp, *inTemp);
    switch (choosePlace(place.needs, tempDisk, disk(targetFolder, *atTarget))) {
        case Place::temp:
            place.longestName = inTemp->longestName;
            break;
        case Place::beside:
            place.beside = targetFolder;
            place.longestName = atTarget->longestName;
            break;
        case Place::noRoomToPack:
            place.refusal = outcomeOf(Reason::noRoomToPack, placeOf(targetFolder));
            break;
        case Place::noRoomToUnpack: {
            ConversionOutcome refusal = outcomeOf(Reason::noRoomToUnpack, placeOf(*temp));
            Room needed = place.needs.unpacked.least + Room{listingBytes, 0};
            if (sameDisk(tempDisk, disk(targetFolder, *atTarget))) {
                needed = needed + place.needs.packed.least;
            }
            refusal.needed = needed.bytes;
            refusal.available = inTemp->bytes;
            place.refusal = refusal;
            break;
        }
    }
    return place;
}

std::optional<ConversionOutcome> roomToPack(const ConversionPlan& plan, const Needs& needs) {
    const NativeString folder = folderOf(plan.target);
    const std::optional<platform::FreeSpace> room = platform::freeSpace(folder);
    if (room && !fits(needs.packed.least, *room)) {
        return outcomeOf(Reason::noRoomToPack, placeOf(folder));
    }
    return std::nullopt;
}

std::optional<std::string> tooDeep(const Listing& listing, NativeView workspace) {
#ifdef _WIN32
    constexpr std::size_t kLongest = 32767 - 4;  // the \\?\ form's limit, less its prefix
#else
    constexpr std::size_t kLongest = 4095;  // PATH_MAX, less the terminator
#endif
    for (const ListedEntry& entry : listing.entries) {
        // A name never takes more native characters than UTF-8 bytes: most need no conversion.
        if (workspace.size() + entry.path.size() <= kLongest) continue;
        if (workspace.size() + fromUtf8(entry.path).size() > kLongest)
            return std::string(entry.path);
    }
    return std::nullopt;
}

std::optional<std::string> tooLongName(const Listing& listing, std::uint64_t longest) {
    if (longest == 0) return std::nullopt;
    for (const ListedEntry& entry : listing.entries) {
        const std::string_view path = entry.path;
        if (path.size() <= longest) continue;
        for (std::size_t start = 0; start < path.size();) {
            std::size_t end = path.find_first_of("/\\", start);
            if (end == std::string_view::npos) end = path.size();
            const std::string_view name = path.substr(start, end - start);
            // Bytes on Linux; UTF-16 units on Windows, never more than the UTF-8 bytes.
            if (name.size() > longest && fromUtf8(name).size() > longest) return std::string(name);
            start = end + 1;
        }
    }
    return std::nullopt;
}

NativeString folderOf(NativeView path) {
    return NativeString(path.substr(0, path.size() - fileNameOf(path).size()));
}

NativeString placeOf(NativeView folder) {
#ifdef _WIN32
    if (folder.size() >= 2 && folder[1] == L':') return NativeString(folder.substr(0, 2));
#endif
    NativeString place(folder);
    while (place.size() > 1 && place.back() == kSeparator) place.pop_back();
    return place;
}

}  // namespace pomu

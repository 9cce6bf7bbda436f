// Working out the room a conversion needs and whether a file system has it.
#include "convert/room.h"

#include "platform/text.h"

namespace pomu {
namespace {

// Left free beside what a conversion needs, and below which a disk counts as full.
constexpr std::uint64_t kSlack = 64 * 1024;

std::uint64_t roundedUp(std::uint64_t size, std::uint64_t block) {
    return block == 0 ? size : (size + block - 1) / block * block;
}

}  // namespace

Room unpackedRoom(const Listing& listing, std::uint64_t blockSize) {
    Room room;
    for (const ListedEntry& entry : listing.entries) {
        room.bytes += entry.folder ? blockSize : roundedUp(entry.size.value_or(0), blockSize);
        ++room.files;
    }
    return room;
}

bool fits(const Room& needed, const platform::FreeSpace& free) {
    const std::uint64_t margin = kSlack + needed.bytes / 64;
    if (free.bytes < margin || needed.bytes > free.bytes - margin) return false;
    return !free.files || needed.files + 16 <= *free.files;
}

bool isFull(const std::optional<platform::FreeSpace>& free) {
    return free && (free->bytes < kSlack || (free->files && *free->files == 0));
}

bool saysDiskFull(std::string_view output) {
    return output.find("No space left on device") != std::string_view::npos ||
           output.find("not enough space on the disk") != std::string_view::npos;
}

WorkingPlace placeToUnpack(const ConversionPlan& plan, const Listing& listing,
                           std::uint64_t listingBytes, std::uint64_t sourceBytes) {
    const std::optional<NativeString> temp = platform::tempFolder();
    // A disk that cannot say how full it is is not judged: the runs tell.
    if (!temp) return {};
    const NativeString targetFolder = folderOf(plan.target);
    const std::optional<platform::FreeSpace> inTemp = platform::freeSpace(*temp);
    const std::optional<platform::FreeSpace> atTarget = platform::freeSpace(targetFolder);
    if (!inTemp || !atTarget) return {};
    const auto device = [](NativeView folder) {
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(folder);
        return identity ? std::optional(identity->volume) : std::nullopt;
    };
    const bool sameDisk = device(*temp) && device(*temp) == device(targetFolder);
    const Room listings{listingBytes, 0};
    Room unpacked = unpackedRoom(listing, inTemp->blockSize);
    unpacked.bytes += listings.bytes + (sameDisk ? sourceBytes : 0);
    if (fits(unpacked, *inTemp)) {
        if (sameDisk || fits({sourceBytes, 1}, *atTarget)) return {};
        return {std::nullopt, outcomeOf(Reason::noRoomToPack, placeOf(targetFolder))};
    }
    Room beside = unpackedRoom(listing, atTarget->blockSize);
    beside.bytes += sourceBytes;
    if (!sameDisk && fits(listings, *inTemp) && fits(beside, *atTarget)) {
        return {targetFolder, std::nullopt};
    }
    ConversionOutcome refusal = outcomeOf(Reason::noRoomToUnpack, placeOf(*temp));
    refusal.needed = unpacked.bytes;
    refusal.available = inTemp->bytes;
    return {std::nullopt, refusal};
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

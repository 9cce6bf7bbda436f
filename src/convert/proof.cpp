// Comparing the source's listing, the unpacked files and the new archive's listing.
#include "convert/proof.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace pomu {
namespace {

bool isFile(const ListedEntry& entry) {
    return !entry.folder;
}

ProofResult failed(ProofFailure failure, int count, std::string_view file, bool ofSource = false) {
    ProofResult result;
    result.failure = failure;
    result.count = count;
    result.file = std::string(file);
    result.ofSource = ofSource;
    return result;
}

// A listing the proof can stand on: complete, without errors or warnings.
ProofResult checkListing(const Listing& listing, bool ofSource) {
    const auto broken = [](const ListedEntry& entry) { return entry.failed; };
    if (!listing.complete || listing.errors ||
        std::any_of(listing.entries.begin(), listing.entries.end(), broken)) {
        return failed(ProofFailure::listingFailed, 0, {}, ofSource);
    }
    // The type its name suggested failed to open: only a self-extracting program may be so.
    if (listing.warnings || !listing.triedType.empty())
        return failed(ProofFailure::warning, 0, {}, ofSource);
    return {};
}

ProofResult checkSupported(const Listing& source) {
    if (source.unsupported) return failed(ProofFailure::unsupported, 0, {}, true);
    ProofResult result;
    for (const ListedEntry& entry : source.entries) {
        if (!entry.unsupported) continue;
        if (result.holds()) result = failed(ProofFailure::unsupported, 0, entry.path, true);
        ++result.count;
    }
    return result;
}

// Counts the files that went wrong, remembering the first of them.
struct Tally {
    explicit Tally(ProofFailure kind) : failure(kind) {}
    ProofFailure failure;
    int count = 0;
    std::string_view first;
    void add(std::string_view file) {
        if (count++ == 0) first = file;
    }
    ProofResult result() const { return count ? failed(failure, count, first) : ProofResult{}; }
};

// Files by size, each taken at most once.
class SizePool {
  public:
    void add(std::uint64_t size) { ++counts_[size]; }
    bool take(std::uint64_t size) {
        const auto found = counts_.find(size);
        if (found == counts_.end() || found->second == 0) return false;
        --found->second;
        return true;
    }
    int left() const {
        int total = 0;
        for (const auto& [size, count] : counts_) total += count;
        return total;
    }

  private:
    std::unordered_map<std::uint64_t, int> counts_;
};

// The source's files with their sizes, a sizeless stream taking the size of what it unpacked to.
struct SourceFile {
    const ListedEntry* entry;
    std::uint64_t size;
};

// Every file of the source was unpacked: links by name, the rest by size.
ProofResult checkUnpacked(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                          std::vector<SourceFile>& sourceFiles) {
    std::multimap<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < unpacked.size(); ++i) {
        byName.emplace(normalizedPath(unpacked[i].path), i);
    }
    std::vector<bool> taken(unpacked.size(), false);
    auto takeByName = [&](std::string_view path) -> std::optional<std::size_t> {
        const auto [first, last] = byName.equal_range(normalizedPath(path));
        for (auto it = first; it != last; ++it) {
            if (!taken[it->second]) {
                taken[it->second] = true;
                return it->second;
            }
        }
        return std::nullopt;
    };

    std::vector<const ListedEntry*> files;
    for (const ListedEntry& entry : source.entries) {
        if (isFile(entry)) files.push_back(&entry);
    }
    Tally missing(ProofFailure::notUnpacked);
    std::vector<const ListedEntry*> sized;
    for (const ListedEntry* entry : files) {
        if (entry->link) {
            if (!takeByName(entry->path)) missing.add(entry->path);
        } else if (!entry->size) {
            std::optional<std::size_t> standIn = takeByName(entry->path);
            // A single stream unpacks to one file, named after the archive, not the entry.
            if (!standIn && files.size() == 1 && unpacked.size() == 1) standIn = 0;
            if (standIn) {
                taken[*standIn] = true;
                sourceFiles.push_back({entry, unpacked[*standIn].size});
            } else {
                missing.add(entry->path);
            }
        } else {
            sized.push_back(entry);
        }
    }
    SizePool pool;
    for (std::size_t i = 0; i < unpacked.size(); ++i) {
        if (!taken[i]) pool.add(unpacked[i].size);
    }
    for (const ListedEntry* entry : sized) {
        if (pool.take(*entry->size)) {
            sourceFiles.push_back({entry, *entry->size});
        } else {
            missing.add(entry->path);
        }
    }
    return missing.result();
}

// The new archive's entries, found by name or by size and CRC, each taken at most once.
class PackedPool {
  public:
    explicit PackedPool(const Listing& packed) {
        for (const ListedEntry& entry : packed.entries) {
            byName_.emplace(normalizedPath(entry.path), &entry);
            if (isFile(entry)) bySize_[entry.size.value_or(0)].push_back({&entry, false});
        }
    }

    // A link is kept when an entry of its name is there: a folder, or a file not yet taken.
    bool takeName(std::string_view path, bool withContents) {
        const std::string name = normalizedPath(path);
        const auto [first, last] = byName_.equal_range(name);
        for (auto it = first; it != last; ++it) {
            const ListedEntry* entry = it->second;
            if (entry->folder) {
                // A followed folder link was packed with its contents, copies of files
                // counted elsewhere.
                if (withContents) takeBelow(name + "/");
                return true;
            }
            if (takeEntry(entry)) return true;
        }
        return false;
    }

    // exact: the CRC must be given on both sides and equal; else only where both give one.
    bool take(std::uint64_t size, std::optional<std::uint32_t> crc, bool exact) {
        const auto found = bySize_.find(size);
        if (found == bySize_.end()) return false;
        for (Slot& slot : found->second) {
            if (slot.taken) continue;
            const bool matches =
                exact ? crc && slot.entry->crc && crc == slot.entry->crc : !crc || !slot.entry->crc;
            if (matches) {
                slot.taken = true;
                return true;
            }
        }
        return false;
    }

    bool anyLeftOfSize(std::uint64_t size) const {
        const auto found = bySize_.find(size);
        if (found == bySize_.end()) return false;
        for (const Slot& slot : found->second) {
            if (!slot.taken) return true;
        }
        return false;
    }

    // The first file not taken, and how many are left.
    std::pair<int, std::string_view> left() const {
        int count = 0;
        std::string_view first;
        for (const auto& [size, slots] : bySize_) {
            for (const Slot& slot : slots) {
                if (slot.taken) continue;
                if (count++ == 0) first = slot.entry->path;
            }
        }
        return {count, first};
    }

  private:
    struct Slot {
        const ListedEntry* entry;
        bool taken;
    };

    bool takeEntry(const ListedEntry* entry) {
        for (Slot& slot : bySize_[entry->size.value_or(0)]) {
            if (slot.entry == entry && !slot.taken) {
                slot.taken = true;
                return true;
            }
        }
        return false;
    }

    void takeBelow(const std::string& prefix) {
        for (auto it = byName_.lower_bound(prefix); it != byName_.end(); ++it) {
            if (!it->first.starts_with(prefix)) break;
            if (isFile(*it->second)) takeEntry(it->second);
        }
    }

    std::multimap<std::string, const ListedEntry*> byName_;
    std::map<std::uint64_t, std::vector<Slot>> bySize_;
};

// Every file of the source is in the new archive: with its size and CRC where both listings
// give one, with its size alone where one of them does not.
ProofResult checkPacked(const std::vector<SourceFile>& sourceFiles, const Listing& source,
                        const Listing& packed) {
    PackedPool pool(packed);
    Tally missing(ProofFailure::missingInArchive);
    Tally different(ProofFailure::different);
    for (const ListedEntry& entry : source.entries) {
        if (isFile(entry) && entry.link && !pool.takeName(entry.path, false)) {
            missing.add(entry.path);
        }
    }
    std::vector<const SourceFile*> withCrc, withoutCrc;
    for (const SourceFile& file : sourceFiles) {
        if (file.entry->crc && pool.take(file.size, file.entry->crc, true)) continue;
        (file.entry->crc ? withCrc : withoutCrc).push_back(&file);
    }
    // Those that need an entry without a CRC go first; those without one take any.
    withCrc.insert(withCrc.end(), withoutCrc.begin(), withoutCrc.end());
    for (const SourceFile* file : withCrc) {
        if (pool.take(file->size, file->entry->crc, false)) continue;
        if (pool.anyLeftOfSize(file->size)) {
            different.add(file->entry->path);
        } else {
            missing.add(file->entry->path);
        }
    }
    if (missing.count) return missing.result();
    return different.result();
}

// The new archive holds the working folder's files, no more, no fewer, with their sizes.
ProofResult checkFolderPacked(const std::vector<UnpackedFile>& unpacked, const Listing& packed) {
    PackedPool pool(packed);
    Tally missing(ProofFailure::missingInArchive);
    for (const UnpackedFile& file : unpacked) {
        if (file.link && !pool.takeName(file.path, true)) missing.add(file.path);
    }
    for (const UnpackedFile& file : unpacked) {
        if (!file.link && !pool.take(file.size, std::nullopt, false)) missing.add(file.path);
    }
    if (missing.count) return missing.result();
    const auto [extra, first] = pool.left();
    return extra ? failed(ProofFailure::extraInArchive, extra, first) : ProofResult{};
}

// The source's entries as far as their sizes and CRCs can be compared with the new archive's:
// no anti-items or alternate streams (they hold no file of their own), no CRC that is not a
// CRC-32, no size of a single stream (several members, or past 4 GiB, list it wrapped or
// partial), and a file copy with the CRC of the file it copies.
Listing comparable(const Listing& source, const ArchiveType& type) {
    Listing result = source;
    result.entries.clear();
    std::map<std::string_view, const ListedEntry*> byPath;
    for (const ListedEntry& entry : source.entries) byPath.emplace(entry.path, &entry);
    for (const ListedEntry& entry : source.entries) {
        if (entry.anti || entry.altStream) continue;
        ListedEntry copy = entry;
        if (!copy.copyOf.empty()) {
            const auto original = byPath.find(copy.copyOf);
            copy.crc = original != byPath.end() ? original->second->crc : std::nullopt;
        }
        if (!type.crc32) copy.crc.reset();
        if (type.singleStream && !copy.folder) {
            copy.size.reset();
            copy.crc.reset();
        }
        result.entries.push_back(std::move(copy));
    }
    return result;
}

std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A listed name as it must come out: '/' separators, no "./" in front, no '/' behind.
std::string listedName(std::string_view path) {
    std::string name(path);
    for (char& c : name) c = c == '\\' ? '/' : c;
    while (name.starts_with("./")) name.erase(0, 2);
    while (name.ends_with('/')) name.pop_back();
    return name == "." ? std::string() : name;
}

// A name the archiver would not unpack as it stands: absolute, with a drive, or with "..".
bool isCleanedOnUnpacking(std::string_view name) {
    if (name.starts_with('/') || (name.size() >= 2 && name[1] == ':')) return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view part = name.substr(start, end - start);
        if (part == ".." || part == "." || (part.empty() && end != name.size())) return true;
        start = end + 1;
    }
    return false;
}

bool isAbsoluteTarget(std::string_view target) {
    return target.starts_with('/') || target.starts_with('\\') ||
           (target.size() >= 2 && target[1] == ':');
}

// A zip name with bytes beyond ASCII and without the UTF-8 mark was decoded with a code page
// the archiver guessed.
bool hasGuessedCodePage(const ListedEntry& entry, const Listing& listing) {
    if (listing.type != "zip") return false;
    const bool ascii = std::all_of(entry.path.begin(), entry.path.end(),
                                   [](char c) { return (unsigned char)c < 0x80; });
    if (ascii) return false;
    return !entry.utf8;
}

// A link target against an entry that holds it as its data, or lists it.
bool sameTarget(const ListedEntry& entry, const std::string& target) {
    if (!entry.linkTarget.empty()) return entry.linkTarget == target;
    if (entry.size && *entry.size != target.size()) return false;
    return !entry.crc || *entry.crc == crc32(target);
}

// Every entry is a file, a folder without data or a link.
ProofResult checkKinds(const Listing& source) {
    if (source.uncertain) return failed(ProofFailure::uncertainListing, 0, {}, true);
    for (const ListedEntry& entry : source.entries) {
        if (entry.anti) return failed(ProofFailure::antiItem, 1, entry.path, true);
        if (entry.altStream) return failed(ProofFailure::alternateStream, 1, entry.path, true);
        if (!entry.special.empty()) {
            const std::string file = std::string(entry.special) + ": " + std::string(entry.path);
            return failed(ProofFailure::specialEntry, 1, file, true);
        }
        if (entry.folder && ((entry.size && *entry.size > 0) || entry.crc)) {
            return failed(ProofFailure::folderWithData, 1, entry.path, true);
        }
    }
    return {};
}

// Every listed name came out and went in as it is listed; links with their targets; and the
// working folder held nothing the source does not list.
ProofResult checkNames(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                       const Listing& packed) {
    std::unordered_map<std::string, const UnpackedFile*> unpackedByName(unpacked.size());
    for (const UnpackedFile& file : unpacked) unpackedByName.emplace(listedName(file.path), &file);
    std::unordered_map<std::string, const ListedEntry*> packedByName(packed.entries.size());
    for (const ListedEntry& entry : packed.entries) {
        packedByName.emplace(listedName(entry.path), &entry);
    }
    // Every listed name and the folders above it.
    std::unordered_set<std::string> listed(2 * source.entries.size());
    for (const ListedEntry& entry : source.entries) {
        if (entry.path.empty() || entry.path == "." || entry.path == "./") continue;
        if (hasGuessedCodePage(entry, source))
            return failed(ProofFailure::guessedCodePage, 1, entry.path);
        const std::string name = listedName(entry.path);
        const auto out = unpackedByName.find(name);
        const auto in = packedByName.find(name);
        if (isCleanedOnUnpacking(name) || out == unpackedByName.end() || in == packedByName.end())
            return failed(ProofFailure::nameChanged, 1, entry.path);
        for (std::size_t cut = name.rfind('/'); cut != std::string::npos && cut > 0;
             cut = name.rfind('/', cut - 1)) {
            // A folder seen before has its own folders in the set already.
            if (!listed.insert(name.substr(0, cut)).second) break;
        }
        listed.insert(name);
        if (!entry.link || entry.hardLink) continue;
        if (isAbsoluteTarget(entry.linkTarget))
            return failed(ProofFailure::absoluteLink, 1, entry.path);
        const UnpackedFile& file = *out->second;
        if (!file.link || !file.linkTarget || !sameTarget(entry, *file.linkTarget) ||
            !in->second->link || !sameTarget(*in->second, *file.linkTarget)) {
            return failed(ProofFailure::linkChanged, 1, entry.path);
        }
        if (isAbsoluteTarget(*file.linkTarget))
            return failed(ProofFailure::absoluteLink, 1, entry.path);
    }
    for (const UnpackedFile& file : unpacked) {
        if (!listed.contains(listedName(file.path)))
            return failed(ProofFailure::extraUnpacked, 1, file.path);
    }
    return {};
}

}  // namespace

bool ProofResult::keepsSource() const {
    switch (failure) {
        case ProofFailure::uncertainListing:
        case ProofFailure::specialEntry:
        case ProofFailure::folderWithData:
        case ProofFailure::alternateStream:
        case ProofFailure::antiItem:
        case ProofFailure::nameChanged:
        case ProofFailure::guessedCodePage:
        case ProofFailure::linkChanged:
        case ProofFailure::absoluteLink:
        case ProofFailure::extraUnpacked:
            return true;
        default:
            return false;
    }
}

std::string normalizedPath(std::string_view path) {
    std::string result(path);
    for (char& c : result) c = c == '\\' ? '/' : c;
    std::size_t start = 0;
    while (start < result.size()) {
        if (result[start] == '/') {
            ++start;
        } else if (result.compare(start, 2, "./") == 0) {
            start += 2;
        } else {
            break;
        }
    }
    return result.substr(start);
}

ProofResult checkSource(const Listing& source) {
    const ProofResult listed = checkListing(source, true);
    return listed.holds() ? checkSupported(source) : listed;
}

ProofResult proveConversion(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                            const Listing& packed, const ArchiveType& type) {
    ProofResult result = checkSource(source);
    if (result.holds()) result = checkListing(packed, false);
    if (!result.holds()) return result;
    // Folders are for the names; the content is the files and links.
    std::vector<UnpackedFile> files;
    for (const UnpackedFile& file : unpacked) {
        if (!file.folder) files.push_back(file);
    }
    const Listing content = comparable(source, type);
    std::vector<SourceFile> sourceFiles;
    result = checkUnpacked(content, files, sourceFiles);
    if (result.holds()) result = checkPacked(sourceFiles, content, packed);
    if (result.holds()) result = checkFolderPacked(files, packed);
    if (result.holds()) result = checkKinds(source);
    // A single stream is named after the archive, not by an entry.
    if (result.holds() && !type.singleStream) result = checkNames(source, unpacked, packed);
    return result;
}

}  // namespace pomu

// Comparing the source's listing, the unpacked files and the new archive's listing.
#include "convert/proof.h"

#include <algorithm>
#include <optional>

#include "convert/archiver.h"
#include "convert/keyed_groups.h"
#include "convert/zip_comment.h"

namespace pomu {
namespace {

constexpr std::uint32_t kNone = KeyedGroups::kNone;

using Entries = decltype(Listing::entries);

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

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// normalizedPath's name without a copy: its separators still either way.
std::string_view matchedName(std::string_view path) {
    std::size_t start = 0;
    while (start < path.size()) {
        if (isSeparator(path[start])) {
            ++start;
        } else if (path[start] == '.' && start + 1 < path.size() && isSeparator(path[start + 1])) {
            start += 2;
        } else {
            break;
        }
    }
    return path.substr(start);
}

// A listed name as it must come out: no "./" in front, no separator behind; its separators
// still either way.
std::string_view listedName(std::string_view path) {
    while (path.size() >= 2 && path[0] == '.' && isSeparator(path[1])) path.remove_prefix(2);
    while (!path.empty() && isSeparator(path.back())) path.remove_suffix(1);
    return path == "." ? std::string_view() : path;
}

// Names in the folded order, '\' sorting as '/': a folder's contents stand together.
bool namesBefore(std::string_view a, std::string_view b) {
    const auto folded = [](char c) { return static_cast<unsigned char>(c == '\\' ? '/' : c); };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return folded(x) < folded(y); });
}

bool startsWithName(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() && sameName(name.substr(0, prefix.size()), prefix);
}

std::uint64_t sizeHash(std::uint64_t size) {
    return spreadBits(size);
}

// A CRC as a key beside the size: given or not, and which.
std::uint64_t crcKey(std::optional<std::uint32_t> crc) {
    return crc ? (std::uint64_t(1) << 32) | *crc : 0;
}

std::uint64_t contentHash(std::uint64_t size, std::optional<std::uint32_t> crc) {
    return spreadBits(size ^ spreadBits(crcKey(crc)));
}

// The source's entries as far as their sizes and CRCs can be compared with the new archive's:
// no anti-items or alternate streams (they hold no file of their own), no CRC that is not a
// CRC-32, no size of a single stream (several members, or past 4 GiB, list it wrapped or
// partial), and a file copy with the CRC of the file it copies.
class Comparable {
  public:
    Comparable(const Listing& source, const ArchiveType& type) : source_(source), type_(type) {
        const bool copies =
            std::any_of(source.entries.begin(), source.entries.end(),
                        [](const ListedEntry& entry) { return !entry.copyOf.empty(); });
        if (copies) byPath_.emplace(source.entries.size(), PathOf{&source.entries});
    }

    bool counts(const ListedEntry& entry) const { return !entry.anti && !entry.altStream; }
    bool isContentFile(const ListedEntry& entry) const { return counts(entry) && isFile(entry); }

    std::optional<std::uint64_t> size(const ListedEntry& entry) const {
        if (type_.singleStream && !entry.folder) return std::nullopt;
        return entry.size;
    }

    std::optional<std::uint32_t> crc(const ListedEntry& entry) const {
        if (!type_.crc32 || (type_.singleStream && !entry.folder)) return std::nullopt;
        if (entry.copyOf.empty()) return entry.crc;
        // The first entry of exactly that path.
        for (std::uint32_t item = byPath_->first(entry.copyOf); item != kNone;
             item = byPath_->next(item)) {
            if (source_.entries[item].path == entry.copyOf) return source_.entries[item].crc;
        }
        return std::nullopt;
    }

  private:
    struct PathOf {
        const Entries* entries;
        std::string_view operator()(std::size_t item) const { return (*entries)[item].path; }
    };

    const Listing& source_;
    const ArchiveType& type_;
    std::optional<NameGroups<PathOf>> byPath_;
};

// The source's files with their sizes, a sizeless stream taking the size of what it unpacked to.
struct SourceFile {
    const ListedEntry* entry;
    std::uint64_t size;
};

// The unpacked files' names as the listings' names are matched against them.
struct UnpackedNameOf {
    const std::vector<const UnpackedFile*>* files;
    std::string_view operator()(std::size_t item) const {
        return matchedName((*files)[item]->path);
    }
};

// Every file of the source was unpacked: links by name, the rest by size.
ProofResult checkUnpacked(const Listing& source, const Comparable& content,
                          const std::vector<const UnpackedFile*>& unpacked,
                          std::vector<SourceFile>& sourceFiles) {
    std::vector<bool> taken(unpacked.size(), false);
    const auto left = [&](std::uint32_t item) { return !taken[item]; };
    // Only links and sizeless streams are matched by name, so most sources need no names.
    std::optional<NameGroups<UnpackedNameOf>> byName;
    auto takeByName = [&](std::string_view path) {
        if (!byName) byName.emplace(unpacked.size(), UnpackedNameOf{&unpacked});
        const std::uint32_t item = byName->firstLeft(matchedName(path), left);
        if (item != kNone) taken[item] = true;
        return item;
    };

    const std::size_t files = std::size_t(
        std::count_if(source.entries.begin(), source.entries.end(),
                      [&](const ListedEntry& entry) { return content.isContentFile(entry); }));
    sourceFiles.reserve(files);
    Tally missing(ProofFailure::notUnpacked);
    for (const ListedEntry& entry : source.entries) {
        if (!content.isContentFile(entry)) continue;
        if (entry.link) {
            if (takeByName(entry.path) == kNone) missing.add(entry.path);
        } else if (!content.size(entry)) {
            std::uint32_t standIn = takeByName(entry.path);
            // A single stream unpacks to one file, named after the archive, not the entry.
            if (standIn == kNone && files == 1 && unpacked.size() == 1) standIn = 0;
            if (standIn != kNone) {
                taken[standIn] = true;
                sourceFiles.push_back({&entry, unpacked[standIn]->size});
            } else {
                missing.add(entry.path);
            }
        }
    }
    // The files left, by size, each taken at most once.
    KeyedGroups bySize(unpacked.size());
    for (std::size_t item = unpacked.size(); item-- > 0;) {
        if (taken[item]) continue;
        const std::uint64_t size = unpacked[item]->size;
        bySize.add(std::uint32_t(item), sizeHash(size),
                   [&](std::uint32_t other) { return unpacked[other]->size == size; });
    }
    for (const ListedEntry& entry : source.entries) {
        if (!content.isContentFile(entry) || entry.link || !content.size(entry)) continue;
        const std::uint64_t size = *content.size(entry);
        const std::uint32_t item = bySize.firstLeft(
            sizeHash(size), [&](std::uint32_t other) { return unpacked[other]->size == size; },
            left);
        if (item != kNone) {
            taken[item] = true;
            sourceFiles.push_back({&entry, size});
        } else {
            missing.add(entry.path);
        }
    }
    return missing.result();
}

// The new archive's entries, found by name or by size and CRC, each taken at most once. Every
// way of finding one reads its group from where it last stopped: no entry is looked at twice.
class PackedPool {
    // First, so that their types are known where they are used.
    std::uint64_t sizeOf(std::size_t item) const { return entries_[item].size.value_or(0); }
    auto isLeft() const {
        return [this](std::uint32_t item) { return !taken_[item]; };
    }
    auto hasSize(std::uint64_t size) const {
        return [this, size](std::uint32_t item) { return sizeOf(item) == size; };
    }
    auto hasContent(std::uint64_t size, std::optional<std::uint32_t> crc) const {
        return [this, size, crc](std::uint32_t item) {
            return sizeOf(item) == size && crcKey(entries_[item].crc) == crcKey(crc);
        };
    }

  public:
    explicit PackedPool(const Listing& packed)
        : entries_(packed.entries), taken_(entries_.size(), false), bySize_(entries_.size()) {
        for (std::size_t item = entries_.size(); item-- > 0;) {
            if (isFile(entries_[item])) {
                bySize_.add(std::uint32_t(item), sizeHash(sizeOf(item)), hasSize(sizeOf(item)));
            }
        }
    }

    // A link is kept when an entry of its name is there: a folder, or a file not yet taken.
    bool takeName(std::string_view path, bool withContents) {
        if (!byName_) byName_.emplace(entries_.size(), PackedNameOf{&entries_});
        const std::string_view name = matchedName(path);
        const std::uint32_t item = byName_->firstLeft(
            name, [&](std::uint32_t other) { return entries_[other].folder || !taken_[other]; });
        if (item == kNone) return false;
        if (entries_[item].folder) {
            // A followed folder link was packed with its contents, copies of files
            // counted elsewhere.
            if (withContents) takeBelow(name);
        } else {
            taken_[item] = true;
        }
        return true;
    }

    // exact: the CRC must be given on both sides and equal; else only where both give one.
    bool take(std::uint64_t size, std::optional<std::uint32_t> crc, bool exact) {
        if (exact && !crc) return false;
        // Exact: an entry of this CRC; with a CRC, one without a CRC; without, any of the size.
        const std::uint32_t item =
            exact || crc
                ? bySizeAndCrc().firstLeft(contentHash(size, exact ? crc : std::nullopt),
                                           hasContent(size, exact ? crc : std::nullopt), isLeft())
                : bySize_.firstLeft(sizeHash(size), hasSize(size), isLeft());
        if (item == kNone) return false;
        taken_[item] = true;
        return true;
    }

    bool anyLeftOfSize(std::uint64_t size) {
        return bySize_.firstLeft(sizeHash(size), hasSize(size), isLeft()) != kNone;
    }

    // The first file not taken, by size and then in the listing's order, and how many are left.
    std::pair<int, std::string_view> left() const {
        int count = 0;
        std::size_t first = entries_.size();
        for (std::size_t item = 0; item < entries_.size(); ++item) {
            if (!isFile(entries_[item]) || taken_[item]) continue;
            ++count;
            if (first == entries_.size() || sizeOf(item) < sizeOf(first)) first = item;
        }
        return {count, count ? entries_[first].path : std::string_view()};
    }

  private:
    struct PackedNameOf {
        const Entries* entries;
        std::string_view operator()(std::size_t item) const {
            return matchedName((*entries)[item].path);
        }
    };

    // Every file below the folder: rare (a followed folder link), so the names are put in
    // order only when one is met.
    void takeBelow(std::string_view folder) {
        if (inOrder_.empty()) {
            inOrder_.resize(entries_.size());
            for (std::size_t item = 0; item < entries_.size(); ++item) {
                inOrder_[item] = std::uint32_t(item);
            }
            std::stable_sort(inOrder_.begin(), inOrder_.end(),
                             [&](std::uint32_t a, std::uint32_t b) {
                                 return namesBefore(matchedName(entries_[a].path),
                                                    matchedName(entries_[b].path));
                             });
        }
        const std::string prefix = std::string(folder) + "/";
        auto it = std::lower_bound(inOrder_.begin(), inOrder_.end(), prefix,
                                   [&](std::uint32_t item, const std::string& wanted) {
                                       return namesBefore(matchedName(entries_[item].path), wanted);
                                   });
        for (; it != inOrder_.end(); ++it) {
            if (!startsWithName(matchedName(entries_[*it].path), prefix)) break;
            if (isFile(entries_[*it])) taken_[*it] = true;
        }
    }

    // Only the source's files are matched by CRC: the working folder's have none.
    KeyedGroups& bySizeAndCrc() {
        if (bySizeAndCrc_) return *bySizeAndCrc_;
        KeyedGroups& groups = bySizeAndCrc_.emplace(entries_.size());
        for (std::size_t item = entries_.size(); item-- > 0;) {
            const ListedEntry& entry = entries_[item];
            if (!isFile(entry)) continue;
            groups.add(std::uint32_t(item), contentHash(sizeOf(item), entry.crc),
                       hasContent(sizeOf(item), entry.crc));
        }
        return groups;
    }

    const Entries& entries_;
    std::vector<bool> taken_;
    KeyedGroups bySize_;
    std::optional<KeyedGroups> bySizeAndCrc_;
    std::optional<NameGroups<PackedNameOf>> byName_;
    std::vector<std::uint32_t> inOrder_;
};

// Every file of the source is in the new archive: with its size and CRC where both listings
// give one, with its size alone where one of them does not.
ProofResult checkPacked(const std::vector<SourceFile>& sourceFiles, const Listing& source,
                        const Comparable& content, const Listing& packed) {
    PackedPool pool(packed);
    Tally missing(ProofFailure::missingInArchive);
    Tally different(ProofFailure::different);
    for (const ListedEntry& entry : source.entries) {
        if (content.isContentFile(entry) && entry.link && !pool.takeName(entry.path, false)) {
            missing.add(entry.path);
        }
    }
    std::vector<const SourceFile*> withCrc, withoutCrc;
    for (const SourceFile& file : sourceFiles) {
        const std::optional<std::uint32_t> crc = content.crc(*file.entry);
        if (crc && pool.take(file.size, crc, true)) continue;
        (crc ? withCrc : withoutCrc).push_back(&file);
    }
    // Those that need an entry without a CRC go first; those without one take any.
    withCrc.insert(withCrc.end(), withoutCrc.begin(), withoutCrc.end());
    for (const SourceFile* file : withCrc) {
        if (pool.take(file->size, content.crc(*file->entry), false)) continue;
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
ProofResult checkFolderPacked(const std::vector<const UnpackedFile*>& unpacked,
                              const Listing& packed) {
    PackedPool pool(packed);
    Tally missing(ProofFailure::missingInArchive);
    for (const UnpackedFile* file : unpacked) {
        if (file->link && !pool.takeName(file->path, true)) missing.add(file->path);
    }
    for (const UnpackedFile* file : unpacked) {
        if (!file->link && !pool.take(file->size, std::nullopt, false)) missing.add(file->path);
    }
    if (missing.count) return missing.result();
    const auto [extra, first] = pool.left();
    return extra ? failed(ProofFailure::extraInArchive, extra, first) : ProofResult{};
}

// The files' content: unpacked as listed, and packed as unpacked. Folders are for the names.
ProofResult checkContent(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                         const Listing& packed, const ArchiveType& type) {
    std::vector<const UnpackedFile*> files;
    for (const UnpackedFile& file : unpacked) {
        if (!file.folder) files.push_back(&file);
    }
    const Comparable content(source, type);
    std::vector<SourceFile> sourceFiles;
    ProofResult result = checkUnpacked(source, content, files, sourceFiles);
    if (result.holds()) result = checkPacked(sourceFiles, source, content, packed);
    if (result.holds()) result = checkFolderPacked(files, packed);
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

// A name the archiver would not unpack as it stands: absolute, with a drive, or with "..".
bool isCleanedOnUnpacking(std::string_view name) {
    if ((!name.empty() && isSeparator(name[0])) || (name.size() >= 2 && name[1] == ':'))
        return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
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
    if (listing.type != "zip" || entry.utf8) return false;
    return std::any_of(entry.path.begin(), entry.path.end(),
                       [](char c) { return (unsigned char)c >= 0x80; });
}

// A link target against an entry that holds it as its data, or lists it.
bool sameTarget(const ListedEntry& entry, const std::string& target) {
    if (!entry.linkTarget.empty()) return entry.linkTarget == target;
    if (entry.size && *entry.size != target.size()) return false;
    return !entry.crc || *entry.crc == crc32(target);
}

// Times whose seconds are even (DOS times, 2 s apart) may be rounded either way when written.
bool hasDosTimes(const Listing& listing) {
    return listing.type == "zip" || listing.type == "Lzh" || listing.type == "Cab" ||
           listing.type == "Arj";
}

// The same time at the coarser of the two sides' precisions.
bool sameTime(const ListedTime& a, const ListedTime& b, bool dos) {
    const int digits = std::min(a.digits, b.digits);
    std::int64_t unit = 1;
    for (int digit = digits; digit < 7; ++digit) unit *= 10;
    const std::int64_t difference = a.ticks / unit - b.ticks / unit;
    return difference == 0 || (dos && digits == 0 && (difference == 1 || difference == -1));
}

// The file's modification time came through to the new archive.
bool keptDate(const ListedEntry& entry, const ListedEntry& packed, bool dos) {
    if (entry.folder || entry.link) return true;
    // A date that cannot be read cannot be shown kept.
    if (entry.unreadableTime()) return false;
    const std::optional<ListedTime> listed = entry.modified();
    if (!listed) return true;
    const std::optional<ListedTime> kept = packed.modified();
    return kept && sameTime(*listed, *kept, dos);
}

// U+EF80-U+EFFF (a byte that is not UTF-8) and U+F000-U+F07F (a character Windows forbids),
// in UTF-8: EE BE xx, EE BF xx, EF 80 xx, EF 81 xx.
std::size_t escapeAt(std::string_view name, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    if (at + 3 > name.size()) return 0;
    const bool high = byte(at) == 0xEE && (byte(at + 1) == 0xBE || byte(at + 1) == 0xBF);
    const bool low = byte(at) == 0xEF && (byte(at + 1) == 0x80 || byte(at + 1) == 0x81);
    return high || low ? 3 : 0;
}

// The name with each escape shown as '?', when it holds one.
std::optional<std::string> escapedName(std::string_view name) {
    std::string shown;
    bool escaped = false;
    for (std::size_t at = 0; at < name.size();) {
        if (const std::size_t length = escapeAt(name, at)) {
            shown += '?';
            escaped = true;
            at += length;
        } else {
            shown += name[at++];
        }
    }
    return escaped ? std::optional(shown) : std::nullopt;
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
        // LZH lists its folders with a CRC field of 0: a size of 0 says there is no data.
        if (entry.folder && (entry.size ? *entry.size > 0 : entry.crc.has_value())) {
            return failed(ProofFailure::folderWithData, 1, entry.path, true);
        }
        // LZH made on Unix keeps a link as a folder "name|target", which 7-Zip unpacks as one.
        if (entry.folder && source.type == "Lzh") {
            const std::string_view name = listedName(entry.path);
            const std::size_t bar = name.find('|');
            if (bar != std::string_view::npos && bar > 0) {
                return failed(ProofFailure::linkAsFolder, 1, name.substr(0, bar), true);
            }
        }
    }
    return {};
}

// Every listed name came out and went in as it is listed; links with their targets; and the
// working folder held nothing the source does not list.
ProofResult checkNames(const Listing& source, const std::vector<UnpackedFile>& unpacked,
                       const Listing& packed) {
    if (archiver::kRenamesLineBreaks && !source.lineBreakName.empty()) {
        return failed(ProofFailure::escapedName, 1, source.lineBreakName);
    }
    const bool dos = hasDosTimes(source) || hasDosTimes(packed);
    // Both sides' names in one index, the working folder's first: a name is looked up once.
    const std::size_t outside = unpacked.size();
    NameGroups byName(outside + packed.entries.size(), [&](std::size_t item) {
        return listedName(item < outside ? std::string_view(unpacked[item].path)
                                         : packed.entries[item - outside].path);
    });
    // The first entry of a name on one side, from the first of the name on both.
    const auto firstOn = [&](std::uint32_t item, bool packedSide) {
        while (item != kNone && (item >= outside) != packedSide) item = byName.next(item);
        return item;
    };
    // The unpacked entries the source lists, itself or as a folder above a name.
    std::vector<bool> listed(outside, false);
    // Marks every unpacked entry of a name; false when they were marked before.
    const auto markListed = [&](std::uint32_t first) {
        if (listed[first]) return false;
        for (std::uint32_t item = first; item != kNone && item < outside;
             item = byName.next(item)) {
            listed[item] = true;
        }
        return true;
    };
    for (const ListedEntry& entry : source.entries) {
        if (entry.path.empty() || entry.path == "." || entry.path == "./") continue;
        if (hasGuessedCodePage(entry, source))
            return failed(ProofFailure::guessedCodePage, 1, entry.path);
        const std::string_view name = listedName(entry.path);
        const std::uint32_t first = byName.first(name);
        const std::uint32_t out = firstOn(first, false);
        const std::uint32_t in = firstOn(first, true);
        if (isCleanedOnUnpacking(name) || out == kNone || in == kNone)
            return failed(ProofFailure::nameChanged, 1, entry.path);
        for (std::size_t cut = name.find_last_of("/\\"); cut != std::string_view::npos && cut > 0;
             cut = name.find_last_of("/\\", cut - 1)) {
            const std::uint32_t folder = firstOn(byName.first(name.substr(0, cut)), false);
            // A folder seen before has its own folders marked already.
            if (folder != kNone && !markListed(folder)) break;
        }
        markListed(out);
        if (archiver::kEscapesNames) {
            if (const std::optional<std::string> shown = escapedName(entry.path)) {
                return failed(ProofFailure::escapedName, 1, *shown);
            }
        }

        if (!keptDate(entry, packed.entries[in - outside], dos)) {
            return failed(ProofFailure::dateNotKept, 1, entry.path);
        }
        if (!entry.link || entry.hardLink) continue;
        if (isAbsoluteTarget(entry.linkTarget))
            return failed(ProofFailure::absoluteLink, 1, entry.path);
        const UnpackedFile& file = unpacked[out];
        const ListedEntry& packedLink = packed.entries[in - outside];
        if (!file.link || !file.linkTarget || !sameTarget(entry, *file.linkTarget) ||
            !packedLink.link || !sameTarget(packedLink, *file.linkTarget)) {
            return failed(ProofFailure::linkChanged, 1, entry.path);
        }
        if (isAbsoluteTarget(*file.linkTarget))
            return failed(ProofFailure::absoluteLink, 1, entry.path);
    }
    for (std::size_t item = 0; item < unpacked.size(); ++item) {
        if (!listed[item]) return failed(ProofFailure::extraUnpacked, 1, unpacked[item].path);
    }
    return {};
}

// A new ZIP holds only what every zip reader opens: Deflate, or Store.
ProofResult checkMethods(const Listing& packed) {
    if (packed.entriesType != "zip") return {};
    for (const ListedEntry& entry : packed.entries) {
        if (!entry.folder && entry.otherMethod) {
            return failed(ProofFailure::otherMethod, 1, entry.path);
        }
    }
    return {};
}

// The source's comments are data: its own comment goes into a new ZIP exactly as listed, and
// any comment the new archive cannot hold (a 7z has none, 7-Zip writes no file's) keeps it.
ProofResult checkComments(const Listing& source, const Listing& packed, const ArchiveType& type) {
    if (!type.comments) return {};
    if (source.commentUnshown) return failed(ProofFailure::commentUnshown, 0, {}, true);
    for (const ListedEntry& entry : source.entries) {
        if (entry.commented) return failed(ProofFailure::fileComment, 1, entry.path, true);
    }
    if (packed.entriesType != "zip") {
        if (!source.comment) return {};
        return failed(ProofFailure::noCommentPlace, 0, {}, true);
    }
    if (source.comment && source.comment->size() > kMaxZipCommentBytes) {
        return failed(ProofFailure::commentTooLong, 0, {}, true);
    }
    // A zip's comment is copied from its end record; another's is the listed text, where a
    // return may stand for what the listing shows as '_'.
    if (archiver::kShowsReturnAsUnderscore && type.type != "zip" && source.comment &&
        source.comment->find('_') != std::string::npos) {
        return failed(ProofFailure::uncertainListing, 0, {}, true);
    }
    if (source.comment != packed.comment) return failed(ProofFailure::commentNotKept, 0, {}, true);
    return {};
}

}  // namespace

std::string normalizedPath(std::string_view path) {
    std::string result(matchedName(path));
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
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
    result = checkContent(source, unpacked, packed, type);
    if (result.holds()) result = checkMethods(packed);
    if (result.holds()) result = checkKinds(source);
    // A single stream is named after the archive, not by an entry.
    if (result.holds() && !type.singleStream) result = checkNames(source, unpacked, packed);
    if (result.holds()) result = checkComments(source, packed, type);
    return result;
}

}  // namespace pomu

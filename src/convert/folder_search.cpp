// The search of dropped folders: which names count, their order, the question, the drop.
#include "convert/folder_search.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "convert/archive_types.h"
#include "convert/job.h"
#include "convert/plan.h"

namespace pomu {
namespace {

bool isDigit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

bool endsWithSeparator(NativeView path) {
    return !path.empty() && (path.back() == kSeparator || path.back() == Char('/'));
}

// Later volumes go with their first volume when it lies beside them.
void leaveOutLaterVolumes(std::vector<platform::FolderEntry>& entries) {
    std::unordered_set<NativeString> names;
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind == platform::FolderEntry::Kind::file) names.insert(nameKey(entry.name));
    }
    std::erase_if(entries, [&](const platform::FolderEntry& entry) {
        if (entry.kind != platform::FolderEntry::Kind::file) return false;
        const std::optional<NativeString> first = firstVolumeOf(entry.name);
        return first && names.contains(nameKey(*first));
    });
}

NativeString counted(std::size_t count, NativeView one, NativeView many) {
    return toNative(static_cast<long long>(count)) + POMU_T(" ") +
           NativeString(count == 1 ? one : many);
}

}  // namespace

bool isArchiveToSearchFor(NativeView name, bool zip) {
    return hasArchiveEnding(name) && !isSkipped(name, zip);
}

bool comesBefore(NativeView a, NativeView b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            while (i < a.size() && a[i] == Char('0')) ++i;
            while (j < b.size() && b[j] == Char('0')) ++j;
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA])) ++endA;
            while (endB < b.size() && isDigit(b[endB])) ++endB;
            if (endA - i != endB - j) return endA - i < endB - j;
            const int order = a.substr(i, endA - i).compare(b.substr(j, endB - j));
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        const Char x = asciiLower(a[i]), y = asciiLower(b[j]);
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b;
}

NativeString folderNameOf(NativeView folder) {
    NativeView trimmed = folder;
    while (trimmed.size() > 1 && endsWithSeparator(trimmed)) trimmed.remove_suffix(1);
    const NativeView name = fileNameOf(trimmed);
    if (name.empty() || name.back() == Char(':')) return NativeString(folder);
    return NativeString(name);
}

FolderSearch::FolderSearch(NativeString folder, bool zip) : root_(std::move(folder)), zip_(zip) {
    pending_.push_back({root_, true});
}

bool FolderSearch::advance(std::size_t entries) {
    for (std::size_t step = 0; step < entries; ++step) {
        if (reader_) {
            std::optional<platform::FolderEntry> entry = reader_->next();
            if (!entry) {
                endFolder();
                continue;
            }
            ++read_;
            using Kind = platform::FolderEntry::Kind;
            if (entry->kind == Kind::folder ||
                (entry->kind == Kind::file && isArchiveToSearchFor(entry->name, zip_))) {
                listed_.push_back(std::move(*entry));
            }
            continue;
        }
        if (pending_.empty()) return true;
        Pending next = std::move(pending_.back());
        pending_.pop_back();
        if (!next.folder) {
            found_.push_back({std::move(next.path), std::nullopt});
            ++archives_;
            continue;
        }
        NativeString why;
        // Only the dropped folder itself may be a link: the user chose it.
        reader_ = platform::openFolder(next.path, !rootOpened_, &why);
        rootOpened_ = true;
        if (!reader_) {
            found_.push_back({std::move(next.path), std::move(why)});
            continue;
        }
        reading_ = std::move(next.path);
    }
    return !reader_ && pending_.empty();
}

void FolderSearch::endFolder() {
    // What was read before a listing broke off is still searched.
    if (!reader_->failure().empty()) found_.push_back({reading_, reader_->failure()});
    reader_.reset();
    leaveOutLaterVolumes(listed_);
    std::sort(listed_.begin(), listed_.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
                  return comesBefore(b.name, a.name);  // reversed: the first ends at the back
              });
    NativeString prefix = reading_;
    if (!endsWithSeparator(prefix)) prefix += kSeparator;
    for (platform::FolderEntry& entry : listed_) {
        pending_.push_back(
            {prefix + entry.name, entry.kind == platform::FolderEntry::Kind::folder});
    }
    listed_.clear();
}

DropSearch::DropSearch(std::vector<NativeString> paths, bool zip) : paths_(std::move(paths)) {
    searches_.resize(paths_.size());
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (platform::isFolder(paths_[i])) searches_[i].emplace(paths_[i], zip);
    }
}

bool DropSearch::hasFolders() const {
    return std::any_of(searches_.begin(), searches_.end(),
                       [](const std::optional<FolderSearch>& s) { return s.has_value(); });
}

bool DropSearch::advance(std::size_t entries) {
    while (searching_ < searches_.size()) {
        std::optional<FolderSearch>& search = searches_[searching_];
        if (search && !search->advance(entries)) return false;
        ++searching_;
    }
    return true;
}

std::size_t DropSearch::entriesRead() const {
    std::size_t read = 0;
    for (const auto& search : searches_) read += search ? search->entriesRead() : 0;
    return read;
}

std::size_t DropSearch::archives() const {
    std::size_t found = 0;
    for (const auto& search : searches_) found += search ? search->archives() : 0;
    return found;
}

NativeString DropSearch::question() const {
    std::vector<NativeString> folders;
    std::map<NativeString, std::size_t> endings;
    for (const auto& search : searches_) {
        if (!search || search->archives() == 0) continue;
        folders.push_back(folderNameOf(search->folder()));
        for (const FolderSearch::Found& found : search->found()) {
            if (found.unsearched) continue;
            NativeString ending(findExtension(found.path));
            for (Char& c : ending) c = asciiLower(c);
            ++endings[ending];
        }
    }
    NativeString text = POMU_T("Convert the ") +
                        counted(archives(), POMU_T("archive"), POMU_T("archives")) + POMU_T(" in ");
    if (folders.size() > 3) {
        text += counted(folders.size(), POMU_T("folder"), POMU_T("folders"));
    } else {
        for (std::size_t i = 0; i < folders.size(); ++i) {
            if (i > 0) text += POMU_T(", ");
            text += folders[i];
        }
    }
    text += folders.size() == 1 ? POMU_T(" and its subfolders?") : POMU_T(" and their subfolders?");
    // The most common ending first.
    std::vector<std::pair<NativeString, std::size_t>> byCount(endings.begin(), endings.end());
    std::stable_sort(byCount.begin(), byCount.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    text += kLineBreak;
    for (std::size_t i = 0; i < byCount.size(); ++i) {
        text += i == 0 ? NativeString(kLineBreak) : NativeString(POMU_T(", "));
        text +=
            toNative(static_cast<long long>(byCount[i].second)) + POMU_T(" ") + byCount[i].first;
    }
    return text;
}

Drop DropSearch::result(bool convertFound) const {
    Drop drop;
    const auto settle = [&drop](const NativeString& path, ConversionOutcome outcome) {
        drop.settled.emplace(drop.paths.size(), std::move(outcome));
        drop.paths.push_back(path);
    };
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        const std::optional<FolderSearch>& search = searches_[i];
        if (!search || (search->archives() > 0 && !convertFound)) {
            drop.paths.push_back(paths_[i]);
            continue;
        }
        const std::vector<FolderSearch::Found>& found = search->found();
        // A folder that could not be read at all is said to be so, not to be empty.
        const bool unread =
            !found.empty() && found.front().unsearched && found.front().path == search->folder();
        if (search->archives() == 0 && !unread) {
            settle(paths_[i], outcomeOf(Reason::noArchives, folderNameOf(paths_[i])));
        }
        for (const FolderSearch::Found& item : found) {
            if (!item.unsearched) {
                drop.paths.push_back(item.path);
                continue;
            }
            ConversionOutcome outcome = outcomeOf(Reason::folderUnsearched, item.path);
            outcome.cause = *item.unsearched;
            settle(item.path, std::move(outcome));
        }
    }
    return drop;
}

}  // namespace pomu

// Searching dropped folders for the files pomu would re-pack, a slice at a time, and the drop
// the batch then takes in their place.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "convert/batch.h"
#include "platform/platform.h"

namespace pomu {

// A name found in a dropped folder that pomu would re-pack: an ending of the archive types it
// accepts (programs left out), and not already in the target format.
bool isArchiveToSearchFor(NativeView name, bool zip);

// Name order within a folder, as file managers sort: A-Z folded, runs of digits by their value
// ("Issue 2" before "Issue 10"); names alike by those rules in the order of their characters.
bool comesBefore(NativeView a, NativeView b);

// A folder as the user knows it: its last name, or the whole path where it has none (a drive's
// root, "/").
NativeString folderNameOf(NativeView folder);

// One dropped folder searched with its subfolders, in name order. Links are never followed,
// so the search stays inside the folder; a folder it cannot read is noted and it goes on.
class FolderSearch {
  public:
    struct Found {
        NativeString path;
        std::optional<NativeString> unsearched;  // a folder that could not be read: why
    };

    FolderSearch(NativeString folder, bool zip);
    // Reads at most this many more entries; true once the whole tree has been read.
    bool advance(std::size_t entries);
    std::size_t entriesRead() const { return read_; }
    const NativeString& folder() const { return root_; }
    // The files to convert and the folders that could not be read, each at its place in name
    // order; a later volume of a set whose first volume is beside it is left out.
    const std::vector<Found>& found() const { return found_; }
    std::size_t archives() const { return archives_; }

  private:
    struct Pending {
        NativeString path;
        bool folder = false;
    };
    void endFolder();

    NativeString root_;
    bool zip_;
    std::vector<Pending> pending_;  // what is still to look at, the next one at the back
    std::optional<platform::FolderReader> reader_;
    NativeString reading_;  // the folder being read
    std::vector<platform::FolderEntry> listed_;
    std::vector<Found> found_;
    std::size_t read_ = 0;
    std::size_t archives_ = 0;
    bool rootOpened_ = false;
};

// A drop whose folders are searched before the batch takes it.
class DropSearch {
  public:
    DropSearch(std::vector<NativeString> paths, bool zip);
    bool hasFolders() const;
    // Searches on for at most this many entries; true once every folder has been searched.
    bool advance(std::size_t entries);
    std::size_t entriesRead() const;
    std::size_t archives() const;
    // "Convert the 37 archives in Comics and its subfolders?", then the counts by ending.
    NativeString question() const;
    // The drop as the batch takes it. Folders with archives: replaced by them when the user
    // said yes, else left as dropped. A folder without any is "no archives in" it; a folder
    // the search could not read says so, at its place.
    Drop result(bool convertFound) const;

  private:
    std::vector<NativeString> paths_;
    std::vector<std::optional<FolderSearch>> searches_;  // one per path; a folder's only
    std::size_t searching_ = 0;                          // the first search not done
};

}  // namespace pomu

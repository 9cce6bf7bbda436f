// The private working folder "pomu" under the temp folder, where each archive is unpacked.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace pomu {

// "<temp>pomu<sep>", or "<temp>pomu-<n><sep>" for the n-th instance converting at the same
// time; empty when the temp folder cannot be read or the path does not fit.
std::optional<NativeString> workspacePath(int slot = 1);

// What a job noted before its archiver began to write, found again by a later start when the
// job never finished (pomu killed, a crash, a power cut).
struct OutputNote {
    NativeString target;  // empty until an output is about to be written
    bool split = false;   // the output is the target's volumes from .001 on
    // A working folder beside the target instead of in the temp folder: cleared and removed
    // by the start that finds the note.
    NativeString folder;
    // Each output as it was seen once the archiver had created it: 0 for the target, n for
    // its n-th volume. Only these are this run's own; a file made there later is not.
    std::vector<std::pair<int, platform::FileIdentity>> written;
};

// The file standing at an output now is the one seen: the same file, grown or not. Where the
// generation is unknown (FAT, FUSE, network shares) a later file can take the same index: then
// only the file exactly as it was seen.
bool isWrittenOutput(const platform::FileIdentity& now, const platform::FileIdentity& seen);

// Removes everything inside the folder, recursively, and leaves the folder itself.
void clearFolder(NativeView folder);

// A prepared workspace: created, or emptied when it was left by an earlier job, and locked
// against other instances. It is cleared and removed when the object goes, however the job
// ends, so no unpacked data stays in the temp folder.
class Workspace {
  public:
    Workspace(Workspace&& other) noexcept;
    Workspace& operator=(Workspace&&) noexcept = delete;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    ~Workspace();

    const NativeString& path() const { return path_; }
    // Clears and removes the folder now (after compression). The note stays until the output
    // is proven or gone.
    void remove();

    // Before compression: notes beside the folder which output is about to be written, so a
    // run cut short can be undone. False when the note cannot be written.
    bool noteOutput(NativeView target, bool split);
    // Adds (or updates) the identity of an output the archiver has created to the note.
    bool noteWritten(int number, const platform::FileIdentity& identity);
    // The noted output is proven (or removed): nothing is left for a later start to undo.
    void forgetOutput();
    // The noted outputs could not all be removed (another program holds one): the note stays
    // for the next start to undo them, whatever becomes of this workspace.
    void leaveNote();

  private:
    Workspace(NativeString path, NativeString notePath, std::optional<NativeString> lastingNotePath,
              platform::FileLock lock);
    bool writeNote();
    NativeString path_;
    NativeString notePath_;
    std::optional<NativeString> lastingNotePath_;
    OutputNote note_;
    std::optional<platform::FileLock> lock_;
    bool removed_ = false;
    bool noteLeft_ = false;
    friend std::optional<Workspace> prepareWorkspace(std::optional<NativeView> besideFolder);
};

// Empty when there is no usable workspace: the job then extracts nothing. A slot still holding
// the note of an unfinished job is left for the next start to undo. With `besideFolder` (a
// folder path ending in a separator) the working folder is a hidden one of pomu's own there,
// for a temp folder too small: noted before it is made, and holding its note, so a start
// after a crash removes it; the files are unpacked into a folder inside it.
std::optional<Workspace> prepareWorkspace(std::optional<NativeView> besideFolder = std::nullopt);

// The hidden folder prepareWorkspace makes in that folder for the n-th slot.
NativeString besideWorkspacePath(NativeView folder, int slot);

// At start: for each workspace that no running instance (nor its archiver) holds, hands the
// note of a job that never finished to `undo`, then clears and removes the folder. The note
// goes once `undo` says nothing is left to undo; otherwise the next start tries again.
void clearLeftWorkspaces(const std::function<bool(const OutputNote&)>& undo);

}  // namespace pomu

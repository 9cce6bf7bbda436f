// The private working folder "pomu" under the temp folder, where each archive is unpacked.
#pragma once

#include <optional>

#include "platform/platform.h"

namespace pomu {

// "<temp>pomu<sep>", or "<temp>pomu-<n><sep>" for the n-th instance converting at the same
// time; empty when the temp folder cannot be read or the path does not fit.
std::optional<NativeString> workspacePath(int slot = 1);

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
    // Clears and removes the folder now (after compression).
    void remove();

private:
    Workspace(NativeString path, platform::FileLock lock);
    NativeString path_;
    std::optional<platform::FileLock> lock_;
    bool removed_ = false;
    friend std::optional<Workspace> prepareWorkspace();
};

// Empty when there is no usable workspace: the job then extracts nothing.
std::optional<Workspace> prepareWorkspace();

}  // namespace pomu

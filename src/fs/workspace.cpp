// Computing, preparing, clearing and removing the working folder.
#include "fs/workspace.h"

namespace pomu {
namespace {

constexpr NativeView kFolderName = POMU_T("pomu");
// Instances beyond this many converting at once get no workspace.
constexpr int kMaxSlots = 16;

NativeString slotName(int slot) {
    NativeString name(kFolderName);
    if (slot > 1) {
        name += Char('-');
        name += toNative(slot);
    }
    return name;
}

std::optional<NativeString> lockPath(int slot) {
    std::optional<NativeString> temp = platform::tempFolder();
    if (!temp) return std::nullopt;
    NativeString path = *temp + slotName(slot) + POMU_T(".lock");
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

}  // namespace

std::optional<NativeString> workspacePath(int slot) {
    std::optional<NativeString> temp = platform::tempFolder();
    if (!temp || temp->empty()) return std::nullopt;
    NativeString path = *temp + slotName(slot);
    path += kSeparator;
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

void clearFolder(NativeView folder) {
    if (folder.empty()) return;  // never the current drive's root
    platform::clearFolderContents(folder);
}

Workspace::Workspace(NativeString path, platform::FileLock lock)
    : path_(std::move(path)), lock_(std::move(lock)) {}

Workspace::Workspace(Workspace&& other) noexcept
    : path_(std::move(other.path_)), lock_(std::move(other.lock_)), removed_(other.removed_) {
    other.lock_.reset();
    other.removed_ = true;  // the moved-from object owns nothing to clear
}

Workspace::~Workspace() { remove(); }

void Workspace::remove() {
    if (removed_ || path_.empty()) return;
    removed_ = true;
    clearFolder(path_);
    platform::removeFolder(path_);
}

std::optional<Workspace> prepareWorkspace() {
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        const std::optional<NativeString> path = workspacePath(slot);
        const std::optional<NativeString> lockFile = lockPath(slot);
        if (!path || !lockFile) return std::nullopt;
        std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // another instance is converting in this one
        if (platform::pathExists(*path)) {
            // A folder someone else planted (or a link) is never unpacked into nor cleared.
            if (!platform::isPrivateFolder(*path)) return std::nullopt;
            clearFolder(*path);
        } else if (!platform::createFolder(*path) || !platform::isPrivateFolder(*path)) {
            return std::nullopt;
        }
        return Workspace(*path, std::move(*lock));
    }
    return std::nullopt;
}

}  // namespace pomu

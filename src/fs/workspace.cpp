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

constexpr std::string_view kNoteHeader = "pomu output note\n";
constexpr std::size_t kNoteLimit = 64 * 1024;

// "<temp><slot name><ending>", beside the folder: the lock and the note.
std::optional<NativeString> besidePath(int slot, NativeView ending) {
    std::optional<NativeString> temp = platform::tempFolder();
    if (!temp) return std::nullopt;
    NativeString path = *temp + slotName(slot);
    path += ending;
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

std::optional<NativeString> lockPath(int slot) {
    return besidePath(slot, POMU_T(".lock"));
}
std::optional<NativeString> notePath(int slot) {
    return besidePath(slot, POMU_T(".note"));
}

// The header, the split flag on a line, then the target's own bytes (UTF-16 on Windows).
std::string noteText(NativeView target, bool split) {
    std::string text(kNoteHeader);
    text += split ? "1\n" : "0\n";
    text.append(reinterpret_cast<const char*>(target.data()), target.size() * sizeof(Char));
    return text;
}

// Empty for a note cut short (a power cut while it was written: nothing was compressed yet).
std::optional<OutputNote> parseNote(const std::string& text, std::int64_t noted) {
    const std::size_t head = kNoteHeader.size() + 2;
    if (text.size() <= head || !text.starts_with(kNoteHeader) || text[head - 1] != '\n' ||
        (text[head - 2] != '0' && text[head - 2] != '1') ||
        (text.size() - head) % sizeof(Char) != 0) {
        return std::nullopt;
    }
    OutputNote note;
    note.split = text[head - 2] == '1';
    note.target.resize((text.size() - head) / sizeof(Char));
    text.copy(reinterpret_cast<char*>(note.target.data()), text.size() - head, head);
    note.noted = noted;
    if (note.target.find(Char('\0')) != NativeString::npos) return std::nullopt;
    return note;
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

Workspace::Workspace(NativeString path, NativeString notePath, platform::FileLock lock)
    : path_(std::move(path)), notePath_(std::move(notePath)), lock_(std::move(lock)) {}

Workspace::Workspace(Workspace&& other) noexcept
    : path_(std::move(other.path_)),
      notePath_(std::move(other.notePath_)),
      lock_(std::move(other.lock_)),
      removed_(other.removed_) {
    other.lock_.reset();
    other.notePath_.clear();
    other.removed_ = true;  // the moved-from object owns nothing to clear
}

Workspace::~Workspace() {
    remove();
    forgetOutput();
}

void Workspace::remove() {
    if (removed_ || path_.empty()) return;
    removed_ = true;
    clearFolder(path_);
    platform::removeFolder(path_);
}

bool Workspace::noteOutput(NativeView target, bool split) {
    return !removed_ && platform::writePrivateFile(notePath_, noteText(target, split));
}

void Workspace::forgetOutput() {
    // Once it is gone, nothing of this job is undone by a later start.
    if (!notePath_.empty()) platform::removeFile(notePath_);
}

std::optional<Workspace> prepareWorkspace() {
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        const std::optional<NativeString> path = workspacePath(slot);
        const std::optional<NativeString> lockFile = lockPath(slot);
        const std::optional<NativeString> note = notePath(slot);
        if (!path || !lockFile || !note) return std::nullopt;
        std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // another instance is converting in this one
        // The evidence of an unfinished job stays for the start that undoes it; a note
        // another user planted is not ours to remove.
        if (platform::pathExists(*note)) continue;
        if (platform::pathExists(*path)) {
            // A folder another user planted (or a link) is left alone, never unpacked into nor
            // cleared: the next slot beside it serves instead.
            if (!platform::isPrivateFolder(*path)) continue;
            clearFolder(*path);
        } else if (!platform::createFolder(*path) || !platform::isPrivateFolder(*path)) {
            return std::nullopt;
        }
        return Workspace(*path, *note, std::move(*lock));
    }
    return std::nullopt;
}

void clearLeftWorkspaces(const std::function<bool(const OutputNote&)>& undo) {
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        const std::optional<NativeString> path = workspacePath(slot);
        const std::optional<NativeString> lockFile = lockPath(slot);
        const std::optional<NativeString> note = notePath(slot);
        if (!path || !lockFile || !note) return;
        const std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // in use by a running instance or its archiver
        if (platform::pathExists(*note)) {
            const std::optional<std::string> text = platform::readPrivateFile(*note, kNoteLimit);
            const std::optional<platform::FileIdentity> identity = platform::fileIdentity(*note);
            if (!text || !identity) continue;  // not ours: left alone, as a foreign folder is
            const std::optional<OutputNote> left = parseNote(*text, identity->modified);
            if (!left || undo(*left)) platform::removeFile(*note);
        }
        if (platform::pathExists(*path) && platform::isPrivateFolder(*path)) {
            clearFolder(*path);
            platform::removeFolder(*path);
        }
    }
}

}  // namespace pomu

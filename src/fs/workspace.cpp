// Computing, preparing, clearing and removing the working folder.
#include "fs/workspace.h"

#include <algorithm>
#include <sstream>

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

// The header, the split flag on a line, a line per output seen ("w number volume index size
// modified"), "t", then the target's own bytes (UTF-16 on Windows).
std::string noteText(const OutputNote& note) {
    std::string text(kNoteHeader);
    text += note.split ? "1\n" : "0\n";
    for (const auto& [number, identity] : note.written) {
        text += "w " + std::to_string(number) + " " + std::to_string(identity.volume) + " " +
                std::to_string(identity.index) + " " + std::to_string(identity.size) + " " +
                std::to_string(identity.modified) + "\n";
    }
    text += "t\n";
    text.append(reinterpret_cast<const char*>(note.target.data()),
                note.target.size() * sizeof(Char));
    return text;
}

std::optional<std::pair<int, platform::FileIdentity>> parseWritten(const std::string& line) {
    std::istringstream fields(line.substr(2));
    int number = -1;
    platform::FileIdentity identity;
    fields >> number >> identity.volume >> identity.index >> identity.size >> identity.modified;
    if (!fields || number < 0 || !(fields >> std::ws).eof()) return std::nullopt;
    return std::pair(number, identity);
}

// Empty for a note cut short (a power cut while it was written: nothing was compressed yet).
// A note of an earlier version names no output seen, so nothing of it is moved.
std::optional<OutputNote> parseNote(const std::string& text) {
    std::size_t at = kNoteHeader.size() + 2;
    if (text.size() <= at || !text.starts_with(kNoteHeader) || text[at - 1] != '\n' ||
        (text[at - 2] != '0' && text[at - 2] != '1')) {
        return std::nullopt;
    }
    OutputNote note;
    note.split = text[at - 2] == '1';
    while (text.compare(at, 2, "w ") == 0) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) return std::nullopt;
        const auto written = parseWritten(text.substr(at, end - at));
        if (!written) return std::nullopt;
        note.written.push_back(*written);
        at = end + 1;
    }
    if (text.compare(at, 2, "t\n") == 0) at += 2;
    if (text.size() <= at || (text.size() - at) % sizeof(Char) != 0) return std::nullopt;
    note.target.resize((text.size() - at) / sizeof(Char));
    text.copy(reinterpret_cast<char*>(note.target.data()), text.size() - at, at);
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

bool isWrittenOutput(const platform::FileIdentity& now, const platform::FileIdentity& seen) {
    // The archiver only adds to its file after creating it; a file put in its place later is
    // another one, and one with an older time was there first.
    return now.volume == seen.volume && now.index == seen.index && now.size >= seen.size &&
           now.modified >= seen.modified;
}

bool Workspace::noteOutput(NativeView target, bool split) {
    note_ = OutputNote{NativeString(target), split, {}};
    return !removed_ && platform::writePrivateFile(notePath_, noteText(note_));
}

bool Workspace::noteWritten(int number, const platform::FileIdentity& identity) {
    if (notePath_.empty()) return false;
    auto seen = std::find_if(note_.written.begin(), note_.written.end(),
                             [number](const auto& output) { return output.first == number; });
    if (seen == note_.written.end()) {
        note_.written.emplace_back(number, identity);
    } else {
        seen->second = identity;
    }
    return platform::writePrivateFile(notePath_, noteText(note_));
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
        // Nothing left in this slot: no lock file is made for it.
        if (!platform::pathExists(*path) && !platform::pathExists(*note)) continue;
        const std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // in use by a running instance or its archiver
        if (platform::pathExists(*note)) {
            const std::optional<std::string> text = platform::readPrivateFile(*note, kNoteLimit);
            if (!text) continue;  // not ours: left alone, as a foreign folder is
            const std::optional<OutputNote> left = parseNote(*text);
            if (!left || undo(*left)) platform::removeFile(*note);
        }
        if (platform::pathExists(*path) && platform::isPrivateFolder(*path)) {
            clearFolder(*path);
            platform::removeFolder(*path);
        }
    }
}

}  // namespace pomu

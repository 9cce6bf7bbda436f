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

// A note of the earlier version, without generations, is read as cut short: nothing of it moves.
constexpr std::string_view kNoteHeader = "pomu output note 2\n";
constexpr NativeView kBesidePrefix = POMU_T(".pomu-");
constexpr std::size_t kNoteLimit = 64 * 1024;

// In the working folder beside a target: the note of its job, and the folder unpacked into.
constexpr NativeView kMarkerName = POMU_T("pomu.note");
constexpr NativeView kUnpackedName = POMU_T("files");

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

// The temp folder's name, the same at every start: a note is found again by the temp folder
// it was made for.
std::string folderKey(NativeView folder) {
    std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
    for (const Char c : folder) {
        hash = (hash ^ std::uint64_t(c)) * 0x100000001B3ull;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string key;
    for (int shift = 60; shift >= 0; shift -= 4) key += kDigits[(hash >> shift) & 15];
    return key;
}

// The copy of the slot's note that outlives a restart where the temp folder does not; empty
// where the temp folder lasts (Windows).
std::optional<NativeString> lastingNotePath(int slot) {
    const std::optional<NativeString> folder = platform::lastingFolder();
    const std::optional<NativeString> temp = platform::tempFolder();
    if (!folder || !temp) return std::nullopt;
    NativeString path = *folder + slotName(slot) + POMU_T("-") + fromUtf8(folderKey(*temp));
    path += POMU_T(".note");
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

// The slot's note as the temp folder keeps it, or its lasting copy when only that survived.
std::optional<std::string> readSlotNote(const NativeString& note,
                                        const std::optional<NativeString>& lasting) {
    if (platform::pathExists(note)) return platform::readPrivateFile(note, kNoteLimit);
    return lasting ? platform::readPrivateFile(*lasting, kNoteLimit) : std::nullopt;
}

// The lasting copy counts only when it can be read: a folder this user cannot reach (a home
// of somebody else's) holds none of this user's notes.
bool slotNoted(const NativeString& note, const std::optional<NativeString>& lasting) {
    return platform::pathExists(note) ||
           (lasting && platform::readPrivateFile(*lasting, kNoteLimit).has_value());
}

std::string nativeBytes(NativeView text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(Char));
}

// Native characters from `count` bytes at `at`; empty when they do not fit or hold a NUL.
std::optional<NativeString> readNative(const std::string& text, std::size_t at, std::size_t count) {
    if (count % sizeof(Char) != 0 || at > text.size() || text.size() - at < count) return {};
    NativeString native(count / sizeof(Char), Char(0));
    text.copy(reinterpret_cast<char*>(native.data()), count, at);
    if (native.find(Char('\0')) != NativeString::npos) return std::nullopt;
    return native;
}

// The header, the split flag on a line, a line per output seen ("w number volume index size
// modified generation"), "f <bytes>" and the working folder beside the target with a line
// break, then "t" and the target's own bytes (UTF-16 on Windows) to the end.
std::string noteText(const OutputNote& note) {
    std::string text(kNoteHeader);
    text += note.split ? "1\n" : "0\n";
    for (const auto& [number, identity] : note.written) {
        text += "w " + std::to_string(number) + " " + std::to_string(identity.volume) + " " +
                std::to_string(identity.index) + " " + std::to_string(identity.size) + " " +
                std::to_string(identity.modified) + " " + std::to_string(identity.generation) +
                "\n";
    }
    if (!note.folder.empty()) {
        text += "f " + std::to_string(note.folder.size() * sizeof(Char)) + "\n";
        text += nativeBytes(note.folder) + "\n";
    }
    if (!note.target.empty()) text += "t\n" + nativeBytes(note.target);
    return text;
}

std::optional<std::pair<int, platform::FileIdentity>> parseWritten(const std::string& line) {
    std::istringstream fields(line.substr(2));
    int number = -1;
    platform::FileIdentity identity;
    fields >> number >> identity.volume >> identity.index >> identity.size >> identity.modified >>
        identity.generation;
    if (!fields || number < 0 || !(fields >> std::ws).eof()) return std::nullopt;
    return std::pair(number, identity);
}

// Empty for a note cut short (a power cut while it was written: nothing was compressed yet).
std::optional<OutputNote> parseNote(const std::string& text) {
    std::size_t at = kNoteHeader.size() + 2;
    if (text.size() < at || !text.starts_with(kNoteHeader) || text[at - 1] != '\n' ||
        (text[at - 2] != '0' && text[at - 2] != '1')) {
        return std::nullopt;
    }
    OutputNote note;
    note.split = text[at - 2] == '1';
    const auto line = [&]() -> std::optional<std::string> {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) return std::nullopt;
        std::string found = text.substr(at, end - at);
        at = end + 1;
        return found;
    };
    while (text.compare(at, 2, "w ") == 0) {
        const std::optional<std::string> written = line();
        const auto parsed = written ? parseWritten(*written) : std::nullopt;
        if (!parsed) return std::nullopt;
        note.written.push_back(*parsed);
    }
    if (text.compare(at, 2, "f ") == 0) {
        const std::optional<std::string> size = line();
        std::size_t count = 0;
        if (!size || !(std::istringstream(size->substr(2)) >> count)) return std::nullopt;
        const std::optional<NativeString> folder = readNative(text, at, count);
        if (!folder || folder->empty() || text.compare(at + count, 1, "\n") != 0) return {};
        note.folder = *folder;
        at += count + 1;
    }
    if (at == text.size()) return note;
    if (text.compare(at, 2, "t\n") != 0) return std::nullopt;
    const std::optional<NativeString> target = readNative(text, at + 2, text.size() - at - 2);
    if (!target || target->empty()) return std::nullopt;
    note.target = *target;
    return note;
}

// A working folder beside a target is pomu's own only when it holds pomu's note naming it
// (written by this user alone), whatever its name: a ".pomu-1" of somebody else's is never
// taken for one.
bool isOwnBesideFolder(NativeView folder) {
    const NativeView name = fileNameOf(folder.substr(0, folder.find_last_not_of(kSeparator) + 1));
    if (!name.starts_with(kBesidePrefix) || !platform::isPrivateFolder(folder)) return false;
    const std::optional<std::string> marker =
        platform::readPrivateFile(NativeString(folder) + NativeString(kMarkerName), kNoteLimit);
    const std::optional<OutputNote> note = marker ? parseNote(*marker) : std::nullopt;
    return note && note->folder == folder;
}

// Clears and removes a working folder beside a target. Without its note only what is empty
// goes: the note is the last thing removed from it.
void removeBesideFolder(NativeView folder) {
    const NativeString unpacked = NativeString(folder) + NativeString(kUnpackedName);
    if (isOwnBesideFolder(folder)) {
        clearFolder(unpacked);
        platform::removeFolder(unpacked);
        platform::removeFile(NativeString(folder) + NativeString(kMarkerName));
    }
    platform::removeFolder(folder);
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

Workspace::Workspace(NativeString path, NativeString notePath,
                     std::optional<NativeString> lastingNotePath, platform::FileLock lock)
    : path_(std::move(path)),
      notePath_(std::move(notePath)),
      lastingNotePath_(std::move(lastingNotePath)),
      lock_(std::move(lock)) {}

Workspace::Workspace(Workspace&& other) noexcept
    : path_(std::move(other.path_)),
      notePath_(std::move(other.notePath_)),
      lastingNotePath_(std::move(other.lastingNotePath_)),
      note_(std::move(other.note_)),
      lock_(std::move(other.lock_)),
      removed_(other.removed_),
      noteLeft_(other.noteLeft_) {
    other.lock_.reset();
    other.notePath_.clear();
    other.removed_ = true;  // the moved-from object owns nothing to clear
}

Workspace::~Workspace() {
    remove();
    if (!noteLeft_) forgetOutput();
}

void Workspace::remove() {
    if (removed_ || path_.empty()) return;
    removed_ = true;
    if (note_.folder.empty()) {
        clearFolder(path_);
        platform::removeFolder(path_);
        return;
    }
    removeBesideFolder(note_.folder);
    // Gone: no later start has to look for it.
    if (!platform::pathExists(note_.folder)) {
        note_.folder.clear();
        writeNote();
    }
}

bool isWrittenOutput(const platform::FileIdentity& now, const platform::FileIdentity& seen) {
    if (now.volume != seen.volume || now.index != seen.index || now.generation != seen.generation)
        return false;
    // The archiver only adds to its file after creating it; a file put in its place later is
    // another one, and one with an older time was there first.
    if (seen.generation != 0) return now.size >= seen.size && now.modified >= seen.modified;
    // Where the index may name a later file, only the file exactly as it was noted last.
    return now.size == seen.size && now.modified == seen.modified;
}

NativeString besideWorkspacePath(NativeView folder, int slot) {
    NativeString path(folder);
    path += kBesidePrefix;
    path += toNative(slot);
    path += kSeparator;
    return path;
}

bool Workspace::writeNote() {
    // Beside a target the working folder keeps the note too, which tells it is pomu's.
    const NativeString marker = note_.folder + NativeString(kMarkerName);
    if (note_.folder.empty() && note_.target.empty()) {
        // A lasting copy that cannot go is at least emptied: no later start undoes a proven
        // archive on its word.
        if (lastingNotePath_ && !platform::removeFile(*lastingNotePath_) &&
            platform::pathExists(*lastingNotePath_)) {
            platform::writePrivateFile(*lastingNotePath_, noteText(note_));
        }
        return platform::removeFile(notePath_) || !platform::pathExists(notePath_);
    }
    const std::string text = noteText(note_);
    // The lasting copy first: a start after a power cut finds one or the other. Where it cannot
    // be written the temp folder's copy serves as it always did.
    if (lastingNotePath_) platform::writePrivateFile(*lastingNotePath_, text);
    if (!note_.folder.empty() && platform::pathExists(note_.folder) &&
        !platform::writePrivateFile(marker, text)) {
        return false;
    }
    return platform::writePrivateFile(notePath_, text);
}

bool Workspace::noteOutput(NativeView target, bool split) {
    note_.target = NativeString(target);
    note_.split = split;
    note_.written.clear();
    return !removed_ && !note_.target.empty() && writeNote();
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
    return writeNote();
}

void Workspace::leaveNote() {
    noteLeft_ = true;
}

void Workspace::forgetOutput() {
    // Once it is gone, nothing of this job is undone by a later start.
    if (notePath_.empty()) return;
    note_.target.clear();
    note_.written.clear();
    writeNote();
}

std::optional<Workspace> prepareWorkspace(std::optional<NativeView> besideFolder) {
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        std::optional<NativeString> path = workspacePath(slot);
        const std::optional<NativeString> lockFile = lockPath(slot);
        const std::optional<NativeString> note = notePath(slot);
        const std::optional<NativeString> lasting = lastingNotePath(slot);
        const NativeString beside =
            besideFolder ? besideWorkspacePath(*besideFolder, slot) : NativeString();
        if (besideFolder) path = beside + NativeString(kUnpackedName) + kSeparator;
        if (!path || !fitsPath(*path) || !lockFile || !note) return std::nullopt;
        std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // another instance is converting in this one
        // The evidence of an unfinished job stays for the start that undoes it; a note
        // another user planted is not ours to remove.
        if (slotNoted(*note, lasting)) continue;
        if (besideFolder && platform::pathExists(beside)) {
            // One of pomu's own that a job cut short left (its notes lost): cleared for use.
            // Any other folder of that name is somebody else's, never touched.
            if (!isOwnBesideFolder(beside)) continue;
            removeBesideFolder(beside);
            if (platform::pathExists(beside)) continue;
        }
        // A folder another user planted (or a link) is left alone, never unpacked into nor
        // cleared: the next slot beside it serves instead.
        if (!besideFolder && platform::pathExists(*path) && !platform::isPrivateFolder(*path))
            continue;
        Workspace workspace(*path, *note, lasting, std::move(*lock));
        if (besideFolder) {
            // Noted before it is made, and its note inside it once it is: a start after a
            // crash finds it by either.
            workspace.note_.folder = beside;
            if (!workspace.writeNote() || !platform::createFolder(beside) ||
                !platform::isPrivateFolder(beside)) {
                return std::nullopt;
            }
            platform::hide(beside);
            if (!workspace.writeNote() || !platform::createFolder(*path)) return std::nullopt;
            return workspace;
        }
        if (platform::pathExists(*path)) {
            clearFolder(*path);
        } else if (!platform::createFolder(*path) || !platform::isPrivateFolder(*path)) {
            return std::nullopt;
        }
        return workspace;
    }
    return std::nullopt;
}

void clearLeftWorkspaces(const std::function<bool(const OutputNote&)>& undo) {
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        const std::optional<NativeString> path = workspacePath(slot);
        const std::optional<NativeString> lockFile = lockPath(slot);
        const std::optional<NativeString> note = notePath(slot);
        const std::optional<NativeString> lasting = lastingNotePath(slot);
        if (!path || !lockFile || !note) return;
        // Nothing left in this slot: no lock file is made for it.
        if (!platform::pathExists(*path) && !slotNoted(*note, lasting)) continue;
        const std::optional<platform::FileLock> lock = platform::tryLockFile(*lockFile);
        if (!lock) continue;  // in use by a running instance or its archiver
        if (slotNoted(*note, lasting)) {
            const std::optional<std::string> text = readSlotNote(*note, lasting);
            if (!text) continue;  // not ours: left alone, as a foreign folder is
            const std::optional<OutputNote> left = parseNote(*text);
            if (left && !left->folder.empty()) removeBesideFolder(left->folder);
            if (!left || left->target.empty() || undo(*left)) {
                platform::removeFile(*note);
                if (lasting) platform::removeFile(*lasting);
            }
        }
        if (platform::pathExists(*path) && platform::isPrivateFolder(*path)) {
            clearFolder(*path);
            platform::removeFolder(*path);
        }
    }
}

}  // namespace pomu

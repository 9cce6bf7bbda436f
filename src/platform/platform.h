// The short list of operating-system operations that the options, conversion and file code use.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace pomu {

// One archiver start: the program, its arguments one by one, and the same as one command line.
struct ToolCommand {
    NativeString program;
    std::vector<NativeString> arguments;  // each reaches the program as one argument
    NativeString line;                    // Windows: the exact text CreateProcessW receives
};

namespace platform {

// ---- files and folders ----

// True when a file, a folder or a link (even a dangling one) stands at the path.
bool pathExists(NativeView path);

// The path of an existing entry whose name matches ignoring the case of A-Z, as the
// Windows existence test matches names; an exact match wins. Empty when none exists.
std::optional<NativeString> findPathIgnoringCase(NativeView path);

// Opens the file for reading and returns its whole 64-bit size; empty when it cannot be
// opened or sized.
std::optional<std::uint64_t> readFileSize(NativeView path);

// Which file stands at a path: equal identities mean the same, unchanged file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;  // inode or file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // Linux: nanoseconds since 1970; Windows: 100-ns units since 1601
    // Tells the file from a later one given the same index once it is gone (Linux: its birth
    // time; Windows: 1 on NTFS, whose index changes with each reuse); 0 where the file system
    // cannot tell, and the index may then name another file later.
    std::int64_t generation = 0;
    bool operator==(const FileIdentity&) const = default;
};
#ifdef _WIN32
inline constexpr std::int64_t kModifiedTicksPerSecond = 10'000'000;
#else
inline constexpr std::int64_t kModifiedTicksPerSecond = 1'000'000'000;
#endif

// The entry itself (a link is not followed); empty when nothing can be found there.
std::optional<FileIdentity> fileIdentity(NativeView path);

// What stands at a path once links are followed. Only a regular file is handed to the
// archiver: opening a fifo or a device would block it or read forever.
enum class FileKind { missing, regular, folder, fifo, socket, device, other };
FileKind fileKind(NativeView path);

// Room left on the file system that holds the folder, for this user.
struct FreeSpace {
    std::uint64_t bytes = 0;
    std::uint64_t blockSize = 0;         // every file takes whole blocks of this size
    std::optional<std::uint64_t> files;  // how many more files it takes, where that is limited
    std::uint64_t total = 0;             // the file system's whole size
    std::uint64_t longestName = 0;       // native characters one name may take; 0: not told
};
std::optional<FreeSpace> freeSpace(NativeView folder);

// Sets the file's modification time, in FileIdentity::modified's units; its other times stay.
bool setModifiedTime(NativeView path, std::int64_t modified);

bool createFolder(NativeView path);

// Marks a file or folder hidden (Windows); on Linux its name's leading dot does that.
bool hide(NativeView path);

// Removes an empty folder (the path may end in a separator).
bool removeFolder(NativeView path);

// Deletes a file or a link (never what a link points to), read-only or not.
bool removeFile(NativeView path);

// Removes everything inside the folder, recursively, and leaves the folder. Links and
// junctions are removed as links; nothing outside the folder is deleted or changed.
// Entries deeper than the path limit are still removed.
void clearFolderContents(NativeView folder);

// True when a folder, or a link to one, stands at the path.
bool isFolder(NativeView path);

// Appends the bytes at the end of the file, creating it when missing (Linux: mode 0600, and
// missing folders above it with mode 0700). False when not every byte could be written; a
// file another program holds open is never waited for.
bool appendToFile(NativeView path, std::string_view bytes);

// Renames the file, replacing what stands at the new name.
bool renameFile(NativeView from, NativeView to);

// Up to `bytes` bytes of a regular file from `offset` on (fewer at its end); empty when it
// cannot be read.
std::optional<std::string> readFileRange(NativeView path, std::uint64_t offset, std::size_t bytes);

// Writes the bytes into a regular file at `offset`; with `create`, into a new file that must
// not stand there yet. False when not every byte was written.
bool writeFileRange(NativeView path, std::uint64_t offset, std::string_view bytes, bool create);

// Cuts a regular file back to `size` bytes.
bool truncateFile(NativeView path, std::uint64_t size);

// True when the folder holds at least one entry; false when it is empty or cannot be listed.
bool folderHasEntries(NativeView folder);

// A file, folder or link below a folder, as a walk of that folder found it.
struct FolderFile {
    NativeString path;       // relative to the folder, with the platform's separator
    std::uint64_t size = 0;  // a file's; a link's own; none for a folder
    bool link = false;       // a link or junction, not followed
    bool folder = false;
    std::optional<NativeString> linkTarget = std::nullopt;  // what a link holds
};

// Every entry below the folder, links not followed, each folder before what it holds. Empty
// when the folder or one of its subfolders cannot be listed in full.
std::optional<std::vector<FolderFile>> filesBelow(NativeView folder);

// An entry of a folder as its listing names it; links are never followed.
struct FolderEntry {
    enum class Kind { file, folder, link, other };  // other: a fifo, a socket, a device
    NativeString name;
    Kind kind = Kind::other;
};

// One folder read entry by entry, so that a search of a large tree can be cut into slices.
class FolderReader {
  public:
    FolderReader(FolderReader&&) noexcept;
    FolderReader& operator=(FolderReader&&) noexcept;
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;
    ~FolderReader();

    // The next entry ("." and ".." left out); empty at the end of the listing, or where it
    // broke off, which failure() then says.
    std::optional<FolderEntry> next();
    const NativeString& failure() const { return failure_; }
    struct Impl;

  private:
    explicit FolderReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    NativeString failure_;
    friend std::optional<FolderReader> openFolder(NativeView folder, bool followLink,
                                                  NativeString* why);
};

// Opens a folder to read its entries. Without followLink a folder that is a link (or a
// junction) is not opened: a search never leaves the folder it was given. Empty, with the
// system's reason in plain words in `why`, when it cannot be listed.
std::optional<FolderReader> openFolder(NativeView folder, bool followLink,
                                       NativeString* why = nullptr);

// The user's temp folder, ending in a separator; empty when it cannot be read.
std::optional<NativeString> tempFolder();

// Where a note that must outlive a restart is kept beside the temp folder's copy: Linux's
// temp folder is a tmpfs or emptied at boot, so $XDG_STATE_HOME/pomu/ (default
// ~/.local/state/pomu/); empty on Windows, whose temp folder lasts.
std::optional<NativeString> lastingFolder();

// A folder the current user owns alone and that is no link; used to refuse a workspace that
// another user prepared. Always true on Windows, where the temp folder is per user.
bool isPrivateFolder(NativeView path);

// A small file of this user's own (a note the workspace keeps beside it): written whole and
// flushed to the disk, replacing an earlier one at once (a power cut leaves one or the other,
// never neither); read back only when it is a plain file that no other user could have
// written (Linux: owned by this user, no write bit for others). Missing folders above it are
// made (Linux: mode 0700).
bool writePrivateFile(NativeView path, std::string_view bytes);
std::optional<std::string> readPrivateFile(NativeView path, std::size_t limit);

// Moves one path to the Recycle Bin (Windows) or the freedesktop.org Trash (Linux), without
// a question. False when it could not be moved; the path then stays where it was, and `why`
// gets the system's reason in plain words.
bool moveToTrash(NativeView path, NativeString* why = nullptr);

// ---- the outputs a run writes ----

// A file held open while the archiver writes it: while it is held, no later file at its path
// can be taken for it, even where the file system gives no generation (FAT, FUSE, network
// shares). Sharing everything, so the archiver and the user are never kept from the file.
class HeldFile {
  public:
    HeldFile(HeldFile&&) noexcept;
    HeldFile& operator=(HeldFile&&) noexcept;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile();

    // The path still names the held file.
    bool standsAt(NativeView path) const;
    struct Impl;

  private:
    explicit HeldFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend std::optional<HeldFile> holdFile(NativeView path);
};

// Empty when no regular file can be opened there.
std::optional<HeldFile> holdFile(NativeView path);

// Writes the file's data and record through to the disk, when the file at the path is still
// exactly the one identified; false when it is not, or the disk did not take it.
bool flushFile(NativeView path, const FileIdentity& identity);

// Writes the folder's entries through to the disk (Linux; Windows keeps a file's entry with
// the file). False when the disk did not take them.
bool flushFolder(NativeView folder);

// ---- exclusive lock files ----

// Held while a workspace is in use, so that two running instances never share one.
class FileLock {
  public:
    FileLock(FileLock&&) noexcept;
    FileLock& operator=(FileLock&&) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    struct Impl;

  private:
    explicit FileLock(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend std::optional<FileLock> tryLockFile(NativeView path);
};

// Creates or opens the file and locks it; empty when another process holds it.
std::optional<FileLock> tryLockFile(NativeView path);

// ---- settings file ----

// Windows: the executable's path with ".ini"; Linux: $XDG_CONFIG_HOME/pomu/pomu.ini.
std::optional<NativeString> settingsFilePath();

// The profile functions' rules: section and key matched ignoring case; a missing key gives
// the default; at most bufferChars - 1 characters are returned.
NativeString readProfileString(NativeView file, NativeView section, NativeView key,
                               NativeView defaultValue, std::size_t bufferChars);

bool writeProfileString(NativeView file, NativeView section, NativeView key, NativeView value);

// ---- the log ----

// Windows: pomu.log beside the settings file; Linux: $XDG_STATE_HOME/pomu/pomu.log (default
// ~/.local/state/pomu/pomu.log).
std::optional<NativeString> logFilePath();

// ---- the archiver process ----

// A started tool. Move-only; its handles are closed when it is destroyed.
class RunningTool {
  public:
    RunningTool(RunningTool&&) noexcept;
    RunningTool& operator=(RunningTool&&) noexcept;
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;
    ~RunningTool();

    bool hasEnded();
    // Ends the tool at once (Windows: exit code 0); does not wait.
    void terminate();
    // The tool's exit code once it has ended by itself; empty while it runs or when killed.
    std::optional<int> exitCode();
    // A listing's output, read to its end once the tool has ended; empty for other tools.
    std::string takeOutput();
    // The same output handed on in pieces as it is read, so that it is never held whole.
    void readOutput(const std::function<void(std::string_view)>& take);
    // What a tool started with startWithProgress wrote last, as far as handlePendingEvents has
    // read it (its progress line among it); empty for other tools.
    std::string_view latestOutput() const;

    struct Impl;
    Impl& impl() { return *impl_; }

  private:
    explicit RunningTool(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend std::optional<RunningTool> startTool(const ToolCommand& command, bool show,
                                                std::string_view input);
    friend std::optional<RunningTool> startListing(const ToolCommand& command,
                                                   std::string_view input);
    friend std::optional<RunningTool> startWithProgress(const ToolCommand& command,
                                                        std::string_view input);
};

// What a tool reads on its standard input (a password's lines), given to every start below:
// written whole into a pipe before the tool starts, so writing never waits on a tool that does
// not read, and the pipe ends after it. Empty: the null device, so a question meets its end at
// once. A start with more than this fails.
inline constexpr std::size_t kMaxToolInputBytes = 4096;

// Starts the tool with no shell, inheriting the environment and the current folder. With
// show false it runs hidden with its standard output on the null device.
std::optional<RunningTool> startTool(const ToolCommand& command, bool show,
                                     std::string_view input = {});

// Starts a listing: always hidden (no console, whatever `show` says), standard output and
// error into an unnamed file of its own, so it runs to its end while another tool is followed.
// Where no such file can be made, on a pipe that handlePendingEvents drains as it fills (a
// long listing is more than a pipe holds).
std::optional<RunningTool> startListing(const ToolCommand& command, std::string_view input = {});

// Starts a hidden tool as a listing is started, but keeps only the latest bytes of its output
// (kLatestOutputBytes): enough for the progress line the archiver rewrites in place.
inline constexpr std::size_t kLatestOutputBytes = 1024;
std::optional<RunningTool> startWithProgress(const ToolCommand& command,
                                             std::string_view input = {});

// Waits until a window event arrives, the tool ends or output on its pipe arrives, then reads
// that output and handles every pending event of this thread. A quit request taken here is
// handed back when the tool is destroyed.
void handlePendingEvents(RunningTool& tool);

}  // namespace platform
}  // namespace pomu

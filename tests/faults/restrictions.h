// Taking things away from a row while it runs: write access, disk space, the Trash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pomu::faults {

// Something a row holds while it runs (a mount, an open handle), given back at the row's end.
class Hold {
  public:
    virtual ~Hold() = default;
};

// Each returns the hold, or empty with the reason in `why` when this machine cannot do it.
#ifndef _WIN32
// The folder can no longer be written: a read-only bind mount for the superuser (whom
// permissions do not stop), the write bits removed otherwise.
std::unique_ptr<Hold> readOnlyFolder(const std::filesystem::path& folder, std::string& why);

// A tmpfs of that many bytes mounted on the folder, to fill up.
std::unique_ptr<Hold> smallDisk(const std::filesystem::path& folder, std::size_t bytes,
                                std::string& why);

// What is left on the folder's file system taken by a file without a name, held open.
std::unique_ptr<Hold> filledUp(const std::filesystem::path& folder, std::string& why);

// A FUSE mount (bindfs) on the folder until the row ends: a disk that gives no birth times,
// as sshfs, ntfs-3g and NFSv3 do. What the row writes there lands in a folder of the hold's.
std::unique_ptr<Hold> fuseFolder(const std::filesystem::path& folder, std::string& why);

// The soft limit on open files lowered to `count` until the row ends, as many desktops set it.
std::unique_ptr<Hold> fewDescriptors(unsigned count, std::string& why);

// The file marked immutable, so not even the superuser can move it, until the row ends.
std::unique_ptr<Hold> immutableFile(const std::filesystem::path& file, std::string& why);

// The user's Trash folder replaced by a plain file, so nothing can be moved there. Only when
// the folder is on the same file system as the home folder, where GIO looks for that Trash.
std::unique_ptr<Hold> blockedTrash(const std::filesystem::path& onDeviceOf, std::string& why);
#else
// The file opened with no sharing at all, as another program holding it would.
std::unique_ptr<Hold> lockedFile(const std::filesystem::path& file, std::string& why);

// The file held open for reading with no write sharing: it reads, but cannot be written.
// (The read-only mark is no use here: Wine lets the superuser write such files.)
std::unique_ptr<Hold> heldForReading(const std::filesystem::path& file, std::string& why);
#endif

// Whether a file in the folder keeps that modification time (seconds since 1970) as it is set:
// ext4 ends its dates in 2446.
bool keepsDate(const std::filesystem::path& folder, std::int64_t seconds);

}  // namespace pomu::faults

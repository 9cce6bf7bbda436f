// One directory entry opened as itself (a link, never what it points to), for safe removal.
#pragma once

#include <optional>

#include "platform/text.h"
#include "platform/win32/unique_handle.h"

namespace pomu::platform::win32 {

struct OpenedEntry {
    KernelHandle handle;
    DWORD attributes = 0;  // of the object the handle holds

    bool isLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
    bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// Opens the entry without following a link; forDeletion asks for the rights to delete it.
std::optional<OpenedEntry> openEntry(NativeView path, bool forDeletion);

// Where an opened object lies: its volume and its path on that volume, links resolved.
struct Location {
    DWORD volume = 0;
    NativeString path;  // "\\folder\name"
    bool operator==(const Location&) const = default;
};

std::optional<Location> locate(const OpenedEntry& entry);

// True when the opened object really lies in the folder under that name. Wine follows a Unix
// link while opening and reports no link, so the object then lies elsewhere.
bool liesIn(const OpenedEntry& entry, const Location& folder, NativeView name);

// Clears read-only (files get the archive attribute, folders none) and deletes the entry
// through its handle; on failure its attributes are put back.
bool deleteEntry(const OpenedEntry& entry);

}  // namespace pomu::platform::win32

// Test helpers: scratch folders, file contents, native text, and the real archiver.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pomu::test {

namespace fs = std::filesystem;

// UTF-8 text as a native string (UTF-16 on Windows).
NativeString native(const std::string& utf8);
std::string utf8(NativeView text);

// A fresh folder under the system temp folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }
    // The native path of a name inside, without or with a trailing separator.
    NativeString file(const std::string& utf8Name) const;
    NativeString folder() const;

private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes);
std::optional<std::string> readFile(const fs::path& path);
// Deterministic bytes that compress poorly.
std::string noise(std::size_t size, std::uint32_t seed = 1);

// The real archiver's folder as the program sees it (POMU_ARCHIVER_DIR), ending in a separator.
NativeString archiverFolder();

struct ArchiverRun {
    bool started = false;
    std::optional<int> exitCode;
};
// Runs the real archiver with the given arguments, hidden, and waits for its end.
ArchiverRun runArchiver(const std::vector<NativeString>& arguments);

// A command that starts the real archiver with these arguments (each quoted in the line).
ToolCommand archiverCommand(const std::vector<NativeString>& arguments);

// True when "7z t" passes on the archive (or on the volume set it starts).
bool archiveTests(const NativeString& archive);
// Unpacks the archive with the real archiver into the folder; true on exit code 0.
bool extractArchive(const NativeString& archive, const NativeString& folder);
// A short stand-in for file contents in test output: size and hash.
std::string fingerprint(const std::string& bytes);
// Every file below the folder as (relative path with '/', contents), sorted.
std::vector<std::pair<std::string, std::string>> treeContents(const fs::path& folder);
// Contents replaced by their fingerprints, sorted: for readable test output.
std::vector<std::pair<std::string, std::string>> fingerprints(
    std::vector<std::pair<std::string, std::string>> files);

}  // namespace pomu::test

// Test surroundings: the temp folder pointed elsewhere, Unix paths as the program sees them, the
// Trash.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace pomu::test {

// A Unix path as the program sees it: under Wine the Unix root is drive Z:.
NativeString hostPath(std::string unixPath);

// The Trash of this run ($XDG_DATA_HOME/Trash; Wine keeps the same layout).
std::filesystem::path trashFolder();

// The folder of RAR fixtures made by rar for this build (POMU_RAR_FIXTURES); empty without one.
std::filesystem::path rarFixtures();
// The bytes of what the Trash holds for that original path, found through its trashinfo; a
// folder reads as "dir".
std::optional<std::string> trashedBytes(const std::filesystem::path& original);

#ifndef _WIN32
// Runs the work as an ordinary user, whom file modes stop: when this is the superuser, in a
// child process as user 65534, with the folder and everything in it handed to that user
// first. Hands back the work's text (a crash is text too); empty, with the reason in `why`,
// when that user cannot be set up here.
std::optional<std::string> asOrdinaryUser(const std::filesystem::path& folder,
                                          const std::function<std::string()>& work,
                                          std::string& why);
#endif

// Points the temp folder (Linux: TMPDIR; Windows: TMP and TEMP) at a scratch folder for as long
// as it lives, so the real one is never touched, and puts the old values back.
class TempFolderOverride {
  public:
    explicit TempFolderOverride(const NativeString& folder);
    ~TempFolderOverride();
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

  private:
    std::vector<std::optional<NativeString>> saved_;
};

}  // namespace pomu::test

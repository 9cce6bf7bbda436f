// Test surroundings: the temp folder pointed elsewhere, Unix paths as the program sees them, the
// Trash.
#pragma once

#include <filesystem>
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

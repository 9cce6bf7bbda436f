// The temp folder override, host paths, the Trash and RAR fixture locations for tests.
#include "support/environment.h"

#include <cstdlib>

#include "support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pomu::test {
namespace {

#ifdef _WIN32
constexpr const wchar_t* kTempVariables[] = {L"TMP", L"TEMP"};
#else
constexpr const char* kTempVariables[] = {"TMPDIR"};
#endif

}  // namespace

NativeString hostPath(std::string unixPath) {
#ifdef _WIN32
    if (!unixPath.empty() && unixPath.front() == '/') {
        for (char& c : unixPath) c = c == '/' ? '\\' : c;
        unixPath = "Z:" + unixPath;
    }
#endif
    return native(unixPath);
}

std::filesystem::path trashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    return std::filesystem::path(hostPath(data ? data : "")) / "Trash";
}

std::filesystem::path rarFixtures() {
    const char* folder = std::getenv("POMU_RAR_FIXTURES");
    return folder && *folder ? std::filesystem::path(hostPath(folder)) : std::filesystem::path();
}

TempFolderOverride::TempFolderOverride(const NativeString& folder) {
    for (const auto* name : kTempVariables) {
#ifdef _WIN32
        std::vector<wchar_t> buffer(32768);
        const DWORD size = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
        saved_.push_back(size > 0 && size < buffer.size()
                             ? std::optional<NativeString>(NativeString(buffer.data(), size))
                             : std::nullopt);
        SetEnvironmentVariableW(name, folder.c_str());
#else
        const char* value = std::getenv(name);
        saved_.push_back(value ? std::optional<NativeString>(value) : std::nullopt);
        ::setenv(name, folder.c_str(), 1);
#endif
    }
}

TempFolderOverride::~TempFolderOverride() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
#ifdef _WIN32
        SetEnvironmentVariableW(kTempVariables[i], saved_[i] ? saved_[i]->c_str() : nullptr);
#else
        if (saved_[i]) {
            ::setenv(kTempVariables[i], saved_[i]->c_str(), 1);
        } else {
            ::unsetenv(kTempVariables[i]);
        }
#endif
    }
}

}  // namespace pomu::test

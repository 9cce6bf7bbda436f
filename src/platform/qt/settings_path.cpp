// Linux settings file location: $XDG_CONFIG_HOME/pomu/pomu.ini, else ~/.config/pomu/pomu.ini.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pomu::platform {
namespace {

bool isAbsolute(const char* path) {
    return path && path[0] == '/';
}

// $HOME when it is an absolute path, else the home folder of the user database.
std::optional<std::string> homeFolder() {
    const char* home = std::getenv("HOME");
    if (isAbsolute(home)) return std::string(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !isAbsolute(found->pw_dir)) {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

}  // namespace

std::optional<NativeString> settingsFilePath() {
    std::string folder;
    // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (isAbsolute(config)) {
        folder = config;
    } else {
        const std::optional<std::string> home = homeFolder();
        if (!home) return std::nullopt;
        folder = *home;
        if (folder.back() != '/') folder += '/';
        folder += ".config";
    }
    if (folder.back() != '/') folder += '/';
    NativeString path = folder + "pomu/pomu.ini";
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

}  // namespace pomu::platform

// Linux settings and log locations under $XDG_CONFIG_HOME and $XDG_STATE_HOME, or the home folder.
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

// The XDG folder named by the variable, else the home folder with the fallback below it; with
// "pomu/<file>" appended. XDG: a relative value is invalid and ignored.
std::optional<NativeString> xdgFile(const char* variable, const char* fallback, const char* file) {
    std::string folder;
    const char* value = std::getenv(variable);
    if (isAbsolute(value)) {
        folder = value;
    } else {
        const std::optional<std::string> home = homeFolder();
        if (!home) return std::nullopt;
        folder = *home;
        if (folder.back() != '/') folder += '/';
        folder += fallback;
    }
    if (folder.back() != '/') folder += '/';
    NativeString path = folder + "pomu/" + file;
    if (!fitsPath(path)) return std::nullopt;
    return path;
}

}  // namespace

std::optional<NativeString> settingsFilePath() {
    return xdgFile("XDG_CONFIG_HOME", ".config", "pomu.ini");
}

std::optional<NativeString> logFilePath() {
    return xdgFile("XDG_STATE_HOME", ".local/state", "pomu.log");
}

std::optional<NativeString> lastingFolder() {
    return xdgFile("XDG_STATE_HOME", ".local/state", "");
}

}  // namespace pomu::platform

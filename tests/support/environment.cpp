// Test surroundings: temp folder override, host paths, Trash, RAR fixtures, an ordinary user.
#include "support/environment.h"

#include <cstdlib>

#include "support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pomu::test {
namespace {

#ifdef _WIN32
constexpr const wchar_t* kTempVariables[] = {L"TMP", L"TEMP"};
#else
constexpr const char* kTempVariables[] = {"TMPDIR"};
#endif

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

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

std::optional<std::string> trashedBytes(const std::filesystem::path& original) {
    namespace fs = std::filesystem;
    const fs::path trash = trashFolder();
    // The scratch folder's name is unique, so the last three names identify the file.
    const std::string ending =
        "/" + utf8(original.parent_path().parent_path().filename().native()) + "/" +
        utf8(original.parent_path().filename().native()) + "/" + utf8(original.filename().native());
    std::error_code error;
    for (auto it = fs::directory_iterator(trash / "info", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string info = readFile(it->path()).value_or("");
        const std::size_t start = info.find("\nPath=");
        if (start == std::string::npos) continue;
        std::string path = info.substr(start + 6, info.find('\n', start + 6) - start - 6);
        path = percentDecoded(path);
        for (char& c : path) c = c == '\\' ? '/' : c;
        if (!path.ends_with(ending)) continue;
        fs::path stored = trash / "files" / it->path().stem();
        if (fs::is_directory(stored, error)) return "dir";
        return readFile(stored);
    }
    return std::nullopt;
}

#ifndef _WIN32
std::optional<std::string> asOrdinaryUser(const std::filesystem::path& folder,
                                          const std::function<std::string()>& work,
                                          std::string& why) {
    namespace fs = std::filesystem;
    if (::geteuid() != 0) return work();
    constexpr uid_t kUser = 65534;
    constexpr gid_t kGroup = 65534;
    std::error_code error;
    bool handed = ::lchown(folder.c_str(), kUser, kGroup) == 0;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         handed && !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        handed = ::lchown(it->path().c_str(), kUser, kGroup) == 0;
    }
    if (!handed || error) {
        why = "the folder could not be handed to user 65534";
        return std::nullopt;
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        why = "no pipe to the child";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        why = "no child process";
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kGroup) != 0 || ::setuid(kUser) != 0) {
            ::_exit(3);
        }
        if (::access(folder.c_str(), R_OK | W_OK | X_OK) != 0) ::_exit(5);
        const std::string text = work();
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t put = ::write(pipeFds[1], text.data() + sent, text.size() - sent);
            if (put <= 0) ::_exit(4);
            sent += std::size_t(put);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, std::size_t(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return "<the child could not be waited for>";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        why = "this process cannot become user 65534";
        return std::nullopt;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 5) {
        why = "user 65534 cannot reach " + folder.string();
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return text + "<the child ended with status " + std::to_string(status) + ">";
    }
    return text;
}
#endif

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

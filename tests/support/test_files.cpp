// Test helpers over std::filesystem and the real archiver.
#include "support/test_files.h"

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "convert/archiver.h"
#include "support/environment.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pomu::test {

NativeString native(const std::string& utf8Text) {
#ifdef _WIN32
    if (utf8Text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), int(utf8Text.size()), nullptr, 0);
    std::wstring result(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), int(utf8Text.size()), result.data(), size);
    return result;
#else
    return utf8Text;
#endif
}

std::string utf8(NativeView text) {
#ifdef _WIN32
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
#else
    return std::string(text);
#endif
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0;; ++attempt) {
        path_ = fs::temp_directory_path() /
                ("pomu-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(path_, error)) break;
        if (attempt > 100) std::abort();
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    // Tests make read-only entries; give write permission back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_symlink()) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    fs::remove_all(path_, error);
}

NativeString ScratchFolder::file(const std::string& utf8Name) const {
    return (path_ / fs::path(native(utf8Name))).native();
}

NativeString ScratchFolder::folder() const {
    NativeString text = path_.native();
    text += kSeparator;
    return text;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string noise(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(random() & 0xFF);
    return bytes;
}

NativeString archiverFolder() {
    const char* dir = std::getenv("POMU_ARCHIVER_DIR");
    NativeString result = hostPath(dir ? dir : "");
    if (!result.empty() && result.back() != kSeparator) result += kSeparator;
    return result;
}

ToolCommand archiverCommand(const std::vector<NativeString>& arguments) {
    ToolCommand command;
    command.program = archiverFolder() + NativeString(archiver::kProgramName);
    command.arguments = arguments;
    command.line = POMU_T("\"") + command.program + POMU_T("\"");
    for (const NativeString& argument : arguments) {
        command.line += POMU_T(" \"") + argument + POMU_T("\"");
    }
    return command;
}

ArchiverRun runArchiver(const std::vector<NativeString>& arguments) {
    ArchiverRun run;
    std::optional<platform::RunningTool> tool = platform::startTool(archiverCommand(arguments), false);
    if (!tool) return run;
    run.started = true;
    while (!tool->hasEnded()) platform::handlePendingEvents(*tool);
    run.exitCode = tool->exitCode();
    return run;
}

bool archiveTests(const NativeString& archive) {
    const ArchiverRun run = runArchiver({POMU_T("t"), archive});
    return run.exitCode && *run.exitCode == 0;
}

bool extractArchive(const NativeString& archive, const NativeString& folder) {
    const ArchiverRun run = runArchiver({POMU_T("x"), archive, POMU_T("-o") + folder, POMU_T("-y")});
    return run.exitCode && *run.exitCode == 0;
}

std::string fingerprint(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char text[48];
    std::snprintf(text, sizeof text, "%zu bytes #%016llx", bytes.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

std::vector<std::pair<std::string, std::string>> treeContents(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file()) continue;
        std::string relative = utf8(fs::relative(it->path(), folder).native());
        std::replace(relative.begin(), relative.end(), '\\', '/');
        files.emplace_back(relative, readFile(it->path()).value_or("<unreadable>"));
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::pair<std::string, std::string>> fingerprints(
    std::vector<std::pair<std::string, std::string>> files) {
    for (auto& [name, bytes] : files) bytes = fingerprint(bytes);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace pomu::test

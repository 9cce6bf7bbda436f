// The fault matrix's scene: folders, archives, tree snapshots and the watchdog.
#include "faults/fault_scene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pomu::faults {

Scene::Scene()
    : files(root.path() / "files"),
      tmp(root.path() / "tmp"),
      outside(root.path() / "outside"),
      logFile((logs.path() / "pomu.log").native()) {
    for (const fs::path& folder : {files, tmp, outside}) fs::create_directory(folder);
    test::writeFile(outside / "keep.txt", "outside the workspace");
    tempFolder = tmp.native();
    options.sevenZipFolder = test::archiverFolder();
    options.level = POMU_T("1");
}

NativeString Scene::file(const std::string& name) const {
    return (files / test::native(name)).native();
}

void Scene::write(const std::string& name, const std::string& bytes) const {
    test::writeFile(file(name), bytes);
}

std::optional<std::string> Scene::read(const std::string& name) const {
    return test::readFile(file(name));
}

NativeString Scene::archive(const std::string& name, const Files& content,
                            const std::vector<NativeString>& switches) {
    test::ScratchFolder source;
    for (const auto& [entry, bytes] : content) {
        fs::create_directories((source.path() / test::native(entry)).parent_path());
        test::writeFile(source.path() / test::native(entry), bytes);
    }
    // Made under a neutral name, so the archiver never guesses a format from the final one.
    const NativeString made = file("made.tmp");
    std::vector<NativeString> arguments{POMU_T("a"), made, source.folder() + POMU_T("*")};
    arguments.insert(arguments.end(), switches.begin(), switches.end());
    const test::ArchiverRun run = test::runArchiver(arguments);
    EXPECT_TRUE(run.exitCode && *run.exitCode == 0)
        << "could not make " << name << ": started " << run.started << ", exit code "
        << (run.exitCode ? std::to_string(*run.exitCode) : "none");
    std::error_code error;
    fs::rename(made, file(name), error);
    return file(name);
}

void Scene::recordRuns() {
    const char* folder = std::getenv("POMU_RECORDING_ARCHIVER_DIR");
    if (folder == nullptr) {
        skip = "POMU_RECORDING_ARCHIVER_DIR is not set";
        return;
    }
    options.sevenZipFolder = test::hostPath(folder) + kSeparator;
    runNotes = logs.path() / "runs.txt";
    setVariable("POMU_RUN_NOTES", test::utf8(runNotes.native()));
}

void Scene::setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableW(test::native(name).c_str(), test::native(value).c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
    variables.emplace_back(name);
}

Scene::~Scene() {
    for (const std::string& name : variables) {
#ifdef _WIN32
        SetEnvironmentVariableW(test::native(name).c_str(), nullptr);
#else
        ::unsetenv(name.c_str());
#endif
    }
}

void Scene::need(std::unique_ptr<Hold> hold, const std::string& why) {
    if (hold) {
        holds.push_back(std::move(hold));
    } else if (skip.empty()) {
        skip = why.empty() ? "a restriction could not be set up" : why;
    }
}

std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string name = test::utf8(fs::relative(it->path(), folder).native());
        for (char& c : name) c = c == '\\' ? '/' : c;
        if (name.starts_with("tmp/pomu") && name.ends_with(".lock")) continue;
        std::error_code entryError;
        if (it->is_symlink(entryError)) {
            entries[name] =
                "link -> " + test::utf8(fs::read_symlink(it->path(), entryError).native());
        } else if (it->is_directory(entryError)) {
            entries[name] = "dir";
        } else if (!it->is_regular_file(entryError)) {
            entries[name] = "special";  // a fifo would block the read
        } else {
            const auto bytes = test::readFile(it->path());
            entries[name] = bytes ? test::fingerprint(*bytes) : "<unreadable>";
        }
    }
    return entries;
}

std::string describe(const ConversionOptions& o) {
    return "dir=" + test::utf8(o.sevenZipFolder) + " level=" + test::utf8(o.level) +
           " show=" + std::to_string(o.show) + " already=" + std::to_string(o.deleteAlready) +
           " processed=" + std::to_string(o.deleteProcessed) +
           " 100MB=" + std::to_string(o.div100MB) + " 1GB=" + std::to_string(o.div1GB) +
           " zip=" + std::to_string(o.zip);
}

Files unpacked(const NativeString& archive, const std::string& password) {
    test::ScratchFolder out;
    std::vector<NativeString> arguments{POMU_T("x"), archive, POMU_T("-o") + out.folder(),
                                        POMU_T("-y")};
    if (!password.empty()) arguments.push_back(POMU_T("-p") + test::native(password));
    const test::ArchiverRun run = test::runArchiver(arguments);
    if (!run.exitCode || *run.exitCode != 0) return {{"<not extractable>", ""}};
    return test::fingerprints(test::treeContents(out.path()));
}

Watchdog::Watchdog(std::string row, std::chrono::seconds limit)
    : thread_([this, row = std::move(row), limit] {
          std::unique_lock lock(mutex_);
          if (stop_.wait_for(lock, limit, [this] { return stopped_; })) return;
          std::fprintf(stderr, "fault matrix: row %s still runs after %llds; ending the run\n",
                       row.c_str(), static_cast<long long>(limit.count()));
          std::fflush(stderr);
          std::_Exit(2);
      }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stop_.notify_all();
    thread_.join();
}

}  // namespace pomu::faults

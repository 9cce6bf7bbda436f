// One row of the fault matrix: its folders, options and drop, and what the checks look at.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "faults/restrictions.h"
#include "options/options.h"
#include "support/environment.h"
#include "support/test_files.h"

namespace pomu::faults {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;

struct Scene {
    Scene();
    ~Scene();
    test::ScratchFolder root;  // files/ (sources, targets), tmp/ (the temp folder), outside/
    test::ScratchFolder logs;  // the batch log's folder, apart from the tree the checks compare
    fs::path files, tmp, outside;
    NativeString logFile;     // logs/pomu.log
    std::string logBefore;    // what the log must start with after the batch
    bool logBlocked = false;  // the log cannot be written: it must stay as logBefore
    NativeString tempFolder;  // what the temp folder variable points at during the act
    ConversionOptions options;
    RunState runState;
    std::vector<NativeString> dropped;
    Files content;                          // what the converted archive must hold
    std::vector<std::string> outputs;       // output names known only once arranged
    std::function<void(Scene&)> duringRun;  // called on every pump pass while a tool runs
    // batch: the password question's answers in turn (none: skipped); empty: nobody is asked.
    std::vector<std::optional<std::string>> passwords;
    std::vector<std::string> asked;         // the texts the question was put with
    fs::path runNotes;                      // recordRuns: a line per archiver run, its arguments
    bool hookReached = false;               // duringRun found its moment
    bool hookActed = false;                 // and changed something then
    std::string kept;                       // bytes a row keeps for its own check
    std::string skip;                       // why the row cannot run on this machine
    bool ordinaryUser = false;              // act as an ordinary user (user 65534 for root)
    platform::RunningTool* tool = nullptr;  // the tool running while duringRun is called
    std::vector<std::string> variables;     // set for the row, unset when it goes
    // After root, so mounts and handles are given back before the folder goes.
    std::vector<std::unique_ptr<Hold>> holds;

    NativeString file(const std::string& name) const;  // files/<name>
    void write(const std::string& name, const std::string& bytes) const;
    std::optional<std::string> read(const std::string& name) const;
    // files/<name>, made by the real archiver from the files with the switches (-t... first).
    NativeString archive(const std::string& name, const Files& content,
                         const std::vector<NativeString>& switches);
    // Every archiver run goes through the recording archiver, which notes its arguments.
    void recordRuns();
    // An environment variable of this process and the archivers it starts, for the row.
    void setVariable(const char* name, const std::string& value);
    // Keeps the hold; without one the row is skipped for the reason given.
    void need(std::unique_ptr<Hold> hold, const std::string& why);
};

// Every entry below the folder: relative path with '/', then "dir", "link -> x" or a
// fingerprint of the bytes. Lock files of the workspace are left out.
std::map<std::string, std::string> snapshot(const fs::path& folder);

using test::trashedBytes;

// Every field of the options in one line.
std::string describe(const ConversionOptions& options);

// The archive unpacked by the real archiver (with the password, when one is given): names and
// fingerprints.
Files unpacked(const NativeString& archive, const std::string& password = {});

using test::TempFolderOverride;

// Ends the whole program when a row outlives its limit by far: a hang outside the pump.
class Watchdog {
  public:
    Watchdog(std::string row, std::chrono::seconds limit);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopped_ = false;
    std::thread thread_;
};

}  // namespace pomu::faults

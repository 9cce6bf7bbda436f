// The conversion job end to end with the real archiver on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "convert/interrupted_run.h"
#include "convert/job.h"
#include "convert/plan.h"
#include "fs/workspace.h"
#include "support/environment.h"
#include "support/test_files.h"
#include "support/wakeup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#endif

namespace pomu {
namespace {

using test::native;
using test::ScratchFolder;
using test::fs::path;

using Clock = std::chrono::steady_clock;

// A headless window whose event pump can act in the middle of a run, as a user would, and
// that forces the exit of a run outliving its limit, so a hang fails in seconds instead of
// stalling the suite.
class ScriptedWindow : public HeadlessWindow {
  public:
    explicit ScriptedWindow(RunState& runState) : runState_(runState) {}
    std::function<void(int pass)> onEvents;
    void startRun(std::chrono::seconds limit) {
        deadline_ = Clock::now() + limit;
        hung_ = false;
    }
    bool hung() const { return hung_; }
    void handleEvents(platform::RunningTool& tool) override {
        if (Clock::now() > deadline_) {
            runState_.forceExit = true;
            hung_ = true;
        }
        if (onEvents) onEvents(passes_++);
        HeadlessWindow::handleEvents(tool);
    }

  private:
    RunState& runState_;
    Clock::time_point deadline_ = Clock::time_point::max();
    bool hung_ = false;
    int passes_ = 0;
};

constexpr const char* kNotTrashed = "<not in the Trash>";

// A fingerprint of what the Trash holds for that original path (matched by its trashinfo).
std::string trashed(const NativeString& original) {
    const std::optional<std::string> bytes = test::trashedBytes(path(original));
    return bytes ? test::fingerprint(*bytes) : kNotTrashed;
}

class JobTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("XDG_DATA_HOME")) GTEST_SKIP() << "needs XDG_DATA_HOME for the Trash";
        options.sevenZipFolder = test::archiverFolder();
        options.level = POMU_T("1");
    }

    // A ZIP made by the real archiver from the given files (name, content).
    NativeString makeArchive(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& files,
                             const std::vector<NativeString>& switches = {}) {
        ScratchFolder content;
        for (const auto& [file, bytes] : files) {
            test::fs::create_directories((content.path() / native(file)).parent_path());
            test::writeFile(content.path() / native(file), bytes);
        }
        const NativeString archive = folder.file(name);
        std::vector<NativeString> arguments{POMU_T("a"), archive, content.folder() + POMU_T("*")};
        arguments.insert(arguments.end(), switches.begin(), switches.end());
        const auto run = test::runArchiver(arguments);
        EXPECT_TRUE(run.exitCode && *run.exitCode == 0) << name;
        return archive;
    }

    ConversionResult convert(const NativeString& source, ScriptedWindow* custom = nullptr,
                             std::chrono::seconds limit = std::chrono::seconds(120)) {
        ScriptedWindow& used = custom ? *custom : window;
        used.startRun(limit);
        const ConversionResult result = convertFile(used, source, 0, 1, options, runState).result;
        EXPECT_FALSE(used.hung()) << "still running after " << limit.count() << " s: forced to end";
        return result;
    }

    static constexpr std::int64_t kDay = 86400 * platform::kModifiedTicksPerSecond;
    static std::int64_t modifiedTime(const NativeString& file) {
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(file);
        return identity ? identity->modified : -1;
    }
    // Dates the file a year back, with a fraction of a second, and returns that date.
    static std::int64_t makeOld(const NativeString& file) {
        const std::int64_t old = modifiedTime(file) - 365 * kDay - 1234567;
        EXPECT_TRUE(platform::setModifiedTime(file, old));
        return modifiedTime(file);
    }

    // The archive's files as the archiver unpacks them.
    std::vector<std::pair<std::string, std::string>> unpacked(const NativeString& archive) {
        ScratchFolder out;
        if (!test::extractArchive(archive, out.folder())) return {{"<not extractable>", ""}};
        return test::fingerprints(test::treeContents(out.path()));
    }

    ScratchFolder folder;
    ConversionOptions options;
    RunState runState;
    ScriptedWindow window{runState};
    test::PeriodicWakeup wakeup{25};  // the pump wakes now and then, so the limit is seen
    const std::vector<std::pair<std::string, std::string>> sample{
        {"a.txt", "alpha"}, {"sub/b.bin", test::noise(5000)}, {".hidden", "h"}};
};

TEST_F(JobTest, ConvertsToTheTargetFormatBesideTheSource) {
    struct Case {
        std::string source;
        bool zip;
        std::string target;
        std::vector<NativeString> switches;
        bool keepDate = true;
    };
    const Case cases[] = {
        {"photos.zip", false, "photos.7z", {POMU_T("-tzip")}},
        {"pictures.7z", true, "pictures.zip", {POMU_T("-t7z")}},
        {"data.tar.gz", false, "data.tar.7z", {POMU_T("-tgzip")}},
        {"backup.ZIP", false, "backup.7z", {POMU_T("-tzip")}},
        {"with blanks and 日本語 名前.zip",
         false,
         "with blanks and 日本語 名前.7z",
         {POMU_T("-tzip")}},
        {"album.tar", true, "album.zip", {POMU_T("-ttar")}},
        {"logs.tar.bz2", false, "logs.tar.7z", {POMU_T("-tbzip2")}},
        {"絵文字 😀.7z", true, "絵文字 😀.zip", {POMU_T("-t7z")}},
        {"dated today.zip", false, "dated today.7z", {POMU_T("-tzip")}, false},
    };
    for (const auto& c : cases) {
        const bool gzip = c.source.ends_with(".gz") || c.source.ends_with(".bz2");
        // A single stream unpacks to one file named after the archive without its extension.
        const std::string stream = c.source.substr(0, c.source.rfind('.'));
        const auto files =
            gzip ? std::vector<std::pair<std::string, std::string>>{{stream, "tarbytes"}} : sample;
        // The archiver names a new archive without extension itself, so make it, then rename.
        const NativeString made = makeArchive(c.source + ".made", files, c.switches);
        const NativeString source = folder.file(c.source);
        test::fs::rename(made, source);
        const std::int64_t sourceDate = makeOld(source);
        const std::string before = test::readFile(source).value();
        options.zip = c.zip;
        options.keepDate = c.keepDate;

        EXPECT_EQ(convert(source), ConversionResult::converted) << c.source;
        const NativeString target = folder.file(c.target);
        if (c.keepDate) {
            EXPECT_EQ(modifiedTime(target), sourceDate) << c.target;
        } else {
            EXPECT_GT(modifiedTime(target), sourceDate + 300 * kDay) << c.target << " is new";
        }
        EXPECT_EQ(unpacked(target), test::fingerprints(files)) << c.target;
        EXPECT_TRUE(test::archiveTests(target));
        EXPECT_EQ(test::readFile(source), before) << "the source stays as it was";
        EXPECT_EQ(window.status(), kProcessingText);
    }
    EXPECT_FALSE(platform::pathExists(workspacePath().value()));
}

TEST_F(JobTest, SourceWithTheTargetExtensionIsLeftAlone) {
    const NativeString source = makeArchive("x.7z", sample, {POMU_T("-t7z")});
    const std::string before = test::readFile(source).value();
    EXPECT_EQ(convert(source), ConversionResult::notConverted);
    EXPECT_TRUE(window.texts().empty()) << "a skipped file shows nothing";
    EXPECT_EQ(test::readFile(source), before);
}

TEST_F(JobTest, ExistingTargetIsKeptOrRecycled) {
    const NativeString source = makeArchive("a.zip", sample, {POMU_T("-tzip")});
    const NativeString target = folder.file("a.7z");
    test::writeFile(target, "old target");

    EXPECT_EQ(convert(source), ConversionResult::notConverted);
    EXPECT_EQ(window.status(), kExistsText);
    EXPECT_EQ(test::readFile(target), "old target");

    options.zip = true;  // "7z Exists!" also in ZIP mode
    test::writeFile(folder.file("a.zip.zip"), "x");
    const NativeString zipSource = makeArchive("b.7z", sample, {POMU_T("-t7z")});
    test::writeFile(folder.file("b.zip"), "old zip");
    EXPECT_EQ(convert(zipSource), ConversionResult::notConverted);
    EXPECT_EQ(window.status(), kExistsText);
    EXPECT_EQ(test::readFile(folder.file("b.zip")), "old zip");

    options.zip = false;
    options.deleteAlready = true;
    EXPECT_EQ(convert(source), ConversionResult::converted);
    EXPECT_EQ(unpacked(target), test::fingerprints(sample));
    EXPECT_EQ(trashed(target), test::fingerprint("old target"))
        << "the old target went to the Trash, not away for good";
}

TEST_F(JobTest, ExistingFirstVolumeCountsAsAnExistingTarget) {
    options.div100MB = true;
    const NativeString source = makeArchive("v.zip", sample, {POMU_T("-tzip")});
    test::writeFile(folder.file("v.7z.001"), "old volume 1");
    test::writeFile(folder.file("v.7z.002"), "old volume 2");

    EXPECT_EQ(convert(source), ConversionResult::notConverted);
    EXPECT_EQ(window.status(), kExistsText);
    EXPECT_EQ(test::readFile(folder.file("v.7z.002")), "old volume 2");

    options.deleteAlready = true;
    EXPECT_EQ(convert(source), ConversionResult::converted);
    EXPECT_EQ(trashed(folder.file("v.7z.001")), test::fingerprint("old volume 1"));
    EXPECT_EQ(trashed(folder.file("v.7z.002")), test::fingerprint("old volume 2"));
    EXPECT_FALSE(platform::pathExists(folder.file("v.7z.002"))) << "old volumes never mix in";
    EXPECT_EQ(unpacked(folder.file("v.7z.001")), test::fingerprints(sample));
}

TEST_F(JobTest, ArchiveThatHoldsNothingIsNotConverted) {
    // An empty ZIP: just the end-of-central-directory record.
    const NativeString source = folder.file("empty.zip");
    test::writeFile(source, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_EQ(convert(source), ConversionResult::notConverted);
    EXPECT_FALSE(platform::pathExists(folder.file("empty.7z")));
    EXPECT_FALSE(platform::pathExists(workspacePath().value()));
}

TEST_F(JobTest, FailedRunsNeverMoveTheSource) {
    options.deleteProcessed = true;
    const NativeString good =
        makeArchive("good.zip", {{"f", test::noise(200000)}}, {POMU_T("-tzip"), POMU_T("-mx=0")});
    const std::string bytes = test::readFile(good).value();

    struct Case {
        std::string name;
        std::string content;
    };
    std::string flipped = bytes;
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 64; ++i)
        flipped[i] = char(~flipped[i]);
    const Case cases[] = {
        {"truncated.zip", bytes.substr(0, bytes.size() / 2)},
        {"corrupt.zip", flipped},
        {"not-an-archive.zip", "this is plain text, not an archive"},
        {"zero.zip", ""},
        // Unpacked with exit code 0 and a warning: what followed the archive would be lost.
        {"appended.zip", bytes + test::noise(100, 4)},
    };
    for (const auto& c : cases) {
        const NativeString source = folder.file(c.name);
        test::writeFile(source, c.content);
        EXPECT_EQ(convert(source), ConversionResult::notConverted) << c.name;
        EXPECT_EQ(test::readFile(source), c.content) << c.name << " must stay in place";
        EXPECT_EQ(trashed(source), kNotTrashed) << c.name;
        const std::string stem = c.name.substr(0, c.name.size() - 4);
        EXPECT_FALSE(platform::pathExists(folder.file(stem + ".7z"))) << c.name;
    }
    EXPECT_FALSE(platform::pathExists(workspacePath().value()));
}

// The reason goes to the user: it must name what really went wrong.
TEST_F(JobTest, ReasonSaysWhyAFileWasNotConverted) {
    const std::string good =
        test::readFile(makeArchive("good.zip", sample, {POMU_T("-tzip")})).value();
    std::string flipped = test::readFile(makeArchive("big.zip", {{"f", test::noise(200000)}},
                                                     {POMU_T("-tzip"), POMU_T("-mx=0")}))
                              .value();
    for (std::size_t i = flipped.size() / 3; i < flipped.size() / 3 + 64; ++i) {
        flipped[i] = char(~flipped[i]);
    }
    const std::string sealed =
        test::readFile(makeArchive("sealed-made.7z", sample, {POMU_T("-t7z"), POMU_T("-pSECRET")}))
            .value();
    struct Case {
        std::string name, content;
        Reason reason;
        ProofFailure proof;
        std::optional<int> exitCode;
        std::optional<bool> readsRar = std::nullopt;  // as the archiver's "i" listing told it
    };
    const Case cases[] = {
        {"damaged.zip", flipped, Reason::extractionFailed, ProofFailure::none, 2},
        {"sealed.arc", sealed, Reason::needsPassword, ProofFailure::none, std::nullopt},
        {"tail.zip", good + "appended", Reason::proofFailed, ProofFailure::warning, std::nullopt},
        {"text.zip", "not an archive", Reason::sourceUnreadable, ProofFailure::none, 2},
        // Without the RAR codec a RAR source fails as a damaged one would: the reason says so.
        {"text.rar", "not an archive", Reason::sourceUnreadable, ProofFailure::none, 2, true},
        {"codec.rar", "not an archive", Reason::noRarCodec, ProofFailure::none, {}, false},
        {"codec.r01", "not an archive", Reason::noRarCodec, ProofFailure::none, {}, false},
        {"codec.zip", "not an archive", Reason::sourceUnreadable, ProofFailure::none, 2, false},
        // A zip under a RAR name is no RAR: the archiver reads it, and it is not re-packed.
        {"codec-damaged.rar", flipped, Reason::notPlainArchive, ProofFailure::none, {}, false},
    };
    options.zip = false;
    for (const Case& c : cases) {
        const NativeString source = folder.file(c.name);
        test::writeFile(source, c.content);
        runState.archiverReadsRar = c.readsRar;
        const ConversionOutcome outcome = convertFile(window, source, 0, 1, options, runState);
        EXPECT_EQ(outcome.reason, c.reason) << c.name;
        EXPECT_EQ(outcome.proof, c.proof) << c.name;
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name;
    }
}

TEST_F(JobTest, EncryptedArchiveFailsPromptlyAndStays) {
    options.deleteProcessed = true;
    const NativeString source =
        makeArchive("secret.7z", sample, {POMU_T("-t7z"), POMU_T("-pSECRET"), POMU_T("-mhe=on")});
    options.zip = true;
    const auto start = Clock::now();
    EXPECT_EQ(convert(source, nullptr, std::chrono::seconds(20)), ConversionResult::notConverted);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(platform::pathExists(source));
    EXPECT_FALSE(platform::pathExists(folder.file("secret.zip")));
}

TEST_F(JobTest, ProcessedSourceGoesToTheTrashOnlyAfterSuccess) {
    const NativeString source = makeArchive("done.zip", sample, {POMU_T("-tzip")});
    const std::string bytes = test::readFile(source).value();
    options.deleteProcessed = true;
    EXPECT_EQ(convert(source), ConversionResult::converted);
    EXPECT_FALSE(platform::pathExists(source));
    EXPECT_EQ(trashed(source), test::fingerprint(bytes));
    EXPECT_EQ(unpacked(folder.file("done.7z")), test::fingerprints(sample));
}

TEST_F(JobTest, OptionChangedDuringARunAffectsOnlyTheNextFile) {
    const NativeString first =
        makeArchive("first.zip", {{"big", test::noise(3'000'000)}}, {POMU_T("-tzip")});
    const NativeString second = makeArchive("second.7z", sample, {POMU_T("-t7z")});
    ScriptedWindow scripted{runState};
    scripted.onEvents = [this](int) { options.zip = true; };
    EXPECT_EQ(convert(first, &scripted), ConversionResult::converted);
    EXPECT_TRUE(platform::pathExists(folder.file("first.7z")));
    EXPECT_FALSE(platform::pathExists(folder.file("first.zip.zip")));
    scripted.onEvents = nullptr;
    EXPECT_EQ(convert(second, &scripted), ConversionResult::converted);
    EXPECT_TRUE(platform::pathExists(folder.file("second.zip")));
}

TEST_F(JobTest, ForceExitEndsTheJobWithoutOutputOrMovedSource) {
    options.deleteProcessed = true;
    options.level = POMU_T("9");
    const NativeString source = makeArchive("large.zip", {{"big", test::noise(40'000'000)}},
                                            {POMU_T("-tzip"), POMU_T("-mx=0")});
    const NativeString target = folder.file("large.7z");
    struct Case {
        const char* when;
        std::function<bool()> stopNow;
    };
    const Case cases[] = {
        {"during extraction", [] { return true; }},
        {"during compression", [&] { return platform::pathExists(target); }},
    };
    for (const auto& c : cases) {
        RunState local;
        ScriptedWindow stopper{local};
        stopper.startRun(std::chrono::seconds(120));
        stopper.onEvents = [&](int) {
            if (c.stopNow()) local.forceExit = true;
        };
        EXPECT_EQ(convertFile(stopper, source, 0, 1, options, local).result,
                  ConversionResult::notConverted);
        EXPECT_TRUE(local.forceExit) << c.when << ": the run was long enough to be stopped";
        EXPECT_FALSE(stopper.hung()) << c.when << ": ended by the limit, not by the stop";
        EXPECT_TRUE(platform::pathExists(source)) << c.when;
        EXPECT_FALSE(platform::pathExists(target)) << c.when << ": no half-written archive";
        EXPECT_FALSE(platform::pathExists(workspacePath().value()))
            << c.when << ": no unpacked data";
    }
}

TEST_F(JobTest, SplitOutputIsAVolumeSetTheArchiverReads) {
    options.div100MB = true;
    options.level = POMU_T("0");
    const std::vector<std::pair<std::string, std::string>> files{
        {"big.bin", test::noise(210'000'000)}};
    const NativeString source = makeArchive("split.zip", files, {POMU_T("-tzip"), POMU_T("-mx=0")});
    const std::int64_t sourceDate = makeOld(source);
    EXPECT_EQ(convert(source), ConversionResult::converted);
    EXPECT_FALSE(platform::pathExists(folder.file("split.7z")));
    for (const char* volume : {"split.7z.001", "split.7z.002", "split.7z.003"}) {
        EXPECT_EQ(modifiedTime(folder.file(volume)), sourceDate) << volume;
    }
    EXPECT_FALSE(platform::pathExists(folder.file("split.7z.004")));
    EXPECT_TRUE(test::archiveTests(folder.file("split.7z.001")));
    EXPECT_EQ(unpacked(folder.file("split.7z.001")), test::fingerprints(files));
}

#ifndef _WIN32
// The archivers whose command line names the folder.
// A /proc file's text; empty when the process went meanwhile (a read then fails, which a
// stream would throw for).
std::string procText(const test::fs::path& file) {
    std::string text;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
    ::close(fd);
    return text;
}

std::vector<int> archiversIn(const NativeString& folder) {
    std::vector<int> found;
    std::error_code error;
    for (test::fs::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string text = procText(it->path() / "cmdline");
        if (text.find(folder) != std::string::npos) {
            found.push_back(std::atoi(it->path().filename().c_str()));
        }
    }
    return found;
}

// Every thread gone or a zombie: it has closed its files (the workspace lock among them).
bool hasEnded(int pid) {
    std::error_code error;
    const test::fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (test::fs::directory_iterator it(tasks, error), end; !error && it != end;
         it.increment(error)) {
        const std::string text = procText(it->path() / "stat");
        const std::size_t name = text.rfind(')');
        if (name != std::string::npos && name + 2 < text.size() && text[name + 2] != 'Z' &&
            text[name + 2] != 'X') {
            return false;
        }
    }
    return true;
}

// Runs the work in a child process and kills it (SIGKILL) once the work says so, as Task
// Manager, a crash or a power cut would end pomu. False when the moment never came.
bool killedWhen(const std::function<void(const std::function<void()>& killMe)>& work,
                const std::function<void()>& beforeKill = {}) {
    int ready[2];
    if (::pipe(ready) != 0) return false;
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        work([&] {
            [[maybe_unused]] const ssize_t written = ::write(ready[1], "k", 1);
            for (;;) ::pause();
        });
        ::_exit(1);
    }
    ::close(ready[1]);
    char signal = 0;
    const bool reached = ::read(ready[0], &signal, 1) == 1;
    ::close(ready[0]);
    if (reached && beforeKill) beforeKill();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return reached;
}

// pomu killed in the middle of a run: its archiver ends with it within 2 s, and the next start
// clears the workspace and moves the half-written archive to the Trash.
TEST_F(JobTest, AKilledRunLeavesNoArchiverAndTheNextStartUndoesIt) {
    options.level = POMU_T("9");
    // Many small files beside the big one: the new archive's listing lasts several passes.
    std::vector<std::pair<std::string, std::string>> files{{"big", test::noise(40'000'000)}};
    for (int i = 0; i < 1000; ++i) files.emplace_back("small/" + std::to_string(i), "x");
    const NativeString source =
        makeArchive("killed.zip", files, {POMU_T("-tzip"), POMU_T("-mx=0")});
    const std::optional<std::string> sourceBytes = test::readFile(source);
    const NativeString target = folder.file("killed.7z");
    const ScratchFolder temp;
    const test::TempFolderOverride override(temp.folder());
    const NativeString workspace = workspacePath().value();
    struct Case {
        const char* when;
        std::function<bool()> killNow;
        bool leavesOutput;
        bool archiverRuns;  // a listing may have printed its last line and ended
    };
    // The job notes the new archive once it sees it; killed on the pass after that.
    bool seen = false;
    const Case cases[] = {
        {"during extraction", [&] { return platform::folderHasEntries(workspace); }, false, true},
        {"during compression", [&] { return std::exchange(seen, platform::pathExists(target)); },
         true, true},
        // Packed in full, but not proven yet: it must not look finished either.
        {"while the new archive is listed",
         [&] { return platform::pathExists(target) && !platform::pathExists(workspace); }, true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        std::vector<int> archivers;
        ASSERT_TRUE(killedWhen(
            [&](const std::function<void()>& killMe) {
                test::PeriodicWakeup wakeup(20);
                ScriptedWindow killed(runState);
                killed.onEvents = [&](int) {
                    if (c.killNow()) killMe();
                };
                convertFile(killed, source, 0, 1, options, runState);
            },
            [&] { archivers = archiversIn(folder.folder()); }))
            << "the run ended before it could be killed";
        if (c.archiverRuns) {
            EXPECT_FALSE(archivers.empty());
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        const auto allEnded = [&] { return std::ranges::all_of(archivers, hasEnded); };
        while (!allEnded() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(allEnded()) << "the archiver outlived pomu";
        EXPECT_EQ(platform::pathExists(target), c.leavesOutput);

        cleanUpInterruptedRuns();
        EXPECT_FALSE(platform::pathExists(workspace)) << "the next start left the workspace";
        EXPECT_FALSE(platform::pathExists(target)) << "a half-written archive looks finished";
        EXPECT_EQ(trashed(target) != kNotTrashed, c.leavesOutput);
        EXPECT_EQ(test::readFile(source), sourceBytes);
    }
}

// The next start moves only the outputs the job saw the archiver create after the note.
TEST_F(JobTest, TheNextStartMovesOnlyWhatAppearedAfterTheNote) {
    const ScratchFolder temp;
    const test::TempFolderOverride override(temp.folder());
    struct Case {
        const char* what;
        bool split;
        std::vector<std::string> before, after, moved;
        std::vector<std::string> seen;  // noted by the job as written
        // After pomu ended: the user deleted the output and saved a bigger, newer file there,
        // which the file system gave the same index.
        bool replacedLater = false;
        bool beside = false;     // the working folder beside the target
        bool tempWiped = false;  // a power cut, and a temp folder that does not last
    };
    const Case cases[] = {
        {"target written after the note", false, {}, {"n0.7z"}, {"n0.7z"}, {"n0.7z"}},
        {"target that stood there before", false, {"n1.7z"}, {}, {}, {}},
        {"volumes, a stray older one",
         true,
         {"n2.7z", "n2.7z.003"},
         {"n2.7z.001", "n2.7z.002"},
         {"n2.7z.001", "n2.7z.002"},
         {"n2.7z.001", "n2.7z.002"}},
        {"nothing written yet", true, {}, {}, {}, {}},
        // pomu killed before the archiver made it: the user's own file, made afterwards.
        {"a file made at the name later", false, {}, {"n4.7z"}, {}, {}},
        {"volumes, only the first seen",
         true,
         {},
         {"n5.7z.001", "n5.7z.002"},
         {"n5.7z.001"},
         {"n5.7z.001"}},
#ifndef _WIN32  // NTFS changes the index itself; under Wine it is the host's inode
        {"a file saved later under the index", false, {}, {"n6.7z"}, {}, {"n6.7z"}, true},
#endif
        {"working folder beside the target",
         false,
         {},
         {"n7.7z"},
         {"n7.7z"},
         {"n7.7z"},
         false,
         true},
#ifndef _WIN32  // Windows keeps its temp folder
        {"the temp folder gone", false, {}, {"n8.7z"}, {"n8.7z"}, {"n8.7z"}, false, false, true},
        {"beside, the temp folder gone",
         false,
         {},
         {"n9.7z"},
         {"n9.7z"},
         {"n9.7z"},
         false,
         true,
         true},
#endif
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const NativeString target = folder.file("n" + std::to_string(i) + ".7z");
        for (const std::string& name : c.before) {
            test::writeFile(folder.file(name), "the user's own " + name);
            test::fs::last_write_time(
                folder.file(name), test::fs::file_time_type::clock::now() - std::chrono::hours(1));
        }
        ASSERT_TRUE(killedWhen([&](const std::function<void()>& killMe) {
            std::optional<Workspace> workspace =
                c.beside ? prepareWorkspace(folder.folder()) : prepareWorkspace();
            if (!workspace || !workspace->noteOutput(target, c.split)) return;
            for (const std::string& name : c.after) test::writeFile(folder.file(name), "half");
            for (const std::string& name : c.seen) {
                const std::size_t dot = name.rfind(".00");
                const int number = dot == std::string::npos ? 0 : std::stoi(name.substr(dot + 1));
                const auto identity = platform::fileIdentity(folder.file(name));
                if (!identity || !workspace->noteWritten(number, *identity)) return;
            }
            killMe();
        }));
        for (const std::string& name : c.replacedLater ? c.seen : std::vector<std::string>{}) {
            const auto noted = platform::fileIdentity(folder.file(name));
            for (int tries = 0; tries < 100; ++tries) {
                platform::removeFile(folder.file(name));
                test::writeFile(folder.file(name), "half, and more");
                const auto now = platform::fileIdentity(folder.file(name));
                if (noted && now && now->index == noted->index) break;
            }
        }
        if (c.tempWiped) {
            for (const auto& left : test::fs::directory_iterator(temp.path())) {
                test::fs::remove_all(left.path());
            }
        }
        cleanUpInterruptedRuns();
        EXPECT_FALSE(platform::pathExists(folder.file(".pomu-1"))) << "the working folder stayed";
        for (const std::string& name : c.before) {
            EXPECT_EQ(test::readFile(folder.file(name)), "the user's own " + name) << name;
        }
        for (const std::string& name : c.after) {
            const bool moved = std::ranges::find(c.moved, name) != c.moved.end();
            EXPECT_EQ(platform::pathExists(folder.file(name)), !moved) << name;
            EXPECT_EQ(trashed(folder.file(name)),
                      moved ? test::fingerprint("half") : std::string(kNotTrashed))
                << name;
            if (c.replacedLater) {
                EXPECT_EQ(test::readFile(folder.file(name)), "half, and more");
            }
        }
        EXPECT_FALSE(platform::pathExists(workspacePath().value()));
        // Undone once: the note is gone, so a new file there later is never moved.
        test::writeFile(target, "later");
        cleanUpInterruptedRuns();
        EXPECT_EQ(test::readFile(target), "later");
        platform::removeFile(target);
    }
}
#endif

TEST(OutputCheck, SizeCountsInFull64Bits) {
    ScratchFolder folder;
    struct Case {
        std::uint64_t size;
        bool usable;
    };
    const Case cases[] = {{0, false}, {1, true}, {(1ull << 32) - 1, true}, {1ull << 32, true}};
    for (const auto& c : cases) {
        const NativeString file = folder.file("out-" + std::to_string(c.size));
        test::writeFile(file, "");
        std::error_code error;
        test::fs::resize_file(file, c.size, error);  // sparse on the test file systems
        ASSERT_FALSE(error) << error.message();
        EXPECT_EQ(platform::readFileSize(file), c.size);
        EXPECT_EQ(isUsableOutput(file), c.usable) << c.size;
    }
    EXPECT_FALSE(isUsableOutput(folder.file("missing")));
    EXPECT_FALSE(isUsableOutput(folder.folder())) << "a folder is no output";
}

// Real multi-volume RAR sets made by rar for the build, read by the archiver's RAR support.
class RarSetTest : public JobTest {
  protected:
    void SetUp() override {
        JobTest::SetUp();
        const path fixtures = test::rarFixtures();
        if (fixtures.empty())
            GTEST_SKIP() << "no RAR fixtures: rar was not found when the build was configured";
        for (int k = 1; k <= 4; ++k) {
            const std::string part = "movie.part" + std::to_string(k) + ".rar";
            std::error_code error;
            test::fs::copy_file(fixtures / part, folder.path() / part, error);
            ASSERT_FALSE(error) << part << ": " << error.message();
        }
        options.deleteProcessed = true;
    }
};

TEST_F(RarSetTest, WholeSetGoesToTheTrashAfterSuccess) {
    std::vector<std::string> parts;
    for (int k = 1; k <= 4; ++k) {
        parts.push_back(
            test::readFile(folder.file("movie.part" + std::to_string(k) + ".rar")).value());
    }
    EXPECT_EQ(convert(folder.file("movie.part1.rar")), ConversionResult::converted);
    EXPECT_TRUE(test::archiveTests(folder.file("movie.7z")));
    const auto bytes = test::readFile(test::rarFixtures() / "content" / "movie.bin").value();
    EXPECT_EQ(unpacked(folder.file("movie.7z")), test::fingerprints({{"movie.bin", bytes}}));
    for (int k = 1; k <= 4; ++k) {
        const std::string part = "movie.part" + std::to_string(k) + ".rar";
        EXPECT_FALSE(platform::pathExists(folder.file(part))) << part;
        EXPECT_EQ(trashed(folder.file(part)), test::fingerprint(parts[std::size_t(k - 1)])) << part;
    }
}

TEST_F(RarSetTest, SetWithAMissingMiddleVolumeStaysWhole) {
    const path middle = folder.path() / "movie.part2.rar";
    test::fs::rename(middle, folder.path() / "elsewhere.bin");
    const ConversionOutcome outcome =
        convertFile(window, folder.file("movie.part1.rar"), 0, 1, options, runState);
    EXPECT_EQ(outcome.reason, Reason::volumeMissing);
    EXPECT_EQ(outcome.count, 2) << "the first missing volume";
    for (int k : {1, 3, 4}) {
        EXPECT_TRUE(platform::pathExists(folder.file("movie.part" + std::to_string(k) + ".rar")))
            << k;
    }
    EXPECT_FALSE(platform::pathExists(folder.file("movie.7z")));
}

}  // namespace
}  // namespace pomu

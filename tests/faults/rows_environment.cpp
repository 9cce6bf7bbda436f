// Fault rows about the surroundings: read-only and full disks, locks, the Trash, a moving source.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include "convert/interrupted_run.h"
#include "convert/room.h"
#include "convert/zip_comment.h"
#include "faults/fault_rows.h"
#include "fs/workspace.h"

#ifdef _WIN32
#include "platform/win32/running_tool.h"
#include "support/shell_question.h"
#else
#include "platform/qt/running_tool.h"
#endif

namespace pomu::faults {
namespace {

const std::string kReplacement = "a newer file that took the name while the old one was unpacked";
constexpr int kLargeFiles = 100;

// A large source of many files, whose extraction lasts long enough to be caught in the middle.
void largeSource(Scene& s, const std::string& name) {
    s.options.deleteProcessed = true;
    s.options.level = POMU_T("0");
    const std::string bytes = test::noise(kLargeFiles * 512 * 1024, 3);
    for (int i = 0; i < kLargeFiles; ++i) {
        s.content.emplace_back("part" + std::to_string(i) + ".bin",
                               bytes.substr(i * 512 * 1024, 512 * 1024));
    }
    s.dropped = {s.archive(name, s.content, {POMU_T("-tzip"), POMU_T("-mx=0")})};
    s.kept = s.read(name).value();
}

// Calls the change once, while the extraction is half done: some files unpacked, not all.
std::function<void(Scene&)> midExtraction(bool (*change)(Scene&)) {
    return [change, done = false](Scene& s) mutable {
        const std::optional<NativeString> workspace = workspacePath();
        if (done || !workspace) return;
        std::error_code error;
        int unpacked = 0;
        for (fs::directory_iterator it(*workspace, error), end; !error && it != end;
             it.increment(error)) {
            ++unpacked;
        }
        if (unpacked == 0 || unpacked >= kLargeFiles) return;
        done = true;
        s.hookReached = true;
        s.hookActed = change(s);
    };
}

#ifdef _WIN32
// A fresh folder on a drive the test script maps (its letter in the variable), in `folder`
// with its separator; false, and the row skipped, without that drive.
bool mappedDriveFolder(Scene& s, const char* variable, NativeString& folder) {
    const char* drive = std::getenv(variable);
    std::error_code error;
    const fs::path made = drive ? fs::path(drive) / s.root.path().filename() : fs::path();
    if (!drive || !fs::create_directory(made, error)) {
        s.skip = std::string("no drive ") + variable + " is mapped here";
        return false;
    }
    folder = made.native() + L"\\";
    return true;
}

// The small drive: a 1 MiB tmpfs.
bool smallDriveFolder(Scene& s, NativeString& folder) {
    return mappedDriveFolder(s, "POMU_SMALL_DRIVE", folder);
}

struct RefusedQuestion : Hold {
    test::ShellQuestionAnswer answer{IDNO};
};
#endif

const std::string kUsersOwn = "the user's own archive, saved while pomu ran";

// Split mode: the user saves an archive under the bare target's name, which the archiver
// never writes in that mode, when `moment` says; `stop` then asks for force exit too.
void bareTargetSaved(Scene& s, bool (*moment)(Scene&), bool stop) {
    largeSource(s, "saved.zip");
    s.options.div100MB = true;
    s.duringRun = [moment, stop](Scene& s) {
        if (s.hookActed || !moment(s)) return;
        s.hookReached = true;
        s.write("saved.7z", kUsersOwn);
        s.hookActed = true;
        if (stop) s.runState.forceExit = true;
    };
}

bool unpacking(Scene& s) {
    const std::optional<NativeString> workspace = workspacePath();
    return workspace && platform::folderHasEntries(*workspace) &&
           !fs::exists(s.file("saved.7z.001"));
}

bool packing(Scene& s) {
    return fs::exists(s.file("saved.7z.001"));
}

#ifndef _WIN32
// Acts once, when the n-th archiver run of the job is under way (the source's listing is the
// first; then the extraction, the compression, the new archive's listing and its test).
std::function<void(Scene&)> onRun(int run, std::function<bool(Scene&)> act) {
    return [run, act, pids = std::vector<pid_t>()](Scene& s) mutable {
        if (!s.tool || s.hookReached) return;
        if (std::ranges::find(pids, s.tool->impl().pid) == pids.end()) {
            pids.push_back(s.tool->impl().pid);
        }
        if (int(pids.size()) < run) return;
        s.hookReached = true;
        s.hookActed = act(s);
    };
}

// Fills the folder's disk when the n-th archiver run of the job starts.
std::function<void(Scene&)> fillOnRun(int run, fs::path Scene::*folder) {
    return onRun(run, [folder](Scene& s) {
        std::string why;
        std::unique_ptr<Hold> hold = filledUp(s.*folder, why);
        if (!hold) return false;
        s.holds.push_back(std::move(hold));
        return true;
    });
}
#endif

// The folder where a row's sources stand on a disk that gives no file generation: files/ on a
// FUSE mount on Linux; on Windows a folder on the network drive the test script maps
// (POMU_NETWORK_DRIVE), whose NTFS index is not trusted. False, and the row skipped, without.
// Names in files/, where a row's files stand there on this system.
std::vector<std::string> onFilesFolder(std::vector<std::string> names) {
#ifdef _WIN32
    names.clear();  // on the network drive
#endif
    return names;
}

bool diskWithoutGenerations(Scene& s, NativeString& folder) {
#ifdef _WIN32
    return mappedDriveFolder(s, "POMU_NETWORK_DRIVE", folder);
#else
    std::string why;
    s.need(fuseFolder(s.files, why), why);
    folder = s.files.native() + "/";
#endif
    return s.skip.empty();
}

// The source of a row on such a disk, holding the files: made in files/, then moved there.
// Only in files/ do the matrix's own checks see what it becomes.
NativeString sourceWithoutGenerations(Scene& s, const std::string& name, const NativeString& folder,
                                      const Files& files) {
    const NativeString made = s.archive(name, files, {POMU_T("-tzip"), POMU_T("-mx=0")});
    if (folder == s.files.native() + kSeparator) {
        s.content = files;
        return made;
    }
    fs::copy_file(made, folder + test::native(name));
    fs::remove(made);
    return folder + test::native(name);
}

// A zip the archiver made, given a comment in its end record.
std::string withComment(const std::string& zip, const std::string& comment) {
    const std::string length{char(comment.size() & 0xFF), char(comment.size() >> 8)};
    return zip.substr(0, zip.size() - 2) + length + comment;
}

void expectHookActedOnLinux([[maybe_unused]] const Scene& s) {
#ifndef _WIN32
    EXPECT_TRUE(s.hookActed) << "the extraction was over before the hook could act";
#endif
}

}  // namespace

std::vector<Row> environmentRows() {
    std::vector<Row> rows{
        // Linux: the archiver reads on from its open file; nothing is left to move afterwards.
        // Windows: the open archive cannot be deleted, so the conversion goes on as usual.
        {.name = "SourceDeletedWhileExtracting",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 largeSource(s, "vanish.zip");
                 s.duringRun = midExtraction([](Scene& s) {
                     std::error_code error;
                     return fs::remove(s.dropped[0], error);
                 });
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"vanish.7z"},
         .touched = {"vanish.zip"},
         .check =
             [](Scene& s) {
                 expectHookActedOnLinux(s);
                 EXPECT_FALSE(fs::exists(s.dropped[0]));
                 EXPECT_EQ(trashedBytes(s.dropped[0]),
                           s.hookActed ? std::nullopt : std::optional(s.kept));
             },
         .seconds = 120},
        // The file that took the source's name was never converted: it must survive whole.
        {.name = "SourceReplacedWhileExtracting",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 largeSource(s, "swap.zip");
                 s.write("swap.new", kReplacement);
                 s.duringRun = midExtraction([](Scene& s) {
                     std::error_code error;
                     fs::rename(s.file("swap.new"), s.dropped[0], error);
                     return !error;
                 });
             },
         .converted = 1,
         .texts = {kProcessing},
#ifndef _WIN32  // Windows cannot replace the open archive
         .report = {"swap.zip: converted, swap.zip changed while it was converted: it stays"},
#endif
         .outputs = {"swap.7z"},
         .touched = {"swap.zip", "swap.new"},
         .check =
             [](Scene& s) {
                 expectHookActedOnLinux(s);
                 if (s.hookActed) {
                     EXPECT_EQ(s.read("swap.zip"), kReplacement) << "the replacement was moved";
                     EXPECT_EQ(trashedBytes(s.dropped[0]), std::nullopt);
                 } else {
                     EXPECT_EQ(s.read("swap.new"), kReplacement);
                     EXPECT_EQ(trashedBytes(s.dropped[0]), s.kept);
                 }
             },
         .seconds = 120},
        {.name = "TempFolderIsAFile",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 test::writeFile(s.root.path() / "not-a-folder", "x");
                 s.tempFolder = (s.root.path() / "not-a-folder").native();
                 s.dropped = {s.archive("homeless.zip", sampleFiles(), {POMU_T("-tzip")})};
             },
         .texts = {kProcessing}},
        // Split mode writes only volumes: the archive the user saved is theirs, never removed.
        {.name = "BareTargetSavedWhileUnpackingInSplitMode",
         .act = Act::convert,
         .arrange = [](Scene& s) { bareTargetSaved(s, unpacking, false); },
         .texts = {kProcessing},
         .report = {"saved.zip: already exists: saved.7z"},
         .touched = {"saved.7z"},
         .check =
             [](Scene& s) {
                 EXPECT_TRUE(s.hookActed) << "the extraction was over before the hook could act";
                 EXPECT_EQ(s.read("saved.7z"), kUsersOwn);
             },
         .seconds = 120},
        {.name = "BareTargetSavedBeforeForceExitInSplitMode",
         .act = Act::convert,
         .arrange = [](Scene& s) { bareTargetSaved(s, packing, true); },
         .texts = {kProcessing},
         .report = {"saved.zip: stopped"},
         .touched = {"saved.7z"},
         .check =
             [](Scene& s) {
                 EXPECT_TRUE(s.hookActed) << "the compression was over before the hook could act";
                 EXPECT_EQ(s.read("saved.7z"), kUsersOwn);
             },
         .seconds = 120},
        // A bad drive or a write error: the new archive lists well, but its data do not read
        // back; it is no conversion, and the source stays.
        {.name = "NewArchiveDamagedBeforeItsTest",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.options.level = POMU_T("0");
                 // Many small files: the new archive's listing lasts several passes.
                 Files files{{"big.bin", test::noise(20'000'000, 5)}};
                 for (int i = 0; i < 1000; ++i)
                     files.emplace_back("small/" + std::to_string(i), "x");
                 s.dropped = {s.archive("spoilt.zip", files, {POMU_T("-tzip"), POMU_T("-mx=0")})};
                 s.duringRun = [](Scene& s) {
                     const std::optional<NativeString> workspace = workspacePath();
                     if (s.hookReached || !workspace || platform::pathExists(*workspace) ||
                         !fs::exists(s.file("spoilt.7z"))) {
                         return;
                     }
                     s.hookReached = true;
                     // In the big file's stored data, far from the headers at the end,
                     // written in place while the archive is listed.
                     std::error_code error;
                     const std::uintmax_t size = fs::file_size(s.file("spoilt.7z"), error);
                     std::fstream file(fs::path(s.file("spoilt.7z")),
                                       std::ios::in | std::ios::out | std::ios::binary);
                     if (error || size < 1'000'000 || !file) return;
                     file.seekp(std::streamoff(size / 3));
                     file.write(std::string(64, '\x5A').data(), 64);
                     s.hookActed = bool(file.flush());
                 };
             },
         .texts = {kProcessing},
         .report = {"spoilt.zip: the new archive failed its test (7-Zip exit code 2)"},
         .check = [](Scene& s) { EXPECT_TRUE(s.hookActed) << "the archive was not caught"; },
         .seconds = 120},
        // On a disk that gives no file generations (FUSE, NFSv3, FAT, network shares), what
        // this run just wrote and still holds is its own all the same: dated as its source,
        // and removed when the run stops.
        {.name = "ConvertedOnADiskWithoutGenerations",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 NativeString folder;
                 if (!diskWithoutGenerations(s, folder)) return;
                 s.dropped = {sourceWithoutGenerations(s, "dated.zip", folder, sampleFiles())};
                 const std::int64_t year = 365LL * 86400 * platform::kModifiedTicksPerSecond;
                 const auto made = platform::fileIdentity(s.dropped[0]);
                 ASSERT_TRUE(made &&
                             platform::setModifiedTime(s.dropped[0], made->modified - year));
                 s.kept = std::to_string(platform::fileIdentity(s.dropped[0])->modified);
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"dated.zip: converted"},
         .outputs = onFilesFolder({"dated.7z"}),
         .check =
             [](Scene& s) {
                 const auto made =
                     platform::fileIdentity(folderOf(s.dropped[0]) + POMU_T("dated.7z"));
                 ASSERT_TRUE(made);
                 EXPECT_EQ(std::to_string(made->modified), s.kept) << "not dated as its source";
             }},
        {.name = "StoppedWhilePackingOnADiskWithoutGenerations",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 NativeString folder;
                 if (!diskWithoutGenerations(s, folder)) return;
                 const std::string bytes = test::noise(kLargeFiles * 512 * 1024, 3);
                 Files files;
                 for (int i = 0; i < kLargeFiles; ++i) {
                     files.emplace_back("part" + std::to_string(i) + ".bin",
                                        bytes.substr(i * 512 * 1024, 512 * 1024));
                 }
                 s.options.level = POMU_T("0");
                 s.dropped = {sourceWithoutGenerations(s, "stopped.zip", folder, files)};
                 s.duringRun = [](Scene& s) {
                     if (s.hookActed || !fs::exists(folderOf(s.dropped[0]) + POMU_T("stopped.7z")))
                         return;
                     s.hookReached = s.hookActed = true;
                     s.runState.forceExit = true;
                 };
             },
         .texts = {kProcessing},
         .report = {"stopped.zip: stopped"},
         .check =
             [](Scene& s) {
                 EXPECT_TRUE(s.hookActed) << "the compression was over before it was stopped";
                 EXPECT_FALSE(fs::exists(folderOf(s.dropped[0]) + POMU_T("stopped.7z")));
             },
         .seconds = 120},
        // A preview or a scanner holds the new archive when the run stops: it cannot be
        // removed, so the note stays and the next start moves it to the Trash.
        {.name = "NewArchiveHeldWhenItsCheckIsStopped",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 Files files;
                 for (int i = 0; i < 2000; ++i) files.emplace_back("f/" + std::to_string(i), "x");
                 s.dropped = {s.archive("held.zip", files, {POMU_T("-tzip")})};
                 s.duringRun = [](Scene& s) {
                     const std::optional<NativeString> workspace = workspacePath();
                     if (s.hookReached || !workspace || platform::pathExists(*workspace) ||
                         !fs::exists(s.file("held.7z"))) {
                         return;
                     }
                     s.hookReached = true;
                     std::string why;
#ifdef _WIN32
                     std::unique_ptr<Hold> hold = heldForReading(s.file("held.7z"), why);
#else
                     std::unique_ptr<Hold> hold = immutableFile(s.file("held.7z"), why);
#endif
                     if (!hold) return;
                     s.holds.push_back(std::move(hold));
                     s.hookActed = true;
                     s.runState.forceExit = true;
                 };
             },
         .texts = {kProcessing},
         .report = {"held.zip: stopped"},
         .outputs = {"held.7z"},
         .workspaceStays = true,  // its note, for the next start
         .check =
             [](Scene& s) {
                 ASSERT_TRUE(s.hookActed) << "the new archive's listing was over too soon";
                 s.holds.clear();
                 {
                     const TempFolderOverride temp(s.tempFolder);
                     cleanUpInterruptedRuns();
                 }
                 EXPECT_FALSE(fs::exists(s.file("held.7z"))) << "the note was dropped";
                 EXPECT_TRUE(trashedBytes(s.file("held.7z")));
                 EXPECT_FALSE(fs::exists(s.tmp / "pomu.note")) << "the note outlived its undoing";
             },
         .seconds = 120},
        // Another program takes the disk while 7-Zip packs: it holds the new archive but not
        // its comment. The archive stays as 7-Zip wrote it, and so does the source.
        {.name = "CommentThatDoesNotFitOnTheDisk",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.zip = true;
                 s.options.deleteProcessed = true;
                 NativeString folder = s.files.native() + kSeparator;
#ifdef _WIN32
                 if (!smallDriveFolder(s, folder)) return;
#else
                 std::string why;
                 s.need(smallDisk(s.files, 1u << 20, why), why);
                 if (!s.skip.empty()) return;
                 s.outputs = {"tight.cbz"};
#endif
                 s.archive("tight.zip", {{"zeros.bin", std::string(940'000, '\0')}},
                           {POMU_T("-tzip"), POMU_T("-mx=9")});
                 s.dropped = {folder + POMU_T("tight.cbr")};
                 test::writeFile(s.dropped[0],
                                 withComment(*s.read("tight.zip"), std::string(60'000, 'c')));
                 fs::remove(s.files / "tight.zip");
                 s.duringRun = [folder](Scene& s) {
                     if (s.hookReached || !fs::exists(folder + POMU_T("tight.cbz"))) return;
                     s.hookReached = true;
                     // All but 16 KiB: room for the small archive, none for its comment.
                     const auto free = platform::freeSpace(folder);
                     if (!free || free->bytes < (16u << 10)) return;
                     test::writeFile(fs::path(folder + POMU_T("filler.bin")),
                                     std::string(free->bytes - (16u << 10), 'f'));
                     s.hookActed = true;
                 };
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"tight.cbr: converted, source kept: its comment did not come through to the "
                    "new archive"},
         .touched = {"filler.bin"},
         .check =
             [](Scene& s) {
                 EXPECT_TRUE(s.hookActed) << "the disk was not taken while 7-Zip packed";
                 const fs::path target = fs::path(s.dropped[0]).replace_extension(".cbz");
                 EXPECT_EQ(zipComment(target.native()), "");
                 EXPECT_TRUE(test::archiveTests(target.native()));
#ifdef _WIN32
                 fs::remove_all(target.parent_path());
#endif
             }},
    };
#ifndef _WIN32
    std::vector<Row> platformRows{
        // "a" cannot open the member and leaves it out of an archive it still writes.
        {.name = "TarWithUnreadableMemberAsOrdinaryUser",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.ordinaryUser = true;
                 test::ScratchFolder content;
                 test::writeFile(content.path() / "locked.txt", "nobody may read this");
                 test::writeFile(content.path() / "open.txt", "anyone may read this");
                 const std::string tar = (s.files / "locked.tar").string();
                 const std::string command = "tar -cf '" + tar + "' -C '" +
                                             content.path().string() +
                                             "' --mode=000 locked.txt && tar -rf '" + tar +
                                             "' -C '" + content.path().string() + "' open.txt";
                 ASSERT_EQ(std::system(command.c_str()), 0);
                 // The ordinary user writes the output and the workspace here.
                 for (const fs::path& folder : {s.files, s.tmp}) {
                     fs::permissions(folder, fs::perms::all, fs::perm_options::add);
                 }
                 s.dropped = {s.file("locked.tar")};
             },
         .texts = {kProcessing}},
        // What the clearing cannot remove (here a mount inside) is never packed with the
        // next source's files.
        {.name = "LeftoverInTheWorkingFolder",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("next.zip", sampleFiles(), {POMU_T("-tzip")})};
                 const fs::path left = s.tmp / "pomu" / "left";
                 fs::create_directories(left);
                 fs::permissions(s.tmp / "pomu", fs::perms::owner_all);
                 std::string why;
                 s.need(smallDisk(left, 1u << 20, why), why);
                 if (s.skip.empty()) test::writeFile(left / "earlier.txt", "an earlier file's");
             },
         .texts = {kProcessing},
         .report = {"next.zip: the working folder holds files that could not be removed"},
         .workspaceStays = true},
        // Another user's pomu folder in a shared temp folder is left alone; a private one
        // beside it serves (it once stopped every conversion of this user).
        {.name = "ForeignWorkspaceFolder",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 fs::create_directory(s.tmp / "pomu");
                 test::writeFile(s.tmp / "pomu" / "theirs.txt", "theirs");
                 fs::permissions(s.tmp / "pomu", fs::perms::owner_all);
                 if (::geteuid() != 0) {
                     s.skip = "only the superuser can make a folder of user 65534";
                 } else if (::chown((s.tmp / "pomu").c_str(), 65534, 65534) != 0 ||
                            ::chown((s.tmp / "pomu" / "theirs.txt").c_str(), 65534, 65534) != 0) {
                     s.skip = "chown to user 65534 failed";
                 }
                 s.content = sampleFiles();
                 s.dropped = {s.archive("mine.zip", s.content, {POMU_T("-tzip")})};
             },
         .converted = 1,
         .texts = {kProcessing},
         .outputs = {"mine.7z"},
         .trashed = {"mine.zip"}},
        // The temp folder is too small for what the listing says unpacks: the working folder
        // goes beside the target, and nothing of it stays there.
        {.name = "TempFolderTooSmallForTheUnpackedFiles",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = {{"zeros.bin", std::string(8u << 20, '\0')}};
                 s.dropped = {s.archive("full.zip", s.content, {POMU_T("-tzip")})};
                 std::string why;
                 s.need(smallDisk(s.tmp, 1u << 20, why), why);
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"full.zip: converted"},
         .outputs = {"full.7z"},
         .trashed = {"full.zip"}},
        {.name = "NoRoomAnywhereToUnpack",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 std::string why;
                 s.need(smallDisk(s.files, 4u << 20, why), why);
                 s.need(smallDisk(s.tmp, 1u << 20, why), why);
                 if (!s.skip.empty()) return;
                 s.dropped = {s.archive("full.zip", {{"zeros.bin", std::string(8u << 20, '\0')}},
                                        {POMU_T("-tzip")})};
             },
         .texts = {kProcessing},
         .report = {"full.zip: not enough space for the working folder: needs 8.0 MB, 1.0 MB "
                    "free in {tmp}"}},
        {.name = "NoRoomForTheNewArchive",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 std::string why;
                 s.need(smallDisk(s.files, 1u << 20, why), why);
                 if (!s.skip.empty()) return;
                 s.dropped = {s.archive("tight.zip", {{"noise.bin", test::noise(700'000)}},
                                        {POMU_T("-tzip"), POMU_T("-mx=0")})};
             },
         .texts = {kProcessing},
         .report = {"tight.zip: not enough space for the new archive on {files}"}},
        // A source where the Trash cannot take it: converted, and the reason says it stayed.
        {.name = "SourceOnADriveWithoutATrash",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 std::string why;
                 s.need(smallDisk(s.files, 8u << 20, why), why);
                 if (!s.skip.empty()) return;
                 s.content = sampleFiles();
                 s.dropped = {s.archive("stays.zip", s.content, {POMU_T("-tzip")})};
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"stays.zip: converted, source kept: the Trash refused stays.zip (no Trash on "
                    "that drive)"},
         .outputs = {"stays.7z"}},
        {.name = "FifoNamedAsAnArchive",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 if (::mkfifo(test::utf8(s.file("pipe.zip")).c_str(), 0600) != 0) {
                     s.skip = "no fifo can be made here";
                 }
                 s.dropped = {s.file("pipe.zip")};
             },
         .texts = {kProcessing},
         .report = {"pipe.zip: not a file pomu re-packs: pipe.zip is a fifo"},
         .seconds = 10},
        // The user saves a file over the archive being written (Linux lets a name be taken
        // from an open file): the proof fails on it, and it is theirs, never removed.
        {.name = "TargetReplacedWhileCompressing",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 largeSource(s, "over.zip");
                 s.write("over.new", kUsersOwn);
                 s.duringRun = [](Scene& s) {
                     if (s.hookReached || !fs::exists(s.file("over.7z"))) return;
                     s.hookReached = true;
                     std::error_code error;
                     fs::rename(s.file("over.new"), s.file("over.7z"), error);
                     s.hookActed = !error;
                 };
             },
         .texts = {kProcessing},
         .touched = {"over.new", "over.7z"},
         .check =
             [](Scene& s) {
                 EXPECT_TRUE(s.hookActed) << "the compression was over before the hook could act";
                 EXPECT_EQ(s.read("over.7z"), kUsersOwn);
             },
         .seconds = 120},
        {.name = "ExistingTargetCannotGoToTheTrash",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteAlready = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("stuck.zip", sampleFiles(), {POMU_T("-tzip")})};
                 s.write("stuck.7z", "old target");
                 std::string why;
                 s.need(blockedTrash(s.files, why), why);
             }},
    };
    // The target's folder, or the temp folder, that cannot be written: nothing converts.
    for (const auto& [name, source, folder] :
         {std::tuple("ReadOnlyTargetFolder", "ro.zip", &Scene::files),
          std::tuple("WorkspaceCannotBeWritten", "nowhere.zip", &Scene::tmp)}) {
        platformRows.push_back({.name = name,
                                .act = Act::convert,
                                .arrange =
                                    [source, folder](Scene& s) {
                                        s.options.deleteProcessed = true;
                                        s.dropped = {
                                            s.archive(source, sampleFiles(), {POMU_T("-tzip")})};
                                        std::string why;
                                        s.need(readOnlyFolder(s.*folder, why), why);
                                    },
                                .texts = {kProcessing}});
    }
    // Another program fills the disk once the room was found: the failed run says why.
    for (const auto& [name, folder, bytes, run, report] :
         {std::tuple("DiskFilledWhileExtracting", &Scene::tmp, 12u << 20, 2,
                     "filled.zip: no space left for the working folder in {tmp}"),
          std::tuple("DiskFilledWhileCompressing", &Scene::files, 16u << 20, 3,
                     "filled.zip: no space left for the new archive on {files}")}) {
        platformRows.push_back(
            {.name = name,
             .act = Act::convert,
             .arrange =
                 [folder, bytes, run](Scene& s) {
                     std::string why;
                     s.need(smallDisk(s.*folder, bytes, why), why);
                     if (!s.skip.empty()) return;
                     s.dropped = {s.archive("filled.zip", {{"noise.bin", test::noise(4u << 20)}},
                                            {POMU_T("-tzip"), POMU_T("-mx=0")})};
                     s.duringRun = fillOnRun(run, folder);
                 },
             .texts = {kProcessing},
             .report = {report},
             .check = [](Scene& s) { EXPECT_TRUE(s.hookActed) << "the disk was not filled"; }});
    }
    // Another file put in the new archive's place before its source leaves: no source leaves
    // on the strength of a file that is not the one written and flushed.
    platformRows.push_back(
        {.name = "NewArchiveSwappedBeforeItsSourceLeaves",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = sampleFiles();
                 s.dropped = {s.archive("swapped.zip", s.content, {POMU_T("-tzip")})};
                 s.duringRun = onRun(5, [](Scene& s) {
                     const std::optional<std::string> bytes = s.read("swapped.7z");
                     if (!bytes) return false;
                     s.write("swapped.copy", *bytes);
                     std::error_code error;
                     fs::rename(s.file("swapped.copy"), s.file("swapped.7z"), error);
                     return !error;
                 });
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"swapped.zip: converted, source kept: the new archive could not be written "
                    "through to the disk"},
         .outputs = {"swapped.7z"},
         .check = [](Scene& s) { EXPECT_TRUE(s.hookActed) << "the test was over too soon"; }});
#else
    std::vector<Row> platformRows{
        // Drive T: is a 1 MiB tmpfs the test script maps: too small a temp folder, the
        // working folder goes beside the target.
        {.name = "TempFolderOnASmallDrive",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteProcessed = true;
                 s.content = {{"zeros.bin", std::string(8u << 20, '\0')}};
                 s.dropped = {s.archive("full.zip", s.content, {POMU_T("-tzip")})};
                 if (!smallDriveFolder(s, s.tempFolder)) return;
             },
         .converted = 1,
         .texts = {kProcessing},
         .report = {"full.zip: converted"},
         .outputs = {"full.7z"},
         .trashed = {"full.zip"},
         .check =
             [](Scene& s) {
                 // Only the slots' lock files stay in a temp folder.
                 for (const fs::directory_entry& left : fs::directory_iterator(s.tempFolder)) {
                     EXPECT_EQ(left.path().extension(), ".lock") << left.path();
                 }
                 fs::remove_all(s.tempFolder);
             }},
        {.name = "TargetOnASmallDrive",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 NativeString folder;
                 if (!smallDriveFolder(s, folder)) return;
                 const NativeString made =
                     s.archive("tight.zip", {{"noise.bin", test::noise(700'000)}},
                               {POMU_T("-tzip"), POMU_T("-mx=0")});
                 s.dropped = {folder + L"tight.zip"};
                 fs::rename(made, s.dropped[0]);
             },
         .texts = {kProcessing},
         .report = {"tight.zip: not enough space for the new archive on T:"},
         .check =
             [](Scene& s) {
                 const fs::path folder = fs::path(s.dropped[0]).parent_path();
                 EXPECT_EQ(snapshot(folder).size(), 1u) << "only the source stays";
                 fs::remove_all(folder);
             }},
        // An antivirus or indexer holding unpacked files: "a" leaves them out, ending with 1.
        {.name = "WorkingFolderFilesHeldAfterExtraction",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 largeSource(s, "scanned.zip");
                 s.duringRun = [](Scene& s) {
                     const std::optional<NativeString> workspace = workspacePath();
                     if (s.hookReached || !workspace || !fs::exists(s.file("scanned.7z"))) return;
                     s.hookReached = true;
                     std::error_code error;
                     for (fs::directory_iterator it(*workspace, error), end; !error && it != end;
                          it.increment(error)) {
                         std::string why;
                         if (auto hold = lockedFile(it->path(), why)) {
                             s.holds.push_back(std::move(hold));
                             s.hookActed = true;
                         }
                     }
                 };
             },
         .texts = {kProcessing},
         .workspaceStays = true,
         .check = [](Scene& s) { EXPECT_TRUE(s.hookActed) << "no file could be held"; },
         .seconds = 120},
        // Task Manager or taskkill ends a process with exit code 1.
        {.name = "ExtractionEndedFromOutside",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 largeSource(s, "killed.zip");
                 s.duringRun = midExtraction([](Scene& s) {
                     return s.tool && TerminateProcess(s.tool->impl().process.get(), 1) != 0;
                 });
             },
         .texts = {kProcessing},
         .check = [](Scene& s) { EXPECT_TRUE(s.hookActed) << "the extraction was not caught"; },
         .seconds = 120},
        {.name = "ExistingTargetLockedByAnotherProgram",
         .act = Act::convert,
         .arrange =
             [](Scene& s) {
                 s.options.deleteAlready = true;
                 s.options.deleteProcessed = true;
                 s.dropped = {s.archive("held.zip", sampleFiles(), {POMU_T("-tzip")})};
                 s.write("held.7z", "old target");
                 std::string why;
                 s.need(lockedFile(s.file("held.7z"), why), why);
                 // The shell asks before deleting what the Recycle Bin cannot take: "no".
                 s.need(std::make_unique<RefusedQuestion>(), "");
             },
         .check =
             [](Scene& s) {
                 s.holds.clear();
                 EXPECT_EQ(s.read("held.7z"), "old target");
             }},
    };
#endif
    for (Row& row : platformRows) rows.push_back(std::move(row));
    return rows;
}

}  // namespace pomu::faults

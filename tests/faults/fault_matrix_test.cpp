// The fault matrix: every row converts (or loads settings) for real, then the common checks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <sstream>

#include "convert/batch.h"
#include "convert/job.h"
#include "convert/report.h"
#include "convert/room.h"
#include "faults/fault_rows.h"
#include "fs/workspace.h"
#include "options/settings.h"
#include "pomu_version.h"
#include "support/wakeup.h"

namespace pomu::faults {
namespace {

using Clock = std::chrono::steady_clock;

// A headless window that runs the row's hook on every pass and forces the exit of a run that
// outlives the row's limit, so a hang ends as a failure instead of a stuck suite.
class FaultWindow : public HeadlessWindow {
  public:
    FaultWindow(Scene& scene, Clock::time_point deadline) : scene_(scene), deadline_(deadline) {}
    void handleEvents(platform::RunningTool& tool) override {
        if (Clock::now() > deadline_) {
            scene_.runState.forceExit = true;
            hung_ = true;
        }
        scene_.tool = &tool;
        if (scene_.duringRun) scene_.duringRun(scene_);
        scene_.tool = nullptr;
        HeadlessWindow::handleEvents(tool);
    }
    bool hung() const { return hung_; }

  private:
    Scene& scene_;
    Clock::time_point deadline_;
    bool hung_ = false;
};

// The password question answered from the row's list, each text noted.
class ScriptedQuestion : public PasswordQuestion {
  public:
    explicit ScriptedQuestion(Scene& scene) : scene_(scene) {}
    std::optional<Secret> askPassword(NativeView text) override {
        scene_.asked.push_back(test::utf8(text));
        if (scene_.passwords.empty()) return std::nullopt;
        const std::optional<std::string> answer = scene_.passwords.front();
        scene_.passwords.erase(scene_.passwords.begin());
        return answer ? std::optional<Secret>(Secret(*answer)) : std::nullopt;
    }

  private:
    Scene& scene_;
};

struct Outcome {
    int converted = 0;
    std::vector<std::string> texts;
    std::vector<std::string> report;
    bool hung = false;
    std::string skip;           // why the act could not be set up here
    std::string progressFault;  // batch: what the progress shown got wrong
};

// A batch shows its progress from 0 up, never back, and hides it once, at the end.
std::string progressFault(const std::vector<std::optional<double>>& shown) {
    if (shown.empty() || shown.front() != 0.0) return "not shown from 0 at the start";
    if (shown.back()) return "still shown at the end";
    for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
        if (!shown[i]) return "hidden before the end";
        if (*shown[i] < *shown[i - 1] || *shown[i] > 1) return "went back or past 100 %";
    }
    return {};
}

#ifdef _WIN32
const std::string kSavedFolder = "C:\\7-Zip\\";
#else
const std::string kSavedFolder = "/opt/7-Zip/";
#endif

// Loads, saves a fixed record, loads again: "first\nsecond\nsaved".
std::string settingsRound(const NativeString& file) {
    ConversionOptions first;
    loadSettingsFrom(file, first);
    ConversionOptions saved;
    saved.sevenZipFolder = test::native(kSavedFolder);
    saved.deleteAlready = true;
    saved.div1GB = true;
    saved.zip = true;
    const bool wrote = saveSettingsTo(file, saved);
    ConversionOptions second;
    loadSettingsFrom(file, second);
    return describe(first) + "\n" + describe(second) + "\n" + (wrote ? "1" : "0");
}

Outcome act(const Row& row, Scene& scene) {
    Outcome outcome;
    if (row.act == Act::settings) {
        std::optional<std::string> text;
#ifndef _WIN32
        // In a child as an ordinary user, who owns the row's folders: only modes stop it.
        if (scene.ordinaryUser) {
            text = test::asOrdinaryUser(
                scene.root.path(), [&] { return settingsRound(scene.dropped.at(0)); },
                outcome.skip);
            if (!text) return outcome;
        }
#endif
        if (!scene.ordinaryUser) text = settingsRound(scene.dropped.at(0));
        std::istringstream lines(text.value_or("<could not run>"));
        for (std::string line; std::getline(lines, line);) outcome.texts.push_back(line);
        outcome.converted = !outcome.texts.empty() && outcome.texts.back() == "1";
        if (!outcome.texts.empty()) outcome.texts.pop_back();
        return outcome;
    }
    FaultWindow window(scene, Clock::now() + std::chrono::seconds(row.seconds));
    test::PeriodicWakeup wakeup(25);  // the pump wakes now and then, so the hook and limit run
    TempFolderOverride temp(scene.tempFolder);
#ifndef _WIN32
    if (row.act == Act::convert && scene.ordinaryUser) {
        // "converted hung" on the first line, then the status texts.
        const std::optional<std::string> text = test::asOrdinaryUser(
            scene.root.path(),
            [&] {
                const bool converted =
                    convertFile(window, scene.dropped.at(0), 0, 1, scene.options, scene.runState)
                        .converted();
                std::string lines = std::to_string(converted) + " " + std::to_string(window.hung());
                for (const NativeString& status : window.texts()) {
                    lines += "\n" + test::utf8(status);
                }
                return lines;
            },
            outcome.skip);
        if (!text) return outcome;
        std::istringstream lines(*text);
        std::string first;
        std::getline(lines, first);
        outcome.converted = first.starts_with("1");
        outcome.hung = first.ends_with("1");
        for (std::string line; std::getline(lines, line);) outcome.texts.push_back(line);
        return outcome;
    }
#endif
    if (row.act == Act::convert) {
        const NativeString& source = scene.dropped.at(0);
        const ConversionOutcome result =
            convertFile(window, source, 0, 1, scene.options, scene.runState);
        outcome.converted = result.converted();
        const bool folder = !result.converted() && platform::isFolder(source);
        outcome.report.push_back(
            test::utf8(reportLine(describeFile(source, {}, result, folder, 0))));
    } else {
        DropBatches batches(window, scene.options, scene.runState, scene.logFile);
        ScriptedQuestion question(scene);
        if (!scene.passwords.empty()) batches.setPasswordQuestion(&question);
        batches.drop(scene.dropped);
        outcome.converted = batches.lastConvertedCount();
        outcome.progressFault = progressFault(window.progress());
        for (const FileReport& file : batches.lastReport().files) {
            outcome.report.push_back(test::utf8(reportLine(file)));
        }
    }
    for (const NativeString& text : window.texts()) outcome.texts.push_back(test::utf8(text));
    outcome.hung = window.hung();
    return outcome;
}

// "+ name" for what appeared, "- name" for what went, "~ name" for what changed.
std::string differences(const std::map<std::string, std::string>& expected,
                        const std::map<std::string, std::string>& actual) {
    std::string text;
    for (const auto& [name, value] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            text += "- " + name + "\n";
        else if (found->second != value)
            text += "~ " + name + ": " + value + " -> " + found->second + "\n";
    }
    for (const auto& [name, value] : actual) {
        if (!expected.count(name)) text += "+ " + name + " (" + value + ")\n";
    }
    return text;
}

std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

// The batch's log: what stood there before, then a line per dropped path that says what its
// report line says, then the batch's line.
void checkLog(const Scene& scene, const std::vector<std::string>& report) {
    const std::string log = test::readFile(scene.logFile).value_or("");
    if (scene.logBlocked) {
        EXPECT_EQ(log, scene.logBefore) << "a log that cannot be written changed";
        return;
    }
    ASSERT_TRUE(log.starts_with(scene.logBefore)) << "the log was not appended to";
    std::vector<std::vector<std::string>> lines;
    std::istringstream added(log.substr(scene.logBefore.size()));
    for (std::string line; std::getline(added, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(tabFields(line));
    }
    ASSERT_EQ(lines.size(), report.size() + 1) << log;
    for (std::size_t i = 0; i < report.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 6u) << report[i];
        const std::string& outcome = lines[i][1];
        const std::string said = report[i].substr(report[i].find(": ") + 2);
        if (said == "converted" || said.starts_with("converted, ")) {
            EXPECT_EQ(outcome, "converted");
            EXPECT_EQ(lines[i][2], said == "converted" ? "" : said.substr(11));
        } else if (said.starts_with("skipped, ")) {
            EXPECT_EQ(outcome, "skipped");
            EXPECT_EQ(lines[i][2], said.substr(9));
        } else {
            EXPECT_EQ(outcome, "not converted");
            EXPECT_EQ(lines[i][2], said);
        }
        EXPECT_EQ(lines[i][3], test::utf8(scene.dropped.at(i)));
        EXPECT_TRUE(lines[i][5].ends_with(" s")) << lines[i][5];
    }
    EXPECT_EQ(lines.back().at(1), "batch");
    EXPECT_TRUE(lines.back().at(2).ends_with(" (pomu " POMU_VERSION ")")) << log;
}

std::vector<Row> allRows() {
    std::vector<Row> rows;
    for (auto part :
         {archiveRows, nameRows, environmentRows, batchRows, settingsRows, passwordRows}) {
        for (Row& row : part()) rows.push_back(std::move(row));
    }
    return rows;
}

class FaultMatrix : public testing::TestWithParam<Row> {};

TEST_P(FaultMatrix, EndsSafely) {
    const Row& row = GetParam();
    Scene scene;
    row.arrange(scene);
    if (!scene.skip.empty()) GTEST_SKIP() << scene.skip;
    ASSERT_FALSE(HasFailure()) << "the row's files could not be made";
    std::vector<std::string> outputs = row.outputs;
    outputs.insert(outputs.end(), scene.outputs.begin(), scene.outputs.end());
    const auto before = snapshot(scene.root.path());
    std::map<std::string, std::optional<std::string>> trashedBytesBefore;
    for (const std::string& name : row.trashed) trashedBytesBefore[name] = scene.read(name);

    const auto start = Clock::now();
    Outcome outcome;
    {
        Watchdog watchdog(row.name, std::chrono::seconds(2 * row.seconds + 60));
        outcome = act(row, scene);
    }
    if (!outcome.skip.empty()) GTEST_SKIP() << outcome.skip;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);

    EXPECT_FALSE(outcome.hung) << "still running after " << row.seconds << " s: forced to end";
    EXPECT_LE(seconds.count(), row.seconds) << "took too long";
    EXPECT_EQ(outcome.converted, row.converted);
    EXPECT_EQ(outcome.texts, row.texts);
    if (!row.report.empty()) {
        // "{tmp}" and "{files}" stand for the row's own folders, as a reason names them.
        std::vector<std::string> expected = row.report;
        for (std::string& line : expected) {
            for (const auto& [mark, folder] :
                 {std::pair("{tmp}", scene.tmp), std::pair("{files}", scene.files)}) {
                if (const std::size_t at = line.find(mark); at != std::string::npos) {
                    line.replace(at, std::strlen(mark), test::utf8(placeOf(folder.native())));
                }
            }
        }
        EXPECT_EQ(outcome.report, expected);
    }
    if (row.act == Act::batch) checkLog(scene, outcome.report);
    EXPECT_EQ(outcome.progressFault, "");
    if (!row.workspaceStays) {
        TempFolderOverride temp(scene.tempFolder);
        const std::optional<NativeString> workspace = workspacePath();
        // Another user's folder under the name is not ours to remove.
        EXPECT_TRUE(!workspace || !platform::pathExists(*workspace) ||
                    !platform::isPrivateFolder(*workspace))
            << "the workspace stayed";
    }

    // Only the outputs may appear, only the trashed sources may go, nothing else may change.
    auto after = snapshot(scene.root.path());
    auto expected = before;
    if (row.workspaceStays) {
        const auto inTemp = [](const auto& entry) { return entry.first.starts_with("tmp/"); };
        std::erase_if(after, inTemp);
        std::erase_if(expected, inTemp);
    }
    for (const std::string& name : row.trashed) expected.erase("files/" + name);
    for (const std::string& name : outputs) {
        const auto made = after.find("files/" + name);
        if (made != after.end())
            expected[made->first] = made->second;
        else
            ADD_FAILURE() << "no output " << name;
    }
    for (const std::string& name : row.touched) {
        expected.erase("files/" + name);
        after.erase("files/" + name);
    }
    EXPECT_EQ(differences(expected, after), "") << "the tree changed beyond the target";

    for (const std::string& name : row.trashed) {
        const auto bytes = trashedBytes(scene.file(name));
        EXPECT_TRUE(bytes && bytes == trashedBytesBefore[name])
            << name << " is not whole in the Trash";
    }
    if (row.act == Act::convert && row.converted == 1 && !scene.content.empty()) {
        EXPECT_EQ(unpacked(scene.file(outputs.at(0))), test::fingerprints(scene.content));
    }
    if (row.check) row.check(scene);
    // Which way a row with a hook went, for the results file.
    if (scene.duringRun) {
        RecordProperty("hook", scene.hookActed     ? "acted"
                               : scene.hookReached ? "refused by the system"
                                                   : "found no moment");
    }
    RecordProperty("actSeconds", int(seconds.count()));
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, testing::ValuesIn(allRows()),
                         [](const testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace pomu::faults

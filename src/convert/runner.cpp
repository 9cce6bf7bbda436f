// The tool runner: start, pump window events until the tool ends, apply force exit, follow
// progress.
#include "convert/runner.h"

#include "convert/archiver.h"
#include "convert/progress.h"
#include "convert/progress_line.h"

namespace pomu {

namespace {

// The step a run stands for, told by its command word.
NativeView commandWord(const ToolCommand& command) {
    return command.arguments.empty() ? NativeView() : NativeView(command.arguments.front());
}

// The same run with the archiver's progress line on standard output; empty when the switch
// would make the line too long, so a line that fits without it still runs, unread.
std::optional<ToolCommand> withProgressSwitch(const ToolCommand& command) {
    ToolCommand reported = command;
    reported.arguments.emplace_back(archiver::kProgressSwitch);
    reported.line += POMU_T(" ");
    reported.line += archiver::kProgressSwitch;
    if (reported.line.size() > kMaxCommandChars) return std::nullopt;
    return reported;
}

// Moves the batch's progress on; the window sees it at the pace the progress allows.
void stepRuns(const RunState& runState, StatusWindow& window, NativeView word, double done) {
    BatchProgress* progress = runState.progress;
    if (progress == nullptr) return;
    progress->stepRuns(word, done);
    if (const std::optional<double> shown = progress->due(BatchProgress::Clock::now())) {
        window.showProgress(*shown);
    }
}

ToolRun follow(platform::RunningTool& tool, NativeView word, StatusWindow& window,
               const RunState& runState) {
    ToolRun run;
    run.started = true;
    stepRuns(runState, window, word, 0);
    // Blocks in the window's pump instead of polling, so the archiver keeps the CPU; force
    // exit is applied after every pass and repeated until the tool has gone.
    for (;;) {
        if (runState.forceExit) {
            tool.terminate();
            run.forced = true;
        }
        if (tool.hasEnded()) break;
        window.handleEvents(tool);
        if (const std::optional<int> percent = latestPercent(tool.latestOutput())) {
            stepRuns(runState, window, word, *percent / 100.0);
        }
    }
    if (!run.forced) {
        run.exitCode = tool.exitCode();
        stepRuns(runState, window, word, 1);
    }
    return run;
}

}  // namespace

ToolRun runTool(const ToolCommand& command, bool show, StatusWindow& window,
                const RunState& runState) {
    // Shown, the console is the user's: the run then counts as a whole step when it ends.
    std::optional<platform::RunningTool> tool;
    if (const std::optional<ToolCommand> reported =
            show ? std::nullopt : withProgressSwitch(command)) {
        tool = platform::startWithProgress(*reported);
    } else {
        tool = platform::startTool(command, show);
    }
    if (!tool) return {};
    return follow(*tool, commandWord(command), window, runState);
}

ListingRun runListing(const ToolCommand& command, StatusWindow& window, const RunState& runState) {
    std::optional<platform::RunningTool> tool = platform::startListing(command);
    if (!tool) return {};
    ListingRun listing{follow(*tool, commandWord(command), window, runState), {}};
    listing.output = tool->takeOutput();
    return listing;
}

}  // namespace pomu

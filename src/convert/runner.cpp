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
    // exit is applied after every pass and repeated until the tool has gone. A tool that ran
    // beside another step may have ended already: one pass still handles the window's events.
    for (bool passed = false;; passed = true) {
        if (runState.forceExit) {
            tool.terminate();
            run.forced = true;
        }
        if (tool.hasEnded() && passed) break;
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

StartedRun startRun(const ToolCommand& command, bool show, std::string_view input) {
    StartedRun started;
    started.word = NativeString(commandWord(command));
    // Shown, the console is the user's: the run then counts as a whole step when it ends.
    if (const std::optional<ToolCommand> reported =
            show ? std::nullopt : withProgressSwitch(command)) {
        started.tool = platform::startWithProgress(*reported, input);
    } else {
        started.tool = platform::startTool(command, show, input);
    }
    return started;
}

ToolRun finishRun(StartedRun& started, StatusWindow& window, const RunState& runState) {
    if (!started.tool) return {};
    return follow(*started.tool, started.word, window, runState);
}

void stopRun(StartedRun& started, StatusWindow& window) {
    if (!started.tool) return;
    started.tool->terminate();
    while (!started.tool->hasEnded()) window.handleEvents(*started.tool);
}

ToolRun runTool(const ToolCommand& command, bool show, StatusWindow& window,
                const RunState& runState, std::string_view input) {
    StartedRun started = startRun(command, show, input);
    return finishRun(started, window, runState);
}

StartedRun startListingRun(const ToolCommand& command, std::string_view input) {
    return {platform::startListing(command, input), NativeString(commandWord(command))};
}

ListingRun finishListing(StartedRun& started, StatusWindow& window, const RunState& runState) {
    ListingRun listing{finishRun(started, window, runState), {}};
    if (started.tool) listing.output = started.tool->takeOutput();
    return listing;
}

ArchiveListingRun finishArchiveListing(StartedRun& started, StatusWindow& window,
                                       const RunState& runState) {
    ArchiveListingRun listing{finishRun(started, window, runState), {}};
    ListingReader reader;
    if (started.tool) {
        started.tool->readOutput([&](std::string_view piece) {
            listing.textBytes += piece.size();
            reader.read(piece);
        });
    }
    listing.listing = reader.finish();
    return listing;
}

ListingRun runListing(const ToolCommand& command, StatusWindow& window, const RunState& runState,
                      std::string_view input) {
    StartedRun started = startListingRun(command, input);
    return finishListing(started, window, runState);
}

}  // namespace pomu

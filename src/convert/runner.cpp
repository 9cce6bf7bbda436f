// The tool runner: start, pump window events until the tool ends, apply force exit.
#include "convert/runner.h"

namespace pomu {

namespace {

ToolRun follow(platform::RunningTool& tool, StatusWindow& window, const RunState& runState) {
    ToolRun run;
    run.started = true;
    // Blocks in the window's pump instead of polling, so the archiver keeps the CPU; force
    // exit is applied after every pass and repeated until the tool has gone.
    for (;;) {
        if (runState.forceExit) {
            tool.terminate();
            run.forced = true;
        }
        if (tool.hasEnded()) break;
        window.handleEvents(tool);
    }
    if (!run.forced) run.exitCode = tool.exitCode();
    return run;
}

}  // namespace

ToolRun runTool(const ToolCommand& command, bool show, StatusWindow& window,
                const RunState& runState) {
    std::optional<platform::RunningTool> tool = platform::startTool(command, show);
    if (!tool) return {};
    return follow(*tool, window, runState);
}

ListingRun runListing(const ToolCommand& command, StatusWindow& window, const RunState& runState) {
    std::optional<platform::RunningTool> tool = platform::startListing(command);
    if (!tool) return {};
    ListingRun listing{follow(*tool, window, runState), {}};
    listing.output = tool->takeOutput();
    return listing;
}

}  // namespace pomu

// force-exit: an extraction ended by force exit, timed from the posted event to the runner's
// return.
#include <cstdio>
#include <optional>
#include <string>

#include "arguments.h"
#include "clock.h"
#include "commands.h"
#include "convert/plan.h"
#include "convert/runner.h"
#include "fs/workspace.h"
#include "report.h"
#include "wakeup.h"

namespace pomu::bench {
namespace {

constexpr int kDefaultDelayMs = 500;

// Notes each pass of the runner's pump; the force exit itself comes from a posted event.
class ForcingWindow : public StatusWindow {
  public:
    explicit ForcingWindow(const RunState& runState) : runState_(runState) {}

    void writeStatus(NativeView) override {}
    void showProgress(std::optional<double>) override {}
    void handleEvents(platform::RunningTool& tool) override {
        // The first pass after the flag comes once the runner has sent the end to the tool.
        if (runState_.forceExit && !passAfterForce_) passAfterForce_ = Clock::now();
        platform::handlePendingEvents(tool);
        ++passes_;
    }

    const std::optional<Clock::time_point>& passAfterForce() const { return passAfterForce_; }
    long long passes() const { return passes_; }

  private:
    const RunState& runState_;
    std::optional<Clock::time_point> passAfterForce_;
    long long passes_ = 0;
};

std::optional<int> parseDelay(const Arguments& arguments) {
    if (arguments.size() < 3) return kDefaultDelayMs;
    const std::string text = utf8(arguments[2]);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 6) {
        return std::nullopt;
    }
    return std::stoi(text);
}

}  // namespace

int forceExitCommand(const Arguments& arguments) {
    const std::optional<int> delayMs = parseDelay(arguments);
    if (arguments.size() < 2 || arguments.size() > 3 || !delayMs) {
        std::fputs("usage: pomu_bench force-exit <source> <archiverFolder> [delayMs]\n", stderr);
        return kUsage;
    }
    std::optional<Workspace> workspace = prepareWorkspace();
    if (!workspace) {
        ReportLine("force-exit").text("result", "no-workspace").print();
        return kFailed;
    }
    const std::optional<ToolCommand> extract =
        extractCommand(withTrailingSeparator(arguments[1]), arguments[0], workspace->path());
    if (!extract) {
        ReportLine("force-exit").text("result", "no-command").print();
        return kFailed;
    }

    RunState runState;
    ForcingWindow window(runState);
    const Clock::time_point start = Clock::now();
    // As a click on the close button would: an event the pump must wake up for, whose handling
    // sets the flag. Nothing else wakes the pump meanwhile but the tool's end.
    std::optional<Clock::time_point> flagSetAt;
    const DelayedEvent click(*delayMs, [&] {
        runState.forceExit = true;
        flagSetAt = Clock::now();
    });
    if (!click.ready()) {
        ReportLine("force-exit").text("result", "no-event").print();
        return kFailed;
    }
    const ToolRun run = runTool(*extract, false, window, runState);
    const Clock::time_point returned = Clock::now();
    const std::optional<Clock::time_point> postedAt = click.postedAt();

    Stopwatch cleanup;
    workspace->remove();
    cleanup.stop();

    ReportLine line("force-exit");
    if (!run.started) {
        line.text("result", "not-started").print();
        return kFailed;
    }
    if (!run.forced || !postedAt || !flagSetAt) {
        // The source was too small: the archiver finished before the event came.
        line.text("result", "ended-early")
            .number("ran_ms", millisecondsBetween(start, returned))
            .print();
        return kFailed;
    }
    line.text("result", "forced")
        .count("delay_ms", *delayMs)
        .number("forced_at_ms", millisecondsBetween(start, *postedAt))
        // From posting the event: the pump's wake-up, the flag, the end sent, the tool gone.
        .number("latency_ms", millisecondsBetween(*postedAt, returned))
        .number("wake_ms", millisecondsBetween(*postedAt, *flagSetAt))
        // Flag to the tool being told to end; the rest is the wait for the tool to go.
        .number("runner_ms",
                millisecondsBetween(*flagSetAt, window.passAfterForce().value_or(returned)))
        .count("passes", window.passes())
        .number("cleanup_ms", cleanup.wallMs())
        .print();
    return kMeasured;
}

}  // namespace pomu::bench

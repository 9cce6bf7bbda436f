// force-exit: an extraction ended by force exit, timed from the flag to the tool runner's return.
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
// Often enough that the flag is set close to the delay; the pump itself never spins.
constexpr int kWakeupMs = 10;

// Sets force exit from its event handling once the tool has run for the delay, as a click on
// the window's close button would, and notes that moment.
class ForcingWindow : public StatusWindow {
  public:
    ForcingWindow(RunState& runState, int delayMs) : runState_(runState), delayMs_(delayMs) {}

    void writeStatus(NativeView) override {}
    void handleEvents(platform::RunningTool& tool) override {
        // The first pass after the flag comes once the runner has sent the end to the tool.
        if (forcedAt_ && !passAfterForce_) passAfterForce_ = Clock::now();
        platform::handlePendingEvents(tool);
        ++passes_;
        const Clock::time_point now = Clock::now();
        if (!runState_.forceExit && millisecondsBetween(start_, now) >= delayMs_) {
            runState_.forceExit = true;
            forcedAt_ = now;
        }
    }

    Clock::time_point start() const { return start_; }
    const std::optional<Clock::time_point>& forcedAt() const { return forcedAt_; }
    const std::optional<Clock::time_point>& passAfterForce() const { return passAfterForce_; }
    long long passes() const { return passes_; }

  private:
    RunState& runState_;
    int delayMs_;
    Clock::time_point start_ = Clock::now();
    std::optional<Clock::time_point> forcedAt_;
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
    const PeriodicWakeup wakeup(kWakeupMs);
    ForcingWindow window(runState, *delayMs);
    const ToolRun run = runTool(*extract, false, window, runState);
    const Clock::time_point returned = Clock::now();

    Stopwatch cleanup;
    workspace->remove();
    cleanup.stop();

    ReportLine line("force-exit");
    if (!run.started) {
        line.text("result", "not-started").print();
        return kFailed;
    }
    if (!run.forced || !window.forcedAt()) {
        // The source was too small: the archiver finished before the flag was set.
        line.text("result", "ended-early")
            .number("ran_ms", millisecondsBetween(window.start(), returned))
            .print();
        return kFailed;
    }
    line.text("result", "forced")
        .count("delay_ms", *delayMs)
        .number("forced_at_ms", millisecondsBetween(window.start(), *window.forcedAt()))
        .number("latency_ms", millisecondsBetween(*window.forcedAt(), returned))
        // Flag to the tool being told to end; the rest is the wait for the tool to go.
        .number("runner_ms",
                millisecondsBetween(*window.forcedAt(), window.passAfterForce().value_or(returned)))
        .count("passes", window.passes())
        .number("cleanup_ms", cleanup.wallMs())
        .print();
    return kMeasured;
}

}  // namespace pomu::bench

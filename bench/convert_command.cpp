// convert: one real conversion job through a headless window, timed; its CPU after the tools apart.
#include <cstdio>

#include "arguments.h"
#include "clock.h"
#include "commands.h"
#include "convert/job.h"
#include "report.h"

namespace pomu::bench {
namespace {

// Notes this process's CPU time after every pass of the pump: the last one is when the last
// archiver run ended, so what the job spends after it (removing the workspace, checking the
// output) can be told apart.
class CpuNotingWindow : public HeadlessWindow {
  public:
    void handleEvents(platform::RunningTool& tool) override {
        HeadlessWindow::handleEvents(tool);
        lastPass_ = ownCpuTime();
    }
    const CpuTime& lastPass() const { return lastPass_; }

  private:
    CpuTime lastPass_;
};

}  // namespace

int convertCommand(const Arguments& arguments) {
    if (arguments.size() != 3) {
        std::fputs("usage: pomu_bench convert <source> <level> <archiverFolder>\n", stderr);
        return kUsage;
    }
    ConversionOptions options;
    options.level = arguments[1];
    options.sevenZipFolder = withTrailingSeparator(arguments[2]);
    const RunState runState;
    CpuNotingWindow window;

    Stopwatch watch;
    const ConversionResult result =
        convertFile(window, arguments[0], 0, 1, options, runState).result;
    const CpuTime end = ownCpuTime();
    watch.stop();
    const CpuTime afterTools = end - window.lastPass();

    const bool converted = result == ConversionResult::converted;
    ReportLine("convert")
        .text("result", converted ? "converted" : "not-converted")
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .number("after_tools_cpu_ms", afterTools.totalMs())
        .number("cpu_share", watch.wallMs() > 0 ? watch.cpu().totalMs() / watch.wallMs() : 0)
        .text("status", utf8(window.status()))
        .print();
    return converted ? kMeasured : kFailed;
}

}  // namespace pomu::bench

// convert: one real conversion job through a headless window, timed.
#include <cstdio>

#include "arguments.h"
#include "clock.h"
#include "commands.h"
#include "convert/job.h"
#include "report.h"

namespace pomu::bench {

int convertCommand(const Arguments& arguments) {
    if (arguments.size() != 3) {
        std::fputs("usage: pomu_bench convert <source> <level> <archiverFolder>\n", stderr);
        return kUsage;
    }
    ConversionOptions options;
    options.level = arguments[1];
    options.sevenZipFolder = withTrailingSeparator(arguments[2]);
    const RunState runState;
    HeadlessWindow window;

    Stopwatch watch;
    const ConversionResult result =
        convertFile(window, arguments[0], 0, 1, options, runState).result;
    watch.stop();

    const bool converted = result == ConversionResult::converted;
    ReportLine("convert")
        .text("result", converted ? "converted" : "not-converted")
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .number("cpu_share", watch.wallMs() > 0 ? watch.cpu().totalMs() / watch.wallMs() : 0)
        .text("status", utf8(window.status()))
        .print();
    return converted ? kMeasured : kFailed;
}

}  // namespace pomu::bench

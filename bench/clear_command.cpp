// clear: pomu's folder clearing on a prepared tree, timed.
#include <cstdio>

#include "clock.h"
#include "commands.h"
#include "fs/workspace.h"
#include "report.h"

namespace pomu::bench {

int clearCommand(const Arguments& arguments) {
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fputs("usage: pomu_bench clear <folder>\n", stderr);
        return kUsage;
    }
    const NativeString& folder = arguments[0];
    if (!platform::pathExists(folder)) {
        ReportLine("clear").text("result", "no-folder").print();
        return kFailed;
    }

    Stopwatch watch;
    clearFolder(folder);
    watch.stop();

    const bool cleared = !platform::folderHasEntries(folder);
    ReportLine("clear")
        .text("result", cleared ? "cleared" : "entries-left")
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .print();
    return cleared ? kMeasured : kFailed;
}

}  // namespace pomu::bench

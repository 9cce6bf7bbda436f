// walk: the walk of an unpacked tree the job makes for its proof before the workspace goes, timed.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "commands.h"
#include "convert/proof.h"
#include "platform/platform.h"
#include "report.h"

namespace pomu::bench {

int walkCommand(const Arguments& arguments) {
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fputs("usage: pomu_bench walk <folder>\n", stderr);
        return kUsage;
    }
    // As the job does it: every file below the folder, named as the listings name them.
    Stopwatch watch;
    const std::optional<std::vector<platform::FolderFile>> files =
        platform::filesBelow(arguments[0]);
    std::vector<std::string> names;
    if (files) {
        names.reserve(files->size());
        for (const platform::FolderFile& file : *files) {
            names.push_back(normalizedPath(toUtf8(file.path)));
        }
    }
    watch.stop();

    ReportLine("walk")
        .text("result", files ? "walked" : "not-walked")
        .count("files", static_cast<long long>(names.size()))
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .print();
    return files ? kMeasured : kFailed;
}

}  // namespace pomu::bench

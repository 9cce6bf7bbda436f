// batch: every archive in a folder dropped at once and converted as one drop batch, timed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "arguments.h"
#include "clock.h"
#include "commands.h"
#include "convert/batch.h"
#include "convert/plan.h"
#include "report.h"

namespace pomu::bench {
namespace {

// The folder's files in name order, leaving out what the job would skip (its own targets).
std::optional<std::vector<NativeString>> listSources(const NativeString& folder, bool zip) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(fs::path(folder), error);
    if (error) return std::nullopt;
    std::vector<NativeString> sources;
    for (const fs::directory_entry& entry : entries) {
        if (!entry.is_regular_file(error)) continue;
        NativeString path = entry.path().native();
        if (!isSkipped(path, zip)) sources.push_back(std::move(path));
    }
    std::sort(sources.begin(), sources.end());
    return sources;
}

}  // namespace

int batchCommand(const Arguments& arguments) {
    if (arguments.size() != 3) {
        std::fputs("usage: pomu_bench batch <folder> <level> <archiverFolder>\n", stderr);
        return kUsage;
    }
    ConversionOptions options;
    options.level = arguments[1];
    options.sevenZipFolder = withTrailingSeparator(arguments[2]);
    const std::optional<std::vector<NativeString>> sources = listSources(arguments[0], options.zip);
    if (!sources || sources->empty()) {
        ReportLine("batch").text("result", "no-sources").print();
        return kFailed;
    }
    RunState runState;
    HeadlessWindow window;
    DropBatches batches(window, options, runState);

    Stopwatch watch;
    const BatchEnd end = batches.drop(*sources);
    watch.stop();

    const long long files = static_cast<long long>(sources->size());
    const long long converted = batches.lastConvertedCount();
    const bool complete = end == BatchEnd::finished && converted == files;
    ReportLine("batch")
        .text("result", complete ? "converted" : "incomplete")
        .count("files", files)
        .count("converted", converted)
        .number("wall_ms", watch.wallMs())
        .number("per_file_ms", watch.wallMs() / double(files))
        .cpu(watch.cpu())
        .text("status", utf8(window.status()))
        .print();
    return complete ? kMeasured : kFailed;
}

}  // namespace pomu::bench

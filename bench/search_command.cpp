// search: the search of a dropped folder as the window runs it, slice by slice, timed.
#include <cstdio>

#include "clock.h"
#include "commands.h"
#include "convert/folder_search.h"
#include "report.h"

namespace pomu::bench {
namespace {

// As the window's slices read between two looks at the clock.
constexpr std::size_t kEntriesPerSlice = 256;

}  // namespace

int searchCommand(const Arguments& arguments) {
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fputs("usage: pomu_bench search <folder>\n", stderr);
        return kUsage;
    }
    // Everything the window does from the drop to the batch's list: the search, the question's
    // text and the drop the batch takes.
    Stopwatch watch;
    DropSearch search({arguments[0]}, false);
    std::size_t slices = 1;
    while (!search.advance(kEntriesPerSlice)) ++slices;
    const std::size_t questionChars = search.question().size();
    const Drop drop = search.result(true);
    watch.stop();

    ReportLine("search")
        .count("entries", static_cast<long long>(search.entriesRead()))
        .count("archives", static_cast<long long>(search.archives()))
        .count("listed", static_cast<long long>(drop.paths.size()))
        .count("unsearched", static_cast<long long>(drop.settled.size()))
        .count("slices", static_cast<long long>(slices))
        .count("question_chars", static_cast<long long>(questionChars))
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .print();
    return drop.settled.empty() ? kMeasured : kFailed;
}

}  // namespace pomu::bench

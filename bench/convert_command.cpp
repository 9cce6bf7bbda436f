// convert: one real conversion job through a headless window, timed; its archiver runs apart.
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "arguments.h"
#include "clock.h"
#include "commands.h"
#include "convert/job.h"
#include "report.h"

namespace pomu::bench {
namespace {

// One archiver run as the pump saw it: from the start of its first pass to the end of its last.
struct RunSpan {
    Clock::time_point start;
    Clock::time_point end;
    CpuTime cpuAtStart;
    CpuTime cpuAtEnd;
};

// Notes wall and CPU time around the pump's passes, run by run, so that what the job does
// between its archiver runs can be told apart. A pass starts a new run when the tool object
// is another one, when the last pass saw its tool ended, or when a child has been reaped
// since (the object of the next run may take the same address).
class RunNotingWindow : public HeadlessWindow {
  public:
    void handleEvents(platform::RunningTool& tool) override {
        const Clock::time_point now = Clock::now();
        const CpuTime cpu = ownCpuTime();
        const double reaped = waitedChildrenCpuTime().totalMs();
        if (runs_.empty() || &tool != lastTool_ || lastEnded_ || reaped != reapedAtLastPass_) {
            runs_.push_back({now, now, cpu, cpu});
        }
        HeadlessWindow::handleEvents(tool);
        lastTool_ = &tool;
        lastEnded_ = tool.hasEnded();
        reapedAtLastPass_ = waitedChildrenCpuTime().totalMs();
        runs_.back().end = Clock::now();
        runs_.back().cpuAtEnd = ownCpuTime();
    }
    const std::vector<RunSpan>& runs() const { return runs_; }

  private:
    std::vector<RunSpan> runs_;
    const platform::RunningTool* lastTool_ = nullptr;
    bool lastEnded_ = false;
    double reapedAtLastPass_ = 0;
};

// The job's runs, in order: the source's listing, the extraction, the compression, the new
// archive's listing, and with delete-processed the new archive's test.
constexpr std::size_t kSourceListing = 0;
constexpr std::size_t kExtraction = 1;
constexpr std::size_t kCompression = 2;
constexpr std::size_t kNewListing = 3;
constexpr std::size_t kTest = 4;
constexpr std::size_t kRuns = 4;

constexpr NativeView kDeleteProcessed = POMU_T("delete-processed");
constexpr NativeView kZip = POMU_T("zip");

// Runs' first and last passes on the steady clock (Linux: the system's monotonic clock, which
// the script's watch of the archiver runs reads too), in milliseconds: "start,end start,end".
std::string spansText(std::initializer_list<RunSpan> runs) {
    const auto ms = [](Clock::time_point at) {
        return std::chrono::duration<double, std::milli>(at.time_since_epoch()).count();
    };
    std::string text;
    for (const RunSpan& run : runs) {
        char span[64];
        std::snprintf(span, sizeof span, "%s%.3f,%.3f", text.empty() ? "" : " ", ms(run.start),
                      ms(run.end));
        text += span;
    }
    return text;
}

}  // namespace

int convertCommand(const Arguments& arguments) {
    bool deleteProcessed = false, zip = false;
    for (std::size_t i = 3; i < arguments.size(); ++i) {
        deleteProcessed = deleteProcessed || arguments[i] == kDeleteProcessed;
        zip = zip || arguments[i] == kZip;
    }
    if (arguments.size() < 3 || arguments.size() != std::size_t(3 + deleteProcessed + zip)) {
        std::fputs(
            "usage: pomu_bench convert <source> <level> <archiverFolder> "
            "[delete-processed] [zip]\n",
            stderr);
        return kUsage;
    }
    ConversionOptions options;
    // The source then goes to the Trash: the caller gives it a Trash of its own.
    options.deleteProcessed = deleteProcessed;
    options.zip = zip;
    options.level = arguments[1];
    options.sevenZipFolder = withTrailingSeparator(arguments[2]);
    const RunState runState;
    RunNotingWindow window;

    Stopwatch watch;
    const ConversionResult result =
        convertFile(window, arguments[0], 0, 1, options, runState).result;
    const Clock::time_point end = Clock::now();
    watch.stop();

    const bool converted = result == ConversionResult::converted;
    const std::vector<RunSpan>& runs = window.runs();
    ReportLine line("convert");
    line.text("result", converted ? "converted" : "not-converted")
        .number("wall_ms", watch.wallMs())
        .cpu(watch.cpu())
        .number("cpu_share", watch.wallMs() > 0 ? watch.cpu().totalMs() / watch.wallMs() : 0)
        .count("runs", static_cast<long long>(runs.size()));
    const std::size_t expectedRuns = deleteProcessed ? kRuns + 1 : kRuns;
    if (runs.size() == expectedRuns) {
        const RunSpan& source = runs[kSourceListing];
        const RunSpan& packed = runs[kNewListing];
        // Between the compression's end and the new listing's start: the workspace walked for
        // the proof, then removed; the output's size checked; the listing started.
        line.number("after_compression_cpu_ms",
                    (packed.cpuAtStart - runs[kCompression].cpuAtEnd).totalMs())
            .number("after_compression_ms",
                    millisecondsBetween(runs[kCompression].end, packed.start))
            .number("listing_ms", millisecondsBetween(source.start, source.end) +
                                      millisecondsBetween(packed.start, packed.end))
            .text("listing_spans", spansText({source, packed}))
            // After each listing up to what follows it: its output read and parsed, the source
            // checked (and the extraction started), the archives compared.
            .number("after_listings_ms",
                    millisecondsBetween(source.end, runs[kExtraction].start) +
                        millisecondsBetween(packed.end, deleteProcessed ? runs[kTest].start : end));
        if (deleteProcessed) {
            // From the test's first pass to its last: the archiver reading the archive back.
            line.number("test_ms", millisecondsBetween(runs[kTest].start, runs[kTest].end));
            // After the test: the new archive dated, flushed to the disk with its folder, and
            // the source moved to the Trash.
            line.number("after_test_ms", millisecondsBetween(runs[kTest].end, end));
        }
    }
    line.text("status", utf8(window.status())).print();
    return converted ? kMeasured : kFailed;
}

}  // namespace pomu::bench

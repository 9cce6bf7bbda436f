// What a batch tells afterwards: one line per dropped path with its reason, and the tooltip.
#pragma once

#include <vector>

#include "convert/job.h"

namespace pomu {

struct FileReport {
    NativeString source;
    NativeString target;  // empty when no target could be named
    FileOutcome outcome = FileOutcome::notConverted;
    NativeString reason;  // in plain words; for a converted file, why its source stayed
    double seconds = 0;
};

struct BatchReport {
    std::vector<FileReport> files;
    bool stopped = false;  // force exit ended it
    double seconds = 0;
    int count(FileOutcome outcome) const;
};

// The file's report from the job's record alone. A folder dropped as a file is said to be
// one where the archiver could not read it.
FileReport describeFile(NativeView source, NativeView target, const ConversionOutcome& outcome,
                        bool sourceIsFolder, double seconds);

// "<file name>: <reason>", "<file name>: skipped, <reason>" or "<file name>: converted, <reason>".
NativeString reportLine(const FileReport& file);

// Empty when every file was converted and could go. Otherwise one line per file not converted
// or kept (at most ten, then "and N more"), ending with the hint that a double click opens the log.
NativeString tooltipText(const BatchReport& batch);

inline constexpr std::size_t kTooltipFileLines = 10;
inline constexpr NativeView kOpenLogHint = POMU_T("Double-click to open the log.");

}  // namespace pomu

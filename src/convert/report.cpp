// The batch's report lines and its tooltip, from the job's records.
#include "convert/report.h"

namespace pomu {

int BatchReport::count(FileOutcome outcome) const {
    int found = 0;
    for (const FileReport& file : files) found += file.outcome == outcome ? 1 : 0;
    return found;
}

FileReport describeFile(NativeView source, NativeView target, const ConversionOutcome& outcome,
                        bool sourceIsFolder, double seconds) {
    FileReport file;
    file.source = NativeString(source);
    file.target = NativeString(target);
    file.seconds = seconds;
    file.outcome = countsAs(outcome);
    file.reason = sourceIsFolder && isReadFailure(outcome.reason)
                      ? NativeString(POMU_T("folder, not an archive"))
                      : reasonText(outcome);
    return file;
}

NativeString reportLine(const FileReport& file) {
    NativeString line(fileNameOf(file.source));
    line += POMU_T(": ");
    switch (file.outcome) {
        case FileOutcome::converted:
            // A converted file whose source stayed says why.
            if (!file.reason.empty()) return line + POMU_T("converted, ") + file.reason;
            return line + POMU_T("converted");
        case FileOutcome::skipped:
            return line + POMU_T("skipped, ") + file.reason;
        case FileOutcome::notConverted:
            return line + file.reason;
    }
    return line + file.reason;
}

NativeString tooltipText(const BatchReport& batch) {
    NativeString text;
    std::size_t shown = 0;
    std::size_t more = 0;
    for (const FileReport& file : batch.files) {
        if (file.outcome == FileOutcome::converted && file.reason.empty()) continue;
        if (shown == kTooltipFileLines) {
            ++more;
            continue;
        }
        text += reportLine(file);
        text += kLineBreak;
        ++shown;
    }
    if (shown == 0) return {};
    if (more > 0) {
        text += POMU_T("and ") + toNative(static_cast<long long>(more)) + POMU_T(" more");
        text += kLineBreak;
    }
    return text + NativeString(kOpenLogHint);
}

}  // namespace pomu

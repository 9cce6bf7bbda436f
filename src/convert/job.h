// The conversion job: one dropped path turned into a new archive beside it.
#pragma once

#include <optional>

#include "convert/batch_password.h"
#include "convert/outcome.h"
#include "convert/status_window.h"
#include "options/options.h"

namespace pomu {

inline constexpr NativeView kExistsText = POMU_T("7z Exists!");
inline constexpr NativeView kProcessingText = POMU_T("Processing file...");
#ifdef _WIN32
inline constexpr NativeView kLineBreak = POMU_T("\r\n");
#else
inline constexpr NativeView kLineBreak = POMU_T("\n");
#endif

// "Processing file..." alone for one file, with "(index+1/count)" on a second line otherwise.
NativeString progressText(int index, int count);

// The first output file proves success only when it opens and holds at least one byte.
bool isUsableOutput(NativeView firstOutput);

// A target that stands where this job or an earlier one of the batch writes: "7z Exists!".
ConversionOutcome targetStands(StatusWindow& window, ConversionOutcome outcome);

// Converts one source. The options are read once at entry (flags) and when the command lines
// are written (folder, level); the source is moved to the Recycle Bin only after a conversion
// that really succeeded. An encrypted source is read with the batch's password, when there is
// one to ask for, and made into an archive as encrypted.
ConversionOutcome convertFile(StatusWindow& window, NativeView source, int index, int count,
                              const ConversionOptions& options, const RunState& runState,
                              BatchPassword* passwords = nullptr);

}  // namespace pomu

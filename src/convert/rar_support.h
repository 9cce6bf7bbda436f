// Whether a source is a RAR archive, and whether the archiver can read RAR at all.
#pragma once

#include <optional>
#include <string_view>

#include "convert/status_window.h"
#include "options/options.h"

namespace pomu {

// A name the archiver opens as RAR: ".rar" (a ".partN.rar" volume too) or an old-style
// volume ".r00" to ".r99", any case.
bool isRarSource(NativeView path);

// From the archiver's "i" output: true when it lists a RAR format and RAR decoders (builds
// without the non-free codec drop one or both); empty when the text is no such listing.
std::optional<bool> readsRar(std::string_view info);

// "<folder>7z.exe" i
std::optional<ToolCommand> infoCommand(NativeView sevenZipFolder);

// Runs the "i" listing once per start, hidden, and keeps its answer in the run state; an
// archiver that cannot be asked is taken to read RAR, so its failures keep their own reasons.
void learnRarSupport(const ConversionOptions& options, StatusWindow& window, RunState& runState);

}  // namespace pomu

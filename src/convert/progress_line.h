// Reading how far the archiver is from the progress line it rewrites in place (-bsp1).
#pragma once

#include <optional>
#include <string_view>

namespace pomu {

// The percentage of the latest complete progress line in the output: the last piece between
// line breaks, carriage returns or backspaces that starts with blanks, digits and '%'. Empty
// when there is none yet (a count in megabytes, "12M", is no percentage).
std::optional<int> latestPercent(std::string_view output);

}  // namespace pomu

// Runs the archiver once while keeping the window alive, and ends it on force exit.
#pragma once

#include <optional>
#include <string>

#include "convert/status_window.h"
#include "options/options.h"

namespace pomu {

struct ToolRun {
    bool started = false;         // false: the tool could not be started
    bool forced = false;          // force exit ended it
    std::optional<int> exitCode;  // its own exit code when it ended by itself
};

ToolRun runTool(const ToolCommand& command, bool show, StatusWindow& window,
                const RunState& runState);

struct ListingRun {
    ToolRun run;
    std::string output;  // standard output and error, as far as the tool wrote them
};

// Runs a listing hidden, its output read while the window's events are handled.
ListingRun runListing(const ToolCommand& command, StatusWindow& window, const RunState& runState);

}  // namespace pomu

// Runs the archiver once while keeping the window alive, and ends it on force exit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "convert/listing.h"
#include "convert/status_window.h"
#include "options/options.h"

namespace pomu {

struct ToolRun {
    bool started = false;         // false: the tool could not be started
    bool forced = false;          // force exit ended it
    std::optional<int> exitCode;  // its own exit code when it ended by itself
};

// `input`: what the tool reads on its standard input (platform::startTool); none by default.
ToolRun runTool(const ToolCommand& command, bool show, StatusWindow& window,
                const RunState& runState, std::string_view input = {});

// A tool started and not yet followed, so that another step can run beside it. One that is
// never finished or stopped is killed when it goes.
struct StartedRun {
    std::optional<platform::RunningTool> tool;  // empty when it could not be started
    NativeString word;                          // its command word: the step it stands for
};

StartedRun startRun(const ToolCommand& command, bool show, std::string_view input = {});
// Follows the tool to its end, as runTool does.
ToolRun finishRun(StartedRun& started, StatusWindow& window, const RunState& runState);
// Ends the tool and waits until it has gone: nothing it does outlasts this call.
void stopRun(StartedRun& started, StatusWindow& window);

struct ListingRun {
    ToolRun run;
    std::string output;  // standard output and error, as far as the tool wrote them
};

// Runs a listing hidden, its output read while the window's events are handled.
ListingRun runListing(const ToolCommand& command, StatusWindow& window, const RunState& runState,
                      std::string_view input = {});
// A listing started to run beside another step, and read once it has ended.
StartedRun startListingRun(const ToolCommand& command, std::string_view input = {});
ListingRun finishListing(StartedRun& started, StatusWindow& window, const RunState& runState);

// An archive's listing, read as its output is handed on: the text is never held whole.
struct ArchiveListingRun {
    ToolRun run;
    Listing listing;
    std::uint64_t textBytes = 0;  // what the tool wrote: a listing's file takes as much
};
ArchiveListingRun finishArchiveListing(StartedRun& started, StatusWindow& window,
                                       const RunState& runState);

}  // namespace pomu

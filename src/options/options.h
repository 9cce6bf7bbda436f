// The conversion options record and the run-time flags shared by the window and the job.
#pragma once

#include <optional>

#include "platform/text.h"

namespace pomu {

class BatchProgress;

// Persisted options. Flags are plain bools, so they can only be on or off.
struct ConversionOptions {
    NativeString sevenZipFolder;       // empty, or ending in a separator
    NativeString level = POMU_T("5");  // at most 4 characters, passed to "-mx=" unchanged
    bool show = false;
    bool deleteAlready = false;
    bool deleteProcessed = false;
    bool div100MB = false;  // never on together with div1GB
    bool div1GB = false;
    bool zip = false;
    bool keepDate = true;  // the new archive takes the source's modification time
};

struct RunState {
    bool busy = false;
    bool forceExit = false;  // never cleared once set
    // What the archiver's "i" listing said once it was read: empty until then, or when it told
    // nothing either way.
    std::optional<bool> archiverReadsRar;
    // While a file is converted: how far the batch is, which the tool runner moves on.
    BatchProgress* progress = nullptr;
};

// The two split options stay exclusive: turning one on turns the other off.
void toggleDiv100MB(ConversionOptions& options);
void toggleDiv1GB(ConversionOptions& options);

// The program's one instance of each.
ConversionOptions& theOptions();
RunState& theRunState();

}  // namespace pomu

// The split toggles and the program's single options record and run state.
#include "options/options.h"

namespace pomu {

void toggleDiv100MB(ConversionOptions& options) {
    if (options.div100MB) {
        options.div100MB = false;
    } else {
        options.div1GB = false;
        options.div100MB = true;
    }
}

void toggleDiv1GB(ConversionOptions& options) {
    if (options.div1GB) {
        options.div1GB = false;
    } else {
        options.div100MB = false;
        options.div1GB = true;
    }
}

ConversionOptions& theOptions() {
    static ConversionOptions options;
    return options;
}

RunState& theRunState() {
    static RunState state;
    return state;
}

}  // namespace pomu

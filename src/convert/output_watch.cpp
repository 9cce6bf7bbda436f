// Noting the outputs of a compression as the archiver creates them.
#include "convert/output_watch.h"

#include <algorithm>

#include "convert/plan.h"

namespace pomu {

OutputWatch::OutputWatch(StatusWindow& window, Workspace& workspace, NativeView target, bool split,
                         const std::vector<int>& strayVolumes)
    : window_(window),
      workspace_(workspace),
      target_(target),
      split_(split),
      strays_(strayVolumes) {}

void OutputWatch::writeStatus(NativeView text) {
    window_.writeStatus(text);
}

void OutputWatch::showProgress(std::optional<double> fraction) {
    window_.showProgress(fraction);
}

void OutputWatch::handleEvents(platform::RunningTool& tool) {
    noteCreated();
    window_.handleEvents(tool);
}

void OutputWatch::noteCreated() {
    if (!split_) {
        if (noted_ > 0) return;
        const std::optional<platform::FileIdentity> identity = platform::fileIdentity(target_);
        if (identity && workspace_.noteWritten(0, *identity)) noted_ = 1;
        return;
    }
    // The archiver writes its volumes one after another: each is looked for once the one
    // before it is there.
    for (;;) {
        const int number = noted_ + 1;
        if (std::find(strays_.begin(), strays_.end(), number) != strays_.end()) return;
        const std::optional<NativeString> volume = volumePath(target_, number);
        const std::optional<platform::FileIdentity> identity =
            volume ? platform::fileIdentity(*volume) : std::nullopt;
        if (!identity || !workspace_.noteWritten(number, *identity)) return;
        noted_ = number;
    }
}

}  // namespace pomu

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
    // The archiver writes its volumes one after another: each is looked for once the one
    // before it is there. Each is identified once, as soon as it stands there.
    for (;;) {
        if (!split_ && !seen_.empty()) break;
        const int number = split_ ? int(seen_.size()) + 1 : 0;
        if (std::find(strays_.begin(), strays_.end(), number) != strays_.end()) break;
        const std::optional<NativeString> path =
            split_ ? volumePath(target_, number) : std::optional(NativeString(target_));
        const std::optional<platform::FileIdentity> identity =
            path ? platform::fileIdentity(*path) : std::nullopt;
        if (!identity) break;
        seen_.push_back({number, *path, *identity});
    }
    // A note that could not be written is tried again on the next pass.
    while (noted_ < seen_.size() &&
           workspace_.noteWritten(seen_[noted_].number, seen_[noted_].identity)) {
        ++noted_;
    }
}

std::vector<NativeString> OutputWatch::ownOutputs() const {
    std::vector<NativeString> own;
    for (const Seen& seen : seen_) {
        const std::optional<platform::FileIdentity> now = platform::fileIdentity(seen.path);
        if (now && isWrittenOutput(*now, seen.identity)) own.push_back(seen.path);
    }
    return own;
}

}  // namespace pomu

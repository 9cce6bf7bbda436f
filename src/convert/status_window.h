// The window as the job and the runner see it: a status line and an event pump.
#pragma once

#include "platform/platform.h"

namespace pomu {

class StatusWindow {
public:
    virtual ~StatusWindow() = default;
    // Replaces the whole text of the status line.
    virtual void writeStatus(NativeView text) = 0;
    // Handles pending window events, waiting until one arrives or the tool ends.
    virtual void handleEvents(platform::RunningTool& tool) = 0;
};

// A window with no screen: it remembers what was written and pumps the thread's events.
class HeadlessWindow : public StatusWindow {
public:
    void writeStatus(NativeView text) override { texts_.emplace_back(text); }
    void handleEvents(platform::RunningTool& tool) override { platform::handlePendingEvents(tool); }

    const std::vector<NativeString>& texts() const { return texts_; }
    NativeString status() const { return texts_.empty() ? NativeString() : texts_.back(); }

private:
    std::vector<NativeString> texts_;
};

}  // namespace pomu

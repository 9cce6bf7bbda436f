// The window as the job and the runner see it: a status line, a progress bar and an event pump.
#pragma once

#include <optional>
#include <vector>

#include "platform/platform.h"

namespace pomu {

class StatusWindow {
  public:
    virtual ~StatusWindow() = default;
    // Replaces the whole text of the status line.
    virtual void writeStatus(NativeView text) = 0;
    // How far the batch is, 0 to 1; none when no batch runs (the bars are hidden).
    virtual void showProgress(std::optional<double> fraction) = 0;
    // Handles pending window events, waiting until one arrives or the tool ends.
    virtual void handleEvents(platform::RunningTool& tool) = 0;
};

// A window with no screen: it remembers what was written and shown and pumps the thread's
// events.
class HeadlessWindow : public StatusWindow {
  public:
    void writeStatus(NativeView text) override { texts_.emplace_back(text); }
    void showProgress(std::optional<double> fraction) override { progress_.push_back(fraction); }
    void handleEvents(platform::RunningTool& tool) override { platform::handlePendingEvents(tool); }

    const std::vector<NativeString>& texts() const { return texts_; }
    NativeString status() const { return texts_.empty() ? NativeString() : texts_.back(); }
    const std::vector<std::optional<double>>& progress() const { return progress_; }

  private:
    std::vector<NativeString> texts_;
    std::vector<std::optional<double>> progress_;
};

}  // namespace pomu

// An event posted to this thread's queue from another thread after a delay, as a click arrives.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "clock.h"

namespace pomu::bench {

// After the delay a helper thread notes the time and posts an event to this thread; the handler
// runs here once the event pump has woken up for it and dispatched it. Timing from the moment of
// posting therefore includes the pump's wake-up.
class DelayedEvent {
  public:
    DelayedEvent(int delayMs, std::function<void()> handler);
    ~DelayedEvent();
    DelayedEvent(const DelayedEvent&) = delete;
    DelayedEvent& operator=(const DelayedEvent&) = delete;
    // False when the event could not be set up (no window to post to).
    bool ready() const;
    // When the event was posted; empty before.
    std::optional<Clock::time_point> postedAt() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pomu::bench

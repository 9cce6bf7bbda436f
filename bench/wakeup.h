// A periodic timer on this thread, so that the window's event pump wakes up now and then.
#pragma once

#include <memory>

namespace pomu::bench {

class PeriodicWakeup {
  public:
    explicit PeriodicWakeup(int milliseconds);
    ~PeriodicWakeup();
    PeriodicWakeup(const PeriodicWakeup&) = delete;
    PeriodicWakeup& operator=(const PeriodicWakeup&) = delete;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pomu::bench

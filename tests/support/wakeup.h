// A periodic timer on the test's thread, so that the event pump wakes up now and then.
#pragma once

#include <memory>

namespace pomu::test {

class PeriodicWakeup {
public:
    explicit PeriodicWakeup(int milliseconds);
    ~PeriodicWakeup();
    PeriodicWakeup(const PeriodicWakeup&) = delete;
    PeriodicWakeup& operator=(const PeriodicWakeup&) = delete;
    // How often it has fired so far.
    int fired() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace pomu::test

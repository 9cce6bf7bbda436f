// Wall-clock and own-CPU time readings for the measurements.
#pragma once

#include <chrono>

namespace pomu::bench {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to);

// This process's own CPU time so far, children excluded.
struct CpuTime {
    double userMs = 0;
    double systemMs = 0;
    double totalMs() const { return userMs + systemMs; }
};
CpuTime ownCpuTime();
// The CPU time of the children this process has waited for (Linux; zero on Windows, where
// it is not kept): it grows exactly when an ended child is reaped.
CpuTime waitedChildrenCpuTime();
CpuTime operator-(const CpuTime& later, const CpuTime& earlier);

// Wall and CPU time of one stretch of code, from construction to stop().
class Stopwatch {
  public:
    Stopwatch() : wallStart_(Clock::now()), cpuStart_(ownCpuTime()) {}
    void stop() {
        wallMs_ = millisecondsBetween(wallStart_, Clock::now());
        cpu_ = ownCpuTime() - cpuStart_;
    }
    double wallMs() const { return wallMs_; }
    const CpuTime& cpu() const { return cpu_; }

  private:
    Clock::time_point wallStart_;
    CpuTime cpuStart_;
    double wallMs_ = 0;
    CpuTime cpu_;
};

}  // namespace pomu::bench

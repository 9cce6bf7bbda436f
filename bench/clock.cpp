// Own CPU time from GetProcessTimes (Windows) or getrusage (Linux).
#include "clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace pomu::bench {
namespace {

#ifdef _WIN32
double fileTimeMs(const FILETIME& time) {
    const ULONGLONG ticks = (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return double(ticks) / 10000.0;  // 100 ns units
}
#else
double timevalMs(const timeval& time) {
    return double(time.tv_sec) * 1000.0 + double(time.tv_usec) / 1000.0;
}
#endif

}  // namespace

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

CpuTime ownCpuTime() {
    CpuTime time;
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        time.userMs = fileTimeMs(user);
        time.systemMs = fileTimeMs(kernel);
    }
#else
    // RUSAGE_SELF leaves out the archiver, which is a child.
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) == 0) {
        time.userMs = timevalMs(usage.ru_utime);
        time.systemMs = timevalMs(usage.ru_stime);
    }
#endif
    return time;
}

CpuTime waitedChildrenCpuTime() {
    CpuTime time;
#ifndef _WIN32
    rusage usage{};
    if (::getrusage(RUSAGE_CHILDREN, &usage) == 0) {
        time.userMs = timevalMs(usage.ru_utime);
        time.systemMs = timevalMs(usage.ru_stime);
    }
#endif
    return time;
}

CpuTime operator-(const CpuTime& later, const CpuTime& earlier) {
    return CpuTime{later.userMs - earlier.userMs, later.systemMs - earlier.systemMs};
}

}  // namespace pomu::bench

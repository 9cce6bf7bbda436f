// Periodic wake-ups: a thread timer (SetTimer) on Windows, a QTimer on Linux.
#include "wakeup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QTimer>
#endif

namespace pomu::bench {

#ifdef _WIN32
namespace {
// The message alone wakes the pump; nothing needs doing when it is dispatched.
void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) {}
}  // namespace

struct PeriodicWakeup::Impl {
    UINT_PTR id = 0;
};

PeriodicWakeup::PeriodicWakeup(int milliseconds) : impl_(std::make_unique<Impl>()) {
    impl_->id = SetTimer(nullptr, 0, UINT(milliseconds), onTimer);
}
PeriodicWakeup::~PeriodicWakeup() {
    if (impl_->id) KillTimer(nullptr, impl_->id);
}
#else
struct PeriodicWakeup::Impl {
    QTimer timer;
};

PeriodicWakeup::PeriodicWakeup(int milliseconds) : impl_(std::make_unique<Impl>()) {
    impl_->timer.setTimerType(Qt::PreciseTimer);
    impl_->timer.start(milliseconds);
}
PeriodicWakeup::~PeriodicWakeup() = default;
#endif

}  // namespace pomu::bench

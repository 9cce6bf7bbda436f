// Periodic timers: a thread timer on Windows, a QTimer on Linux.
#include "support/wakeup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QTimer>
#endif

namespace pomu::test {

#ifdef _WIN32
namespace {
int firedCount = 0;  // thread timers carry no context; tests run on one thread
void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) { ++firedCount; }
}  // namespace

struct PeriodicWakeup::Impl {
    UINT_PTR id = 0;
    int start = 0;
};

PeriodicWakeup::PeriodicWakeup(int milliseconds) : impl_(std::make_unique<Impl>()) {
    impl_->start = firedCount;
    impl_->id = SetTimer(nullptr, 0, UINT(milliseconds), onTimer);
}
PeriodicWakeup::~PeriodicWakeup() { KillTimer(nullptr, impl_->id); }
int PeriodicWakeup::fired() const { return firedCount - impl_->start; }
#else
struct PeriodicWakeup::Impl {
    QTimer timer;
    int fired = 0;
};

PeriodicWakeup::PeriodicWakeup(int milliseconds) : impl_(std::make_unique<Impl>()) {
    QObject::connect(&impl_->timer, &QTimer::timeout, [impl = impl_.get()] { ++impl->fired; });
    impl_->timer.start(milliseconds);
}
PeriodicWakeup::~PeriodicWakeup() = default;
int PeriodicWakeup::fired() const { return impl_->fired; }
#endif

}  // namespace pomu::test

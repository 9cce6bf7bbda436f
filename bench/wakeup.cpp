// The delayed event: posted to a message-only window on Windows, to a QObject on Linux.
#include "wakeup.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <QMetaObject>
#include <QObject>
#endif

namespace pomu::bench {

struct DelayedEvent::Impl {
    std::function<void()> handler;
    mutable std::mutex mutex;
    std::condition_variable cancelled;
    bool stopping = false;
    std::optional<Clock::time_point> postedAt;
#ifdef _WIN32
    HWND window = nullptr;
#else
    QObject receiver;  // lives on this thread, so its queued calls run here
#endif
    std::thread poster;

    void post();
};

#ifdef _WIN32
namespace {

constexpr wchar_t kClassName[] = L"pomu_bench_delayed_event";

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        auto* impl =
            reinterpret_cast<DelayedEvent::Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (impl) impl->handler();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeMessageWindow(DelayedEvent::Impl* impl) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl));
    return window;
}

}  // namespace

void DelayedEvent::Impl::post() {
    PostMessageW(window, WM_APP, 0, 0);
}
#else
void DelayedEvent::Impl::post() {
    QMetaObject::invokeMethod(
        &receiver, [this] { handler(); }, Qt::QueuedConnection);
}
#endif

DelayedEvent::DelayedEvent(int delayMs, std::function<void()> handler)
    : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
#ifdef _WIN32
    impl_->window = makeMessageWindow(impl_.get());
#endif
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(delayMs);
    impl_->poster = std::thread([impl = impl_.get(), due] {
        std::unique_lock lock(impl->mutex);
        if (impl->cancelled.wait_until(lock, due, [impl] { return impl->stopping; })) return;
        impl->postedAt = Clock::now();
        impl->post();
    });
}

DelayedEvent::~DelayedEvent() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->cancelled.notify_all();
    impl_->poster.join();
#ifdef _WIN32
    if (impl_->window) DestroyWindow(impl_->window);
#endif
}

bool DelayedEvent::ready() const {
#ifdef _WIN32
    return impl_->window != nullptr;
#else
    return true;
#endif
}

std::optional<Clock::time_point> DelayedEvent::postedAt() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->postedAt;
}

}  // namespace pomu::bench

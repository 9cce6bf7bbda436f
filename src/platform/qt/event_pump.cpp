// Handling this thread's Qt events while a tool runs, waking when the tool ends.
#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

#include "platform/qt/running_tool.h"

namespace pomu::platform {
namespace {

// Without a pidfd the end of the tool cannot wake a wait, so the wait is cut into slices.
constexpr int kFallbackSliceMs = 20;

void pumpQtEvents(RunningTool::Impl& tool) {
    const QEventLoop::ProcessEventsFlags waitForEvent =
        QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents;
    if (tool.checkEnded()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else if (tool.pidfd.valid()) {
        QSocketNotifier notifier(tool.pidfd.get(), QSocketNotifier::Read);
        // The notifier only wakes the wait; switched off, it cannot fire over and over.
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier,
                         [&notifier] { notifier.setEnabled(false); });
        QCoreApplication::processEvents(waitForEvent);
    } else {
        QTimer slice;
        slice.setSingleShot(true);
        slice.start(kFallbackSliceMs);
        QCoreApplication::processEvents(waitForEvent);
    }
}

void waitWithoutEvents(RunningTool::Impl& tool) {
    if (tool.checkEnded()) return;
    pollfd watched{tool.pidfd.get(), POLLIN, 0};
    const bool hasFd = tool.pidfd.valid();
    while (::poll(hasFd ? &watched : nullptr, hasFd ? 1 : 0, hasFd ? -1 : kFallbackSliceMs) < 0 &&
           errno == EINTR) {
    }
}

}  // namespace

void handlePendingEvents(RunningTool& tool) {
    // Events belong to the thread's own dispatcher; a thread without one only waits.
    if (QCoreApplication::instance() && QAbstractEventDispatcher::instance()) {
        pumpQtEvents(tool.impl());
    } else {
        waitWithoutEvents(tool.impl());
    }
}

}  // namespace pomu::platform

// Handling this thread's Qt events while a tool runs, waking when the tool ends.
#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <optional>

#include "platform/qt/running_tool.h"

namespace pomu::platform {
namespace {

// Without a pidfd the end of the tool cannot wake a wait, so the wait is cut into slices.
constexpr int kFallbackSliceMs = 20;

void pumpQtEvents(RunningTool::Impl& tool) {
    const QEventLoop::ProcessEventsFlags waitForEvent =
        QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents;
    // A tool blocks once its pipe is full, so its output wakes the wait and is read here.
    std::optional<QSocketNotifier> output;
    if (tool.output.watched()) {
        output.emplace(tool.output.pipe.get(), QSocketNotifier::Read);
        QObject::connect(&*output, &QSocketNotifier::activated, &*output, [&tool, &output] {
            tool.output.readAvailable();
            if (!tool.output.watched()) output->setEnabled(false);
        });
    }
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
    pollfd watched[2];
    nfds_t count = 0;
    if (tool.pidfd.valid()) watched[count++] = {tool.pidfd.get(), POLLIN, 0};
    if (tool.output.watched()) watched[count++] = {tool.output.pipe.get(), POLLIN, 0};
    const int timeout = tool.pidfd.valid() ? -1 : kFallbackSliceMs;
    while (::poll(count ? watched : nullptr, count, timeout) < 0 && errno == EINTR) {
    }
    tool.output.readAvailable();
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

#include "base/task.h"

#include <QCoroTimer>

namespace base {

QCoro::Task<void> sleepFor(std::chrono::milliseconds duration, CancellationToken token) {
    token.throwIfCancelled();
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(duration);
    // A cancellation from any thread ends the wait early through a queued stop of the timer.
    CancelCallbackScope scope(token, [&timer] {
        QMetaObject::invokeMethod(&timer, [&timer] { timer.start(0); }, Qt::QueuedConnection);
    });
    timer.start();
    auto timeout = qCoro(timer).waitForTimeout();
    co_await std::move(timeout);
    token.throwIfCancelled();
}

}  // namespace base

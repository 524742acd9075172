#include "base/task.h"

#include <QCoroTimer>

#include <list>

namespace base {

namespace detail {

namespace {

// The waits not resumed yet, oldest first.
std::list<std::shared_ptr<BlockingWait>>& waits() {
    static std::list<std::shared_ptr<BlockingWait>> list;
    return list;
}

}  // namespace

void beginBlockingWait(std::shared_ptr<BlockingWait> wait) { waits().push_back(std::move(wait)); }

void endBlockingWait(const BlockingWait* wait) {
    waits().remove_if([wait](const std::shared_ptr<BlockingWait>& waiting) { return waiting.get() == wait; });
}

}  // namespace detail

void endBlockingWaits() {
    // One at a time: a coroutine that resumes may begin another wait, which this loop ends too.
    while (!detail::waits().empty()) {
        const std::shared_ptr<detail::BlockingWait> wait = std::move(detail::waits().front());
        detail::waits().pop_front();
        wait->ended = true;
        wait->waiting.resume();
    }
}

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

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "base/task.h"
#include "tests/support/manual_scheduler.h"

using namespace base;

TEST(Task, BlockingWorkRunsOffThisThreadAndCarriesErrorsBack) {
    QThread* const mainThread = QThread::currentThread();
    const bool offMain = waitForTask(runBlocking([mainThread] { return QThread::currentThread() != mainThread; }));
    EXPECT_TRUE(offMain);
    EXPECT_THROW(waitForTask(runBlocking([]() -> int { throw SystemError(QStringLiteral("disk")); })), SystemError);
    bool ran = false;
    waitForTask(runBlocking([&ran] { ran = true; }));
    EXPECT_TRUE(ran);

    // Work whose completion never comes (the program ended first) ends its waiting coroutine with
    // CancellationError; the completion, should it come after all, does nothing.
    testsupport::ManualScheduler scheduler;
    int cancelled = 0;
    const auto waiting = [&]() -> QCoro::Task<void> {
        auto blocking = runBlocking(scheduler, [] { return 1; });
        try {
            co_await std::move(blocking);
        } catch (const CancellationError&) {
            ++cancelled;
        }
    };
    const QCoro::Task<void> abandoned = waiting();
    endBlockingWaits();
    EXPECT_TRUE(abandoned.isReady());
    scheduler.runNextJob();
    EXPECT_EQ(cancelled, 1);
}

TEST(Task, SleepEndsEarlyOnCancellation) {
    CancellationSource cancel;
    QTimer::singleShot(20, [&] { cancel.cancel(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(waitForTask(sleepFor(std::chrono::seconds(30), cancel.token())), CancellationError);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_NO_THROW(waitForTask(sleepFor(std::chrono::milliseconds(1))));
}

TEST(Task, CancellationCallbacksRunOnceAndCanBeRemoved) {
    CancellationSource source;
    int calls = 0;
    const int id = source.token().onCancel([&] { ++calls; });
    int removed = 0;
    const int other = source.token().onCancel([&] { ++removed; });
    source.token().removeCallback(other);
    source.cancel();
    source.cancel();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(removed, 0);
    EXPECT_NE(id, 0);
    int late = 0;
    source.token().onCancel([&] { ++late; });  // already cancelled: runs at once
    EXPECT_EQ(late, 1);
    EXPECT_FALSE(CancellationToken().isCancelled());
}

TEST(Task, OperationIdentifiersGoStale) {
    OperationGeneration generation;
    const quint64 first = generation.begin();
    const quint64 second = generation.begin();
    EXPECT_FALSE(generation.isCurrent(first));
    EXPECT_TRUE(generation.isCurrent(second));
    OperationIdentifier identifier;
    const QUuid id = identifier.begin();
    EXPECT_TRUE(identifier.isCurrent(id));
    identifier.invalidate();
    EXPECT_FALSE(identifier.isCurrent(id));
    EXPECT_FALSE(identifier.isCurrent(QUuid()));
}

TEST(Task, RemovingACallbackWaitsWhileAnotherThreadRunsIt) {
    // What a callback touches (a timer, a reply) is destroyed right after its scope ends: the scope
    // must not end while the cancelling thread is still inside the callback.
    CancellationSource source;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    const int id = source.token().onCancel([&] {
        started = true;
        QThread::msleep(150);
        finished = true;
    });
    std::thread canceller([&] { source.cancel(); });
    while (!started) QThread::msleep(1);
    source.token().removeCallback(id);
    EXPECT_TRUE(finished);
    canceller.join();

    // A callback may remove itself (or another) on the cancelling thread without waiting on itself.
    CancellationSource self;
    int selfId = 0;
    bool ran = false;
    selfId = self.token().onCancel([&] {
        self.token().removeCallback(selfId);
        ran = true;
    });
    self.cancel();
    EXPECT_TRUE(ran);
}

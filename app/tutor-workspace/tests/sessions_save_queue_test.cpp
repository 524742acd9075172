// The order and the outcomes of tutor-session writes made away from the main thread.
#include <gtest/gtest.h>

#include <QTest>
#include <QThreadPool>

#include <atomic>

#include <stdexcept>

#include "app/tutor-workspace/sessions_save_queue.h"
#include "base/errors.h"
#include "tests/support/manual_scheduler.h"

namespace velquin {
namespace {

using Sessions = SessionsSaveQueue::Sessions;

Sessions listNamed(const QString& title) {
    meridcore::TeacherLearningSession::Options options;
    options.title = title;
    return {meridcore::TeacherLearningSession(0, options)};
}

// Steps: "+X" hands in the list X, "run" runs the oldest write and its completion, "finish" blocks
// in finish(). A list whose title starts with "bad" fails to be written.
struct Case {
    const char* name;
    QStringList steps;
    QStringList written;  // titles of the lists written, in order
    QStringList told;     // "X:ok" / "X:failed", in the order the callers were told
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class SaveQueueOrderTest : public ::testing::TestWithParam<Case> {};

TEST_P(SaveQueueOrderTest, WritesOneAtATimeAndTheLastListLands) {
    const Case& c = GetParam();
    auto scheduler = std::make_shared<testsupport::ManualScheduler>();
    QStringList written, told;
    SessionsSaveQueue queue(
        [&written](const Sessions& sessions) {
            const QString title = sessions.first().title;
            if (title.startsWith(QStringLiteral("bad"))) throw std::runtime_error("disk full");
            written.append(title);
        },
        scheduler);
    for (const QString& step : c.steps) {
        if (step == QStringLiteral("run")) {
            scheduler->runNextJob();
        } else if (step == QStringLiteral("finish")) {
            queue.finish();
        } else {
            const QString title = step.mid(1);
            queue.save(listNamed(title), [&told, title](std::exception_ptr error) {
                told.append(title + (error ? QStringLiteral(":failed") : QStringLiteral(":ok")));
            });
        }
    }
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(told, c.told);
    // Nothing is left behind, and completions of writes that finish() took are harmless.
    while (scheduler->pendingJobs() > 0) scheduler->runNextJob();
    EXPECT_TRUE(queue.idle());
    EXPECT_EQ(written, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveQueueOrderTest,
    ::testing::Values(
        Case{"one", {"+A", "run"}, {"A"}, {"A:ok"}},
        Case{"laterWaitsForEarlier", {"+A", "+B", "run", "run"}, {"A", "B"}, {"A:ok", "B:ok"}},
        // B was never written on its own: C holds the newer state and tells B's caller too.
        Case{"newerReplacesWaiting", {"+A", "+B", "+C", "run", "run"}, {"A", "C"}, {"A:ok", "B:ok", "C:ok"}},
        // After a failure the file keeps its last good contents: the waiting list is not written.
        Case{"failureDropsWaiting", {"+badA", "+B", "run"}, {}, {"badA:failed", "B:failed"}},
        Case{"failureOfLaterIsItsOwn", {"+A", "+badB", "run", "run"}, {"A"}, {"A:ok", "badB:failed"}},
        Case{"writesAgainAfterAFailure", {"+badA", "run", "+B", "run"}, {"B"}, {"badA:failed", "B:ok"}},
        // Quitting: the running write is waited for and the waiting one written on the spot.
        Case{"finishWritesEverything", {"+A", "+B", "+C", "finish"}, {"A", "C"}, {"A:ok", "B:ok", "C:ok"}},
        Case{"finishReportsFailure", {"+A", "+badB", "finish"}, {"A"}, {"A:ok", "badB:failed"}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The real thread pool: a write runs on a worker and is told on the main thread; the queue does not
// go before the last list handed in is written.
TEST(SaveQueueThreadTest, WritesOnAWorkerAndFinishesBeforeItGoes) {
    QThreadPool pool;
    QStringList written;
    std::atomic<bool> onWorker = false;
    const Qt::HANDLE mainThread = QThread::currentThreadId();
    {
        SessionsSaveQueue queue(
            [&](const Sessions& sessions) {
                if (QThread::currentThreadId() != mainThread) onWorker = true;
                written.append(sessions.first().title);
            },
            std::make_shared<base::QtWorkScheduler>(&pool));
        bool told = false;
        queue.save(listNamed(QStringLiteral("A")), [&](std::exception_ptr error) { told = !error; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return told; }));
        EXPECT_TRUE(onWorker);
        queue.save(listNamed(QStringLiteral("B")), {});
    }
    EXPECT_EQ(written, (QStringList{"A", "B"}));
}

}  // namespace
}  // namespace velquin

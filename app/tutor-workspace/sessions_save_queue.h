#pragma once

#include <QList>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "base/work_scheduler.h"
#include "tutor-engine/teacher_learning_session.h"

namespace velquin {

// Writes the tutor sessions away from the main thread, one write at a time. A list handed in while
// a write runs waits for it; a newer list replaces one still waiting, so the list handed in last is
// always the last one written. A failed write drops the list waiting behind it (the file keeps its
// last good contents) and tells that list's callers of the failure too. The API is main-thread only;
// `write` runs on the scheduler's worker threads and throws on failure.
class SessionsSaveQueue {
public:
    using Sessions = QList<meridcore::TeacherLearningSession>;
    using Write = std::function<void(const Sessions&)>;
    // The outcome of the write that carried the list, on the main thread; null when it was written.
    using Done = std::function<void(std::exception_ptr)>;

    SessionsSaveQueue(Write write, std::shared_ptr<base::WorkScheduler> scheduler);
    // Finishes every write first (finish()).
    ~SessionsSaveQueue();
    SessionsSaveQueue(const SessionsSaveQueue&) = delete;
    SessionsSaveQueue& operator=(const SessionsSaveQueue&) = delete;

    void save(Sessions sessions, Done done);
    // No write runs or waits.
    bool idle() const { return !running_ && !waiting_; }
    // Calls `then` once no write runs or waits (at once when none does), after the last one's callers
    // were told. One at a time: a later call replaces an earlier one still waiting.
    void whenIdle(std::function<void()> then);
    // Blocks until the running write has ended and the waiting list is written (on this thread),
    // and reports both: the program is about to end, or the file is read next.
    void finish();

private:
    struct Flight;
    struct Waiting {
        Sessions sessions;
        QList<Done> done;
    };

    void start(Waiting next);
    void tellIdle();
    void land(const std::shared_ptr<Flight>& flight, bool startNext);

    Write write_;
    std::shared_ptr<base::WorkScheduler> scheduler_;
    std::shared_ptr<Flight> running_;
    std::optional<Waiting> waiting_;
    std::function<void()> idleThen_;
    // Completions that arrive after this queue went find it expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace velquin

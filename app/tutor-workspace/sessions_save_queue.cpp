#include "app/tutor-workspace/sessions_save_queue.h"

#include <condition_variable>
#include <mutex>
#include <utility>

namespace velquin {

namespace {
std::exception_ptr attempt(const SessionsSaveQueue::Write& write, const SessionsSaveQueue::Sessions& sessions) {
    try {
        write(sessions);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}
}  // namespace

// One write. Whoever claims it first writes it: the worker job, or finish() when the job has not
// started yet (a busy pool must not hold the program's end).
struct SessionsSaveQueue::Flight {
    Sessions sessions;
    QList<Done> done;
    std::mutex mutex;
    std::condition_variable ended;
    bool claimed = false;  // under mutex
    bool written = false;  // under mutex
    std::exception_ptr error;
    bool reported = false;  // main thread only

    // Writes unless someone else claimed the write; false then.
    bool writeIfUnclaimed(const Write& write) {
        {
            std::lock_guard lock(mutex);
            if (claimed) return false;
            claimed = true;
        }
        std::exception_ptr outcome = attempt(write, sessions);
        std::lock_guard lock(mutex);
        error = outcome;
        written = true;
        ended.notify_all();
        return true;
    }
};

SessionsSaveQueue::SessionsSaveQueue(Write write, std::shared_ptr<base::WorkScheduler> scheduler)
    : write_(std::move(write)), scheduler_(std::move(scheduler)) {}

SessionsSaveQueue::~SessionsSaveQueue() { finish(); }

void SessionsSaveQueue::save(Sessions sessions, Done done) {
    if (!running_) {
        start(Waiting{std::move(sessions), {std::move(done)}});
        return;
    }
    if (!waiting_) waiting_.emplace();
    waiting_->sessions = std::move(sessions);
    waiting_->done.append(std::move(done));
}

void SessionsSaveQueue::whenIdle(std::function<void()> then) {
    idleThen_ = std::move(then);
    tellIdle();
}

void SessionsSaveQueue::tellIdle() {
    if (idle() && idleThen_) std::exchange(idleThen_, {})();
}

void SessionsSaveQueue::start(Waiting next) {
    auto flight = std::make_shared<Flight>();
    flight->sessions = std::move(next.sessions);
    flight->done = std::move(next.done);
    running_ = flight;
    scheduler_->runBlocking([flight, write = write_] { flight->writeIfUnclaimed(write); },
                            [this, flight, alive = std::weak_ptr<int>(alive_)] {
                                if (alive.expired()) return;
                                land(flight, true);
                            });
}

void SessionsSaveQueue::land(const std::shared_ptr<Flight>& flight, bool startNext) {
    if (flight->reported) return;  // finish() did
    flight->reported = true;
    if (running_ == flight) running_.reset();
    // The waiting list is started (or, in finish(), written) before anyone is told, so that a save()
    // made by a callback comes after it.
    std::optional<Waiting> next = std::exchange(waiting_, std::nullopt);
    const std::exception_ptr error = flight->error;
    std::exception_ptr nextOutcome = error;  // dropped behind a failure
    if (next && !error) {
        if (startNext) {
            start(std::move(*next));
            next.reset();
        } else {
            nextOutcome = attempt(write_, next->sessions);
        }
    }
    // The callbacks are let go once told: a write whose job never ran keeps nothing of theirs.
    for (const Done& done : std::exchange(flight->done, {}))
        if (done) done(error);
    if (next)
        for (const Done& done : std::as_const(next->done))
            if (done) done(nextOutcome);
    tellIdle();
}

void SessionsSaveQueue::finish() {
    while (running_) {
        const std::shared_ptr<Flight> flight = running_;
        if (!flight->writeIfUnclaimed(write_)) {
            std::unique_lock lock(flight->mutex);
            flight->ended.wait(lock, [&] { return flight->written; });
        }
        land(flight, false);
    }
    if (waiting_) {
        // Only a callback of a finished write can have queued this one.
        Waiting next = *std::exchange(waiting_, std::nullopt);
        const std::exception_ptr outcome = attempt(write_, next.sessions);
        for (const Done& done : std::as_const(next.done))
            if (done) done(outcome);
    }
    tellIdle();
}

}  // namespace velquin

#include "app/tutor-workspace/sessions_file.h"

#include <utility>

namespace velquin {

SessionsFile::SessionsFile(meridcore::TeacherLearningStore storage, std::shared_ptr<base::WorkScheduler> scheduler,
                           std::function<Sessions()> current)
    : storage_(std::move(storage)),
      scheduler_(std::move(scheduler)),
      current_(std::move(current)),
      saves_([storage = storage_](const Sessions& sessions) { storage.save(sessions); }, scheduler_) {
    if (!storage_.url().isEmpty())
        registration_ = meridcore::TeacherLearningStore::registerPendingWrites(storage_.url(), [this] { finish(); });
}

SessionsFile::~SessionsFile() {
    // A read that no write waits for is not wanted any more.
    if (held_.isEmpty()) {
        reading_.reset();
        ++generation_;
    }
    finish();
}

void SessionsFile::read(Read done) {
    reading_ = std::move(done);
    const quint64 generation = ++generation_;
    // After the writes asked for before it; none starts while it is out.
    saves_.whenIdle([this, generation] { startRead(generation); });
}

void SessionsFile::startRead(quint64 generation) {
    if (generation != generation_) return;
    auto result = std::make_shared<std::pair<Sessions, std::exception_ptr>>();
    scheduler_->runBlocking(
        [storage = storage_, result] {
            try {
                result->first = storage.load();
            } catch (...) {
                result->second = std::current_exception();
            }
        },
        [this, generation, result, alive = std::weak_ptr<int>(alive_)] {
            if (alive.expired()) return;
            land(generation, std::move(result->first), result->second);
        });
}

void SessionsFile::land(quint64 generation, Sessions sessions, std::exception_ptr failure) {
    // A newer read was asked for, or this one was made by finish().
    if (generation != generation_ || !reading_) return;
    const Read done = *std::exchange(reading_, std::nullopt);
    done(std::move(sessions), failure);
    // Told of the read, the reader may have asked for another: the writes wait for that one.
    if (reading_ || held_.isEmpty()) return;
    const QList<Done> held = std::exchange(held_, {});
    if (failure) {
        // A file that could not be read is not written.
        for (const Done& told : held)
            if (told) told(failure);
        return;
    }
    saves_.save(current_(), [held](std::exception_ptr error) {
        for (const Done& told : held)
            if (told) told(error);
    });
}

std::shared_ptr<SessionsFile::Landing> SessionsFile::write(Done done) {
    auto landing = std::make_shared<Landing>();
    Done told = [done = std::move(done), landing, scheduler = scheduler_](std::exception_ptr error) {
        if (done) done(error);
        landing->settled = true;
        landing->written = !error;
        if (const std::coroutine_handle<> waiting = std::exchange(landing->waiting, {}))
            scheduler->post([waiting] { waiting.resume(); });
    };
    if (reading_)
        held_.append(std::move(told));
    else
        saves_.save(current_(), std::move(told));
    return landing;
}

void SessionsFile::finish() {
    while (reading_ && !held_.isEmpty()) {
        // The read out is made here instead (its own answer, when it comes, is dropped).
        Sessions sessions;
        std::exception_ptr failure;
        try {
            sessions = storage_.load();
        } catch (...) {
            failure = std::current_exception();
        }
        land(++generation_, std::move(sessions), failure);
    }
    saves_.finish();
}

}  // namespace velquin

#pragma once

#include <QList>

#include <coroutine>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/tutor-workspace/sessions_save_queue.h"
#include "base/work_scheduler.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_learning_store.h"

namespace velquin {

// The tutor screen's sessions file, read and written away from the main thread in the order they
// are asked for. A read starts once the writes asked for before it have landed; writes asked for
// while it is out wait for it and then write the list as it is once the read has been told, so that
// what the read brought in is written too. Of reads that overlap, only the last one asked for is
// told. Another writer of the file (the legacy import) has every write, held ones too, land before
// it reads the file. Main thread only.
class SessionsFile {
public:
    using Sessions = QList<meridcore::TeacherLearningSession>;
    // The sessions read, or the failure of the read (then empty).
    using Read = std::function<void(Sessions sessions, std::exception_ptr failure)>;
    // The outcome of a write: null when it was written; the read's failure for a write held behind a
    // read that failed (it is not written).
    using Done = SessionsSaveQueue::Done;

    // One write that a caller waits for: settled once it has landed and its outcome was told.
    struct Landing {
        bool settled = false;
        bool written = false;
        std::coroutine_handle<> waiting;
    };
    // `co_await` on a write: resumes on a later turn of the event loop once it has landed (never from
    // inside the writes' own bookkeeping), with whether it was written; at once for no write.
    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<Landing> landing) : landing_(std::move(landing)) {}
        bool await_ready() const noexcept { return !landing_ || landing_->settled; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { landing_->waiting = handle; }
        bool await_resume() const noexcept { return landing_ && landing_->written; }

    private:
        std::shared_ptr<Landing> landing_;
    };

    // `current` gives the list a write writes, when it is handed to the writes.
    SessionsFile(meridcore::TeacherLearningStore storage, std::shared_ptr<base::WorkScheduler> scheduler,
                 std::function<Sessions()> current);
    // Finishes the writes first (finish()); a read that none waits for is dropped.
    ~SessionsFile();
    SessionsFile(const SessionsFile&) = delete;
    SessionsFile& operator=(const SessionsFile&) = delete;

    void read(Read done);
    // What to wait for; `done` is told first.
    std::shared_ptr<Landing> write(Done done);
    // Blocks until every write has landed and its outcome was told: the program is about to end, or
    // another writer reads the file next. A read that writes wait for is made here, on this thread,
    // and told first.
    void finish();

private:
    void startRead(quint64 generation);
    void land(quint64 generation, Sessions sessions, std::exception_ptr failure);

    meridcore::TeacherLearningStore storage_;
    std::shared_ptr<base::WorkScheduler> scheduler_;
    std::function<Sessions()> current_;
    SessionsSaveQueue saves_;
    // The read out (what it tells) and the writes that wait for it.
    std::optional<Read> reading_;
    quint64 generation_ = 0;
    QList<Done> held_;
    std::shared_ptr<void> registration_;
    // Reads that land after this object went find it expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace velquin

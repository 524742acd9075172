#pragma once

#include <functional>

class QThreadPool;

// Where deferred and blocking work runs: later turns of the main thread's event loop, and worker
// threads for work that blocks. Tests replace it with a scheduler they turn by hand.
namespace base {

class WorkScheduler {
public:
    virtual ~WorkScheduler();

    // Runs `task` on a later turn of the main thread's event loop.
    virtual void post(std::function<void()> task) = 0;
    // Runs `job` away from the main thread, then `completion` on the main thread. `job` does not
    // throw (callers catch inside it).
    virtual void runBlocking(std::function<void()> job, std::function<void()> completion) = 0;
};

// The production scheduler: the event loop of the application object and a thread pool (the
// global one unless another is given; a pool of one thread runs its jobs in the order started).
class QtWorkScheduler : public WorkScheduler {
public:
    explicit QtWorkScheduler(QThreadPool* pool = nullptr);

    void post(std::function<void()> task) override;
    void runBlocking(std::function<void()> job, std::function<void()> completion) override;

    // A scheduler on the global thread pool, shared by callers that need no other.
    static WorkScheduler& shared();

private:
    QThreadPool* pool_;
};

}  // namespace base

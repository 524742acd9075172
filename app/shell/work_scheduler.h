#pragma once

#include <QtGlobal>

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Where the store's deferred and blocking work runs: later turns of the main thread's event loop,
// and a worker thread for work that blocks. Tests replace it with a scheduler they turn by hand.
namespace velquin {

class WorkScheduler {
public:
    virtual ~WorkScheduler();

    // Runs `task` on a later turn of the main thread's event loop.
    virtual void post(std::function<void()> task) = 0;
    // Runs `job` away from the main thread, then `completion` on the main thread. `job` does not
    // throw (callers catch inside it).
    virtual void runBlocking(std::function<void()> job, std::function<void()> completion) = 0;
};

// The production scheduler: the event loop of the application object and the global thread pool.
class QtWorkScheduler : public WorkScheduler {
public:
    void post(std::function<void()> task) override;
    void runBlocking(std::function<void()> job, std::function<void()> completion) override;
};

// `co_await blocking(scheduler, job)` inside a coroutine on the main thread: runs `job` through the
// scheduler's blocking work and resumes with its result, or rethrows its exception. The awaiting
// coroutine always resumes once the job has ended, whatever happened meanwhile.
template <typename T>
class BlockingAwaitable {
public:
    BlockingAwaitable(WorkScheduler& scheduler, std::function<T()> job)
        : scheduler_(scheduler), job_(std::move(job)), state_(std::make_shared<State>()) {}

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> handle) {
        auto state = state_;
        scheduler_.runBlocking(
            [state, job = std::move(job_)]() {
                try {
                    if constexpr (std::is_void_v<T>) {
                        job();
                        state->value = true;
                    } else {
                        state->value.emplace(job());
                    }
                } catch (...) {
                    state->error = std::current_exception();
                }
            },
            [handle]() { handle.resume(); });
    }

    T await_resume() {
        if (state_->error) std::rethrow_exception(state_->error);
        if constexpr (!std::is_void_v<T>) return std::move(*state_->value);
    }

private:
    struct State {
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
        std::exception_ptr error;
    };
    WorkScheduler& scheduler_;
    std::function<T()> job_;
    std::shared_ptr<State> state_;
};

template <typename F>
auto blocking(WorkScheduler& scheduler, F job) {
    using T = std::invoke_result_t<F>;
    return BlockingAwaitable<T>(scheduler, std::function<T()>(std::move(job)));
}

}  // namespace velquin

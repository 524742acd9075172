#pragma once

#include <QCoroTask>
#include <QCoroTimer>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

#include "base/cancellation.h"
#include "base/errors.h"
#include "base/work_scheduler.h"

// Helpers for coroutines on the main thread.
namespace base {

namespace detail {

// A coroutine waiting on the main thread for blocking work; `ended` once endBlockingWaits resumed it.
struct BlockingWait {
    std::coroutine_handle<> waiting;
    bool ended = false;
};
void beginBlockingWait(std::shared_ptr<BlockingWait> wait);
void endBlockingWait(const BlockingWait* wait);

// Hands `work` to the scheduler when awaited and resumes the coroutine from the completion, with
// the result or the exception of `work`. The coroutine resumes once: when `work` has ended, or
// earlier with CancellationError from endBlockingWaits.
template <typename T, typename F>
class BlockingAwaitable {
public:
    BlockingAwaitable(WorkScheduler& scheduler, F work)
        : scheduler_(scheduler), state_(std::make_shared<State>(std::move(work))) {}

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> handle) {
        state_->waiting = handle;
        beginBlockingWait(state_);
        scheduler_.runBlocking(
            [state = state_]() {
                try {
                    if constexpr (std::is_void_v<T>) {
                        state->work();
                        state->value.emplace(true);
                    } else {
                        state->value.emplace(state->work());
                    }
                } catch (...) {
                    state->error = std::current_exception();
                }
            },
            [state = state_]() {
                if (state->ended) return;
                endBlockingWait(state.get());
                state->waiting.resume();
            });
    }

    T await_resume() {
        if (state_->ended) throw CancellationError();
        if (state_->error) std::rethrow_exception(state_->error);
        if constexpr (!std::is_void_v<T>) return std::move(*state_->value);
    }

private:
    // `work`, `value` and `error` are the worker thread's until the completion; the wait is the
    // main thread's.
    struct State : BlockingWait {
        explicit State(F w) : work(std::move(w)) {}
        F work;
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
        std::exception_ptr error;
    };
    WorkScheduler& scheduler_;
    std::shared_ptr<State> state_;
};

}  // namespace detail

// `co_await runBlocking(scheduler, work)` in a coroutine on the main thread: runs blocking `work`
// through the scheduler, away from the main thread, and resumes on the main thread with its result;
// an exception thrown by `work` is rethrown there. Work given to a pool of one thread runs in the
// order it was started.
template <typename F>
auto runBlocking(WorkScheduler& scheduler, F work) -> QCoro::Task<std::invoke_result_t<F>> {
    using T = std::invoke_result_t<F>;
    // Awaited as a named local: g++ 12 may destroy the captures of a temporary awaited in place twice.
    detail::BlockingAwaitable<T, F> blocking(scheduler, std::move(work));
    if constexpr (std::is_void_v<T>) {
        co_await blocking;
    } else {
        co_return co_await blocking;
    }
}

// The same on the global thread pool.
template <typename F>
auto runBlocking(F work) -> QCoro::Task<std::invoke_result_t<F>> {
    return runBlocking(QtWorkScheduler::shared(), std::move(work));
}

// Resumes every coroutine still waiting for blocking work at once with CancellationError, those
// that begin to wait meanwhile too; the work's own completion, should it still come, does nothing.
// For the end of a program, after its event loop: a completion that never runs would leave its
// coroutine suspended for good and its frames never freed. Main thread only.
void endBlockingWaits();

// Lets a started coroutine run on by itself: it frees itself when it ends. What it touches of its
// starter after a suspension is guarded (a QPointer).
inline void detach(QCoro::Task<void>&& task) {
    QCoro::Task<void> released = std::move(task);
    (void)released;
}

// Runs `task` to its end in a nested event loop and returns its result or rethrows its error.
// (QCoro::waitFor never returns when the task throws, so the error is carried out as a value.)
template <typename T>
T waitForTask(QCoro::Task<T> task) {
    struct Outcome {
        std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
        std::exception_ptr error;
    };
    auto wrapped = [](QCoro::Task<T> inner) -> QCoro::Task<Outcome> {
        Outcome outcome;
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(inner);
                outcome.value.emplace(true);
            } else {
                outcome.value.emplace(co_await std::move(inner));
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        co_return outcome;
    };
    Outcome outcome = QCoro::waitFor(wrapped(std::move(task)));
    if (outcome.error) std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>) return std::move(*outcome.value);
}

// Waits `duration` on the current thread's event loop; throws CancellationError when `token`
// is cancelled before or during the wait.
// (No default argument on the coroutine itself: GCC 12 destroys such an argument twice.)
QCoro::Task<void> sleepFor(std::chrono::milliseconds duration, CancellationToken token);
inline QCoro::Task<void> sleepFor(std::chrono::milliseconds duration) {
    return sleepFor(duration, CancellationToken());
}

}  // namespace base

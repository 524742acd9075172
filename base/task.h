#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QCoroTimer>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <exception>
#include <optional>
#include <type_traits>

#include "base/cancellation.h"
#include "base/errors.h"

// Helpers for coroutines on the main thread.
namespace base {

// Runs blocking `work` on `pool` and resumes the awaiting coroutine on its own thread with the
// result; an exception thrown by `work` is rethrown there. A pool of one thread runs such work in
// the order it was started.
template <typename F>
auto runBlocking(QThreadPool& pool, F work) -> QCoro::Task<std::invoke_result_t<F>> {
    using T = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<T>) {
        auto future = QtConcurrent::run(&pool, [work = std::move(work)]() mutable -> std::exception_ptr {
            try {
                work();
                return nullptr;
            } catch (...) {
                return std::current_exception();
            }
        });
        const std::exception_ptr error = co_await future;
        if (error) std::rethrow_exception(error);
    } else {
        struct Outcome {
            std::optional<T> value;
            std::exception_ptr error;
        };
        auto future = QtConcurrent::run(&pool, [work = std::move(work)]() mutable -> Outcome {
            Outcome outcome;
            try {
                outcome.value.emplace(work());
            } catch (...) {
                outcome.error = std::current_exception();
            }
            return outcome;
        });
        Outcome outcome = co_await future;
        if (outcome.error) std::rethrow_exception(outcome.error);
        co_return std::move(*outcome.value);
    }
}

// The same on the global thread pool.
template <typename F>
auto runBlocking(F work) -> QCoro::Task<std::invoke_result_t<F>> {
    return runBlocking(*QThreadPool::globalInstance(), std::move(work));
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
inline QCoro::Task<void> sleepFor(std::chrono::milliseconds duration) { return sleepFor(duration, CancellationToken()); }

}  // namespace base

#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QCoroTimer>
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

// Runs blocking `work` on the global thread pool and resumes the awaiting coroutine on its own
// thread with the result; an exception thrown by `work` is rethrown there.
template <typename F>
auto runBlocking(F work) -> QCoro::Task<std::invoke_result_t<F>> {
    using T = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<T>) {
        auto future = QtConcurrent::run([work = std::move(work)]() mutable -> std::exception_ptr {
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
        auto future = QtConcurrent::run([work = std::move(work)]() mutable -> Outcome {
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

// Waits `duration` on the current thread's event loop; throws CancellationError when `token`
// is cancelled before or during the wait.
QCoro::Task<void> sleepFor(std::chrono::milliseconds duration, CancellationToken token = {});

}  // namespace base

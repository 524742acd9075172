#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QUuid>

// Cancellation tokens and operation identifiers for asynchronous and blocking work.
namespace base {

// A token handed to a piece of work; the owner of the matching CancellationSource cancels it.
// Copies share one state. A default-constructed token is never cancelled. Thread-safe.
class CancellationToken {
public:
    CancellationToken() = default;

    bool isCancelled() const { return state_ && state_->cancelled.load(); }

    // Throws CancellationError when cancelled.
    void throwIfCancelled() const;

    // Calls `callback` once on cancellation, on the cancelling thread (at once if already cancelled).
    // Returns an id for removeCallback. Callbacks must be cheap and must not throw.
    int onCancel(std::function<void()> callback) const;
    // After this returns the callback is not running and never will: when another thread is running
    // it right now, this waits for it to finish.
    void removeCallback(int id) const;

private:
    friend class CancellationSource;
    struct State {
        std::atomic<bool> cancelled{false};
        std::mutex mutex;
        std::condition_variable callbackDone;
        int nextId = 1;
        std::vector<std::pair<int, std::function<void()>>> callbacks;
        int runningId = 0;  // the callback cancel() is running now, on `runningThread`
        std::thread::id runningThread;
    };
    explicit CancellationToken(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

class CancellationSource {
public:
    CancellationSource();
    CancellationToken token() const { return CancellationToken(state_); }
    void cancel();
    bool isCancelled() const { return state_->cancelled.load(); }

private:
    std::shared_ptr<CancellationToken::State> state_;
};

// Keeps a callback registered for the lifetime of a scope.
class CancelCallbackScope {
public:
    CancelCallbackScope(CancellationToken token, std::function<void()> callback)
        : token_(std::move(token)), id_(token_.onCancel(std::move(callback))) {}
    ~CancelCallbackScope() { token_.removeCallback(id_); }
    CancelCallbackScope(const CancelCallbackScope&) = delete;
    CancelCallbackScope& operator=(const CancelCallbackScope&) = delete;

private:
    CancellationToken token_;
    int id_;
};

// A generation counter: each begin() makes the earlier identifiers stale.
class OperationGeneration {
public:
    quint64 begin() { return ++current_; }
    void invalidate() { ++current_; }
    bool isCurrent(quint64 id) const { return id == current_; }
    quint64 current() const { return current_; }

private:
    quint64 current_ = 0;
};

// An operation identifier made of a fresh UUID; results carrying another one are dropped.
class OperationIdentifier {
public:
    QUuid begin() { return current_ = QUuid::createUuid(); }
    void invalidate() { current_ = QUuid(); }
    bool isCurrent(const QUuid& id) const { return !id.isNull() && id == current_; }
    QUuid current() const { return current_; }

private:
    QUuid current_;
};

}  // namespace base

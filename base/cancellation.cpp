#include "base/cancellation.h"

#include "base/errors.h"

namespace base {

void CancellationToken::throwIfCancelled() const {
    if (isCancelled()) throw CancellationError();
}

int CancellationToken::onCancel(std::function<void()> callback) const {
    if (!state_) return 0;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->cancelled.load()) {
            const int id = state_->nextId++;
            state_->callbacks.emplace_back(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void CancellationToken::removeCallback(int id) const {
    if (!state_ || id == 0) return;
    std::unique_lock lock(state_->mutex);
    if (std::erase_if(state_->callbacks, [id](const auto& entry) { return entry.first == id; }) > 0) return;
    // Running on another thread: what it touches must outlive it. (On this thread it is the caller.)
    if (state_->runningThread != std::this_thread::get_id())
        state_->callbackDone.wait(lock, [&] { return state_->runningId != id; });
}

CancellationSource::CancellationSource() : state_(std::make_shared<CancellationToken::State>()) {}

void CancellationSource::cancel() {
    std::unique_lock lock(state_->mutex);
    if (state_->cancelled.exchange(true)) return;
    // One at a time, each taken out of the list first, so that removeCallback() either removes a
    // callback that has not run or waits for the one that is running.
    while (!state_->callbacks.empty()) {
        auto [id, callback] = std::move(state_->callbacks.front());
        state_->callbacks.erase(state_->callbacks.begin());
        state_->runningId = id;
        state_->runningThread = std::this_thread::get_id();
        lock.unlock();
        auto finished = [&] {
            lock.lock();
            state_->runningId = 0;
            state_->runningThread = {};
            state_->callbackDone.notify_all();
        };
        try {
            callback();
        } catch (...) {
            finished();
            throw;
        }
        finished();
    }
}

}  // namespace base

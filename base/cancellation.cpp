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
    std::lock_guard lock(state_->mutex);
    std::erase_if(state_->callbacks, [id](const auto& entry) { return entry.first == id; });
}

CancellationSource::CancellationSource() : state_(std::make_shared<CancellationToken::State>()) {}

void CancellationSource::cancel() {
    std::vector<std::pair<int, std::function<void()>>> callbacks;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled.exchange(true)) return;
        callbacks.swap(state_->callbacks);
    }
    for (auto& [id, callback] : callbacks) callback();
}

}  // namespace base

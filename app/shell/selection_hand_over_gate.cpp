#include "app/shell/selection_hand_over_gate.h"

#include <algorithm>
#include <utility>

namespace velquin {

SelectionHandOverGate::SelectionHandOverGate(std::function<void(const HandOver&)> deliver,
                                             std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent), deliver_(std::move(deliver)), interval_(interval) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SelectionHandOverGate::deliverLatest);
}

void SelectionHandOverGate::submit(HandOver handOver) {
    if (pending_) ++superseded_;
    pending_ = std::move(handOver);
    if (timer_.isActive()) return;
    const qint64 wait =
        sinceDelivery_.isValid() ? std::max<qint64>(0, interval_.count() - sinceDelivery_.elapsed()) : 0;
    timer_.start(int(wait));
}

void SelectionHandOverGate::deliverLatest() {
    if (!pending_) return;
    const HandOver handOver = *std::exchange(pending_, std::nullopt);
    sinceDelivery_.start();
    if (deliver_) deliver_(handOver);
}

}  // namespace velquin

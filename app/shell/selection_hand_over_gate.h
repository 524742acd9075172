#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <variant>

#include "platform/selection_service_provider.h"

namespace velquin {

// Passes the selection entry's hand-overs (a text to study, or why the study-selection command
// found none) on to select-anywhere, at most one per interval: the first on the next turn of the
// event loop, then only the latest of those that came meanwhile. The earlier ones are dropped
// without any work, so a flood of calls over the bus costs a few showings of the answer panel per
// second instead of one per call, and each caller has its answer at once. Main thread only.
class SelectionHandOverGate : public QObject {
    Q_OBJECT
public:
    using HandOver = std::variant<halvern::SelectionRequest, halvern::RefusedSelection>;

    SelectionHandOverGate(std::function<void(const HandOver&)> deliver, std::chrono::milliseconds interval,
                          QObject* parent = nullptr);

    void submit(HandOver handOver);
    // Hand-overs replaced by a later one before they were passed on.
    int superseded() const { return superseded_; }

private:
    void deliverLatest();

    std::function<void(const HandOver&)> deliver_;
    std::chrono::milliseconds interval_;
    QTimer timer_;
    QElapsedTimer sinceDelivery_;
    std::optional<HandOver> pending_;
    int superseded_ = 0;
};

}  // namespace velquin

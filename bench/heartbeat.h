#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace benchsupport {

// The longest time the main thread's event loop went without turning while something ran on it:
// a timer beats every `intervalMs` on the main thread and the largest gap between two beats (or
// between the last beat and stop()) is the longest stall. A gap includes the beat's own interval,
// so an idle loop shows about `intervalMs`.
class Heartbeat {
public:
    explicit Heartbeat(int intervalMs = 10) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { beat(); });
    }

    void start() {
        longest_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }

    // Stops beating; the longest gap in milliseconds.
    double stop() {
        beat();
        timer_.stop();
        return double(longest_) / 1e6;
    }

private:
    void beat() {
        const qint64 now = clock_.nsecsElapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

}  // namespace benchsupport

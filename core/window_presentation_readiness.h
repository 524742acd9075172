#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "base/raw_value.h"

// Decides once, from repeated samples of a freshly shown window, whether it is really presented
// (ready without a break for a short stable time) or failed to appear before the deadline.
namespace tamsel {

struct WindowPresentationSample {
    bool visible = false;
    bool onActiveSpace = false;  // on the current workspace
    bool unoccluded = false;     // no other window covers it

    bool ready() const { return visible && onActiveSpace && unoccluded; }

    bool operator==(const WindowPresentationSample& other) const = default;
};

class WindowPresentationReadiness {
public:
    enum class Outcome { waiting, ready, timedOut };

    // Throws std::invalid_argument unless both are finite and 0 < stableDuration < deadline.
    explicit WindowPresentationReadiness(double deadline = 2.5, double stableDuration = 0.12);

    // Feeds one sample taken `elapsed` seconds after the window was shown. `ready` and `timedOut`
    // are final.
    Outcome observe(const WindowPresentationSample& sample, double elapsed);

    Outcome outcome() const { return outcome_; }
    double deadline() const { return deadline_; }
    double stableDuration() const { return stableDuration_; }
    std::optional<double> readySince() const { return readySince_; }
    double previousTime() const { return previousTime_; }

private:
    Outcome outcome_ = Outcome::waiting;
    double deadline_;
    double stableDuration_;
    std::optional<double> readySince_;
    double previousTime_ = 0;
};

constexpr auto rawValueTable(WindowPresentationReadiness::Outcome) {
    using enum WindowPresentationReadiness::Outcome;
    return base::rawValues<WindowPresentationReadiness::Outcome>({{waiting, u"waiting"}, {ready, u"ready"},
        {timedOut, u"timedOut"}});
}

}  // namespace tamsel

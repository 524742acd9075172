#include "core/window_presentation_readiness.h"

#include <cmath>
#include <stdexcept>

namespace tamsel {

WindowPresentationReadiness::WindowPresentationReadiness(double deadline, double stableDuration)
    : deadline_(deadline), stableDuration_(stableDuration) {
    if (!std::isfinite(deadline) || !std::isfinite(stableDuration) || !(stableDuration > 0) ||
        !(stableDuration < deadline))
        throw std::invalid_argument("WindowPresentationReadiness needs finite 0 < stableDuration < deadline");
}

WindowPresentationReadiness::Outcome WindowPresentationReadiness::observe(const WindowPresentationSample& sample,
                                                                          double elapsed) {
    if (outcome_ != Outcome::waiting) return outcome_;
    if (!std::isfinite(elapsed) || elapsed < previousTime_) {
        readySince_.reset();
        return Outcome::waiting;
    }
    previousTime_ = elapsed;
    if (elapsed >= deadline_) {
        readySince_.reset();
        outcome_ = Outcome::timedOut;
        return outcome_;
    }
    if (!sample.ready()) {
        readySince_.reset();
        return Outcome::waiting;
    }
    if (!readySince_) readySince_ = elapsed;
    if (elapsed - *readySince_ >= stableDuration_) {
        outcome_ = Outcome::ready;
        return outcome_;
    }
    return Outcome::waiting;
}

}  // namespace tamsel

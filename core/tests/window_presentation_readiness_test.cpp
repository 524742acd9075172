#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "core/window_presentation_readiness.h"

using namespace tamsel;
using Outcome = WindowPresentationReadiness::Outcome;

namespace {
const WindowPresentationSample kReady{true, true, true};
const WindowPresentationSample kCovered{true, true, false};
}  // namespace

TEST(WindowPresentationReadiness, RefusesBadArguments) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> bad[] = {{2.5, 0}, {2.5, -0.1}, {0.1, 0.1}, {0.1, 0.2},
                                             {inf, 0.12}, {2.5, nan}, {nan, 0.12}};
    for (const auto& [deadline, stable] : bad)
        EXPECT_THROW(WindowPresentationReadiness(deadline, stable), std::invalid_argument) << deadline << " " << stable;
    const WindowPresentationReadiness defaults;
    EXPECT_EQ(defaults.deadline(), 2.5);
    EXPECT_EQ(defaults.stableDuration(), 0.12);
    EXPECT_EQ(defaults.outcome(), Outcome::waiting);
}

TEST(WindowPresentationReadiness, NeedsAnUnbrokenStableStretch) {
    EXPECT_FALSE((WindowPresentationSample{true, false, true}.ready()));
    WindowPresentationReadiness single;
    EXPECT_EQ(single.observe(kReady, 0.0), Outcome::waiting);

    WindowPresentationReadiness readiness;
    EXPECT_EQ(readiness.observe(kReady, 0.00), Outcome::waiting);
    EXPECT_EQ(readiness.observe(kReady, 0.05), Outcome::waiting);
    EXPECT_EQ(readiness.observe(kReady, 0.12), Outcome::ready);
    EXPECT_EQ(readiness.observe(kCovered, 0.2), Outcome::ready);  // final
    EXPECT_EQ(readiness.observe(kCovered, 5.0), Outcome::ready);

    WindowPresentationReadiness broken;
    broken.observe(kReady, 0.00);
    broken.observe(kReady, 0.10);
    EXPECT_EQ(broken.observe(kCovered, 0.11), Outcome::waiting);
    EXPECT_EQ(broken.readySince(), std::nullopt);
    EXPECT_EQ(broken.observe(kReady, 0.15), Outcome::waiting);
    EXPECT_EQ(broken.observe(kReady, 0.26), Outcome::waiting);
    EXPECT_EQ(broken.observe(kReady, 0.27), Outcome::ready);
}

TEST(WindowPresentationReadiness, DeadlineAndTimeGoingBackwards) {
    WindowPresentationReadiness late;
    late.observe(kReady, 2.40);
    EXPECT_EQ(late.observe(kReady, 2.5), Outcome::timedOut);
    EXPECT_EQ(late.observe(kReady, 2.6), Outcome::timedOut);  // final

    WindowPresentationReadiness never;
    EXPECT_EQ(never.observe(kCovered, 3.0), Outcome::timedOut);

    WindowPresentationReadiness backwards;
    backwards.observe(kReady, 0.30);
    EXPECT_EQ(backwards.observe(kReady, 0.20), Outcome::waiting);
    EXPECT_EQ(backwards.readySince(), std::nullopt);
    EXPECT_EQ(backwards.previousTime(), 0.30);
    EXPECT_EQ(backwards.observe(kReady, std::numeric_limits<double>::quiet_NaN()), Outcome::waiting);
    EXPECT_EQ(backwards.observe(kReady, std::numeric_limits<double>::infinity()), Outcome::waiting);
    EXPECT_EQ(backwards.previousTime(), 0.30);
    // The stretch starts again from the next accepted sample.
    EXPECT_EQ(backwards.observe(kReady, 0.35), Outcome::waiting);
    EXPECT_EQ(backwards.readySince(), 0.35);
    EXPECT_EQ(backwards.observe(kReady, 0.47), Outcome::ready);

}

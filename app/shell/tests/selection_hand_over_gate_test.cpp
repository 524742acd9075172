// The gate between the selection entry on the bus and select-anywhere: one hand-over at a time,
// never inside the caller's call, and of a flood only the latest.
#include <gtest/gtest.h>

#include <QTest>

#include "app/shell/selection_hand_over_gate.h"

using halvern::RefusedSelection;
using halvern::SelectionRefusal;
using halvern::SelectionRequest;
using velquin::SelectionHandOverGate;

TEST(SelectionHandOverGate, PassesOnTheFirstAtOnceAndOnlyTheLatestOfAFlood) {
    QList<SelectionHandOverGate::HandOver> delivered;
    SelectionHandOverGate gate([&](const SelectionHandOverGate::HandOver& handOver) { delivered.append(handOver); },
                               std::chrono::milliseconds(50));
    gate.submit(SelectionRequest{QStringLiteral("first"), tamsel::StudyMode::explain});
    EXPECT_TRUE(delivered.isEmpty());  // the caller has its answer before any work is done
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 1; }));

    for (int i = 0; i < 1000; ++i) gate.submit(SelectionRequest{QString::number(i), tamsel::StudyMode::translate});
    gate.submit(RefusedSelection{SelectionRefusal::tooLong, tamsel::StudyMode::explain});
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 2; }));
    EXPECT_EQ(std::get<RefusedSelection>(delivered[1]),
              (RefusedSelection{SelectionRefusal::tooLong, tamsel::StudyMode::explain}));
    EXPECT_EQ(gate.superseded(), 1000);

    gate.submit(SelectionRequest{QStringLiteral("later"), tamsel::StudyMode::practice});
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() == 3; }));
    EXPECT_EQ(std::get<SelectionRequest>(delivered[2]).text, QStringLiteral("later"));
}

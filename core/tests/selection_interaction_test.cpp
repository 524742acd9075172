#include <gtest/gtest.h>

#include <limits>

#include "core/selection_interaction.h"

using namespace tamsel;
using Phase = SelectionInteraction::Phase;
using Origin = SelectionInteraction::Origin;

namespace {

CapturedSelection selection(const QString& text, std::optional<qint32> pid = 42) {
    return CapturedSelection{text, QStringLiteral("Editor"), pid, false};
}

}  // namespace

TEST(SelectionInteraction, ReadLifecycleAndStaleEvents) {
    SelectionInteraction interaction;
    EXPECT_EQ(interaction.readStatus, QStringLiteral("尚未读取"));
    EXPECT_EQ(interaction.phase, Phase::idle);

    const qint64 first = interaction.beginRead(42, false);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(interaction.phase, Phase::waiting);
    EXPECT_EQ(interaction.sourcePID, 42);
    EXPECT_EQ(interaction.readStatus, QStringLiteral("等待选区稳定"));

    // Not marked as reading yet: a finished read is stale.
    EXPECT_FALSE(interaction.finishRead(first, selection(QStringLiteral("a")), true));
    EXPECT_FALSE(interaction.failRead(first, QStringLiteral("x"), true));
    EXPECT_EQ(interaction.phase, Phase::waiting);

    const qint64 second = interaction.beginRead(43, true);
    EXPECT_EQ(interaction.origin, Origin::manual);
    EXPECT_FALSE(interaction.markReading(first));
    ASSERT_TRUE(interaction.markReading(second));
    EXPECT_FALSE(interaction.markReading(second));  // only from waiting
    EXPECT_EQ(interaction.readStatus, QStringLiteral("AX 读取中"));
    EXPECT_EQ(interaction.readsStarted, 1);

    // A read of an earlier generation never lands, even in phase reading.
    const SelectionInteraction before = interaction;
    EXPECT_FALSE(interaction.finishRead(first, selection(QStringLiteral("old")), true));
    EXPECT_EQ(interaction, before);

    ASSERT_TRUE(interaction.finishRead(second, selection(QStringLiteral("new")), true));
    EXPECT_EQ(interaction.phase, Phase::icon);
    EXPECT_EQ(interaction.readStatus, QStringLiteral("读取成功"));
    EXPECT_EQ(interaction.readsSucceeded, 1);
    EXPECT_EQ(interaction.openFailureIcon(), std::nullopt);
    EXPECT_EQ(interaction.openIcon(), selection(QStringLiteral("new")));
    EXPECT_EQ(interaction.phase, Phase::result);
    EXPECT_EQ(interaction.openIcon(), std::nullopt);

    // Without an icon the result opens at once.
    const qint64 third = interaction.beginRead(44, false);
    interaction.markReading(third);
    ASSERT_TRUE(interaction.finishRead(third, selection(QStringLiteral("direct")), false));
    EXPECT_EQ(interaction.phase, Phase::result);
}

TEST(SelectionInteraction, FailedReadsKeepTheirMessage) {
    SelectionInteraction interaction;
    qint64 generation = interaction.beginRead(7, false);
    interaction.markReading(generation);
    ASSERT_TRUE(interaction.failRead(generation, QStringLiteral("没有文字"), false));
    EXPECT_EQ(interaction.phase, Phase::idle);
    EXPECT_EQ(interaction.failureMessage, QStringLiteral("没有文字"));
    EXPECT_EQ(interaction.readStatus, QStringLiteral("读取失败：没有文字"));
    EXPECT_EQ(interaction.readsFailed, 1);
    EXPECT_EQ(interaction.openFailureIcon(), std::nullopt);  // not offered as an icon

    generation = interaction.beginRead(7, false);
    EXPECT_EQ(interaction.failureMessage, std::nullopt);
    interaction.markReading(generation);
    ASSERT_TRUE(interaction.failRead(generation, QStringLiteral("超时"), true));
    EXPECT_EQ(interaction.phase, Phase::icon);
    EXPECT_EQ(interaction.openIcon(), std::nullopt);
    EXPECT_EQ(interaction.openFailureIcon(), QStringLiteral("超时"));
    EXPECT_EQ(interaction.phase, Phase::result);
    EXPECT_EQ(interaction.openFailureIcon(), std::nullopt);
}

TEST(SelectionInteraction, ResetsCountAndDescribeWhatWasPending) {
    SelectionInteraction interaction;
    // Idle: status untouched, nothing shown.
    EXPECT_FALSE(interaction.reset(QStringLiteral("r0")));
    EXPECT_EQ(interaction.readStatus, QStringLiteral("尚未读取"));
    EXPECT_EQ(interaction.generation, 1);

    interaction.beginRead(5, false);
    EXPECT_FALSE(interaction.reset(QStringLiteral("r1")));
    EXPECT_EQ(interaction.readStatus, QStringLiteral("等待已取消：r1"));
    EXPECT_EQ(interaction.readsCancelled, 0);
    EXPECT_EQ(interaction.sourcePID, std::nullopt);

    const qint64 generation = interaction.beginRead(5, false);
    interaction.markReading(generation);
    EXPECT_FALSE(interaction.reset(QStringLiteral("r2")));
    EXPECT_EQ(interaction.readStatus, QStringLiteral("已取消：r2"));
    EXPECT_EQ(interaction.readsCancelled, 1);
    EXPECT_FALSE(interaction.finishRead(generation, selection(QStringLiteral("late")), true));

    interaction.present(selection(QStringLiteral("shown")), Origin::service, true);
    EXPECT_EQ(interaction.readStatus, QStringLiteral("已取消：r2"));  // nothing was pending
    EXPECT_TRUE(interaction.reset(QStringLiteral("r3")));
    EXPECT_EQ(interaction.readStatus, QStringLiteral("已取消：r2"));
    EXPECT_EQ(interaction.origin, Origin::service);  // kept across a reset
    EXPECT_EQ(interaction.captured, std::nullopt);

    interaction.present(selection(QStringLiteral("shown")), Origin::preview, false);
    EXPECT_EQ(interaction.phase, Phase::result);
    EXPECT_TRUE(interaction.reset(QStringLiteral("r4")));

    // Beginning a new read over a pending one writes the reason "新的选区".
    interaction.beginRead(1, false);
    interaction.beginRead(2, false);
    EXPECT_EQ(interaction.readStatus, QStringLiteral("等待选区稳定"));
    interaction.markReading(interaction.generation);
    interaction.present(selection(QStringLiteral("p"), std::nullopt), Origin::service, true);
    EXPECT_EQ(interaction.readStatus, QStringLiteral("已取消：新的主动请求"));
    EXPECT_EQ(interaction.sourcePID, std::nullopt);
    EXPECT_EQ(interaction.origin, Origin::service);
    EXPECT_EQ(interaction.phase, Phase::icon);
}

TEST(SelectionInteraction, PauseAutomaticEndsOnlyAutomaticInteractions) {
    SelectionInteraction manual;
    manual.beginRead(9, true);
    const SelectionInteraction manualBefore = manual;
    EXPECT_FALSE(manual.pauseAutomatic());
    EXPECT_EQ(manual, manualBefore);

    SelectionInteraction service;
    service.present(selection(QStringLiteral("s")), Origin::service, true);
    EXPECT_FALSE(service.pauseAutomatic());
    EXPECT_EQ(service.phase, Phase::icon);

    SelectionInteraction automatic;
    const qint64 generation = automatic.beginRead(9, false);
    automatic.markReading(generation);
    automatic.finishRead(generation, selection(QStringLiteral("t")), true);
    const qint64 before = automatic.generation;
    EXPECT_TRUE(automatic.pauseAutomatic());
    EXPECT_EQ(automatic.phase, Phase::idle);
    EXPECT_GT(automatic.generation, before);

    automatic.beginRead(9, false);
    automatic.markReading(automatic.generation);
    EXPECT_FALSE(automatic.pauseAutomatic());
    EXPECT_EQ(automatic.readStatus, QStringLiteral("已取消：自动划词暂停"));
}

TEST(SelectionInteraction, DismissOnActivationRules) {
    const qint32 own = 100;
    SelectionInteraction idle;
    EXPECT_FALSE(idle.shouldDismissOnActivation(55, own, false, true));
    EXPECT_FALSE(idle.shouldDismissOnActivation(55, own, false, false));

    SelectionInteraction pending;
    pending.beginRead(42, false);
    struct Row { qint32 pid; bool isSystem; bool isProtected; bool expected; };
    const Row rows[] = {
        {42, false, true, true},     // protected wins even for the source
        {own, false, true, true},
        {own, false, false, false},  // the program itself
        {77, true, false, false},    // system interface
        {42, false, false, false},   // the source came back
        {77, false, false, true},    // another application
    };
    for (const Row& row : rows)
        EXPECT_EQ(pending.shouldDismissOnActivation(row.pid, own, row.isSystem, row.isProtected), row.expected)
            << row.pid;

    SelectionInteraction noSource;
    noSource.present(selection(QStringLiteral("x"), std::nullopt), Origin::service, false);
    EXPECT_FALSE(noSource.shouldDismissOnActivation(77, own, false, false));
    EXPECT_TRUE(noSource.shouldDismissOnActivation(77, own, false, true));
}

TEST(SelectionPlacement, PlacesRightAndBelowWithinTheVisibleArea) {
    // y grows upwards: "below the pointer" is a smaller y.
    EXPECT_EQ(SelectionPlacement::origin({500, 500}, 36, 36, 0, 0, 1440, 900), (SelectionPoint{512, 452}));
    // Near the right and top edges.
    EXPECT_EQ(SelectionPlacement::origin({1430, 2000}, 36, 36, 0, 0, 1440, 900), (SelectionPoint{1396, 856}));
    // Near the bottom-left corner the lower bounds hold.
    EXPECT_EQ(SelectionPlacement::origin({-50, 10}, 36, 36, 0, 0, 1440, 900), (SelectionPoint{8, 8}));
    // A screen narrower than width + 16: the lower bound wins.
    EXPECT_EQ(SelectionPlacement::origin({100, 100}, 360, 390, 0, 0, 300, 300), (SelectionPoint{8, 8}));
    // A second screen with an offset origin.
    EXPECT_EQ(SelectionPlacement::origin({1500, 100}, 360, 390, 1440, -200, 3360, 880),
              (SelectionPoint{1512, -192}));
}

TEST(SelectionPlacement, NonFiniteInputStillGivesAPointInsideTheArea) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // A pointer or a size that is not a number would otherwise slip through both clamps.
    EXPECT_EQ(SelectionPlacement::origin({nan, nan}, 36, 36, 0, 0, 1440, 900), (SelectionPoint{8, 8}));
    // (An unknown width leaves no upper bound to apply to x.)
    EXPECT_EQ(SelectionPlacement::origin({500, 500}, nan, nan, 0, 0, 1440, 900), (SelectionPoint{512, 8}));
    // Huge and infinite sizes and pointers end at the bounds.
    EXPECT_EQ(SelectionPlacement::origin({500, 500}, 1e308, inf, 0, 0, 1440, 900), (SelectionPoint{8, 8}));
    EXPECT_EQ(SelectionPlacement::origin({inf, -inf}, 36, 36, 0, 0, 1440, 900), (SelectionPoint{1396, 8}));
}

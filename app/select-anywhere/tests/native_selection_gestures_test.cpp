#include <gtest/gtest.h>

#include "app/select-anywhere/native_selection_gestures.h"

namespace velquin {
namespace {

using Event = halvern::SelectionMouseEvent;
using State = halvern::ShellPointer::State;
using Release = halvern::ShellPointer::Release;

// What the controller receives, one "type clicks x,y pid" each.
QStringList described(const QList<Event>& events) {
    QStringList lines;
    for (const Event& event : events)
        lines.append(QStringLiteral("%1 %2 %3,%4 %5")
                         .arg(event.type)
                         .arg(event.clickCount)
                         .arg(event.quartzX)
                         .arg(event.quartzY)
                         .arg(event.source.frontmostPID.value_or(0)));
    return lines;
}

TEST(NativeGestureTracker, SelectionChangesUnderAHeldButtonBecomeGestures) {
    struct Row {
        const char* name;
        QList<State> changes;  // the pointer at each selection change
        std::optional<Release> release;
        QStringList expected;
    };
    const QList<Row> rows{
        {"a drag: press at the first change, then drag and release where the button went up",
         {{{100, 200}, true, 42}, {{130, 200}, true, 42}},
         Release{true, {180, 204}, 42},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42"}},
        {"a selection made without moving is made by clicks",
         {{{100, 200}, true, 42}},
         Release{true, {101, 201}, 42},
         {"1 1 100,200 42", "2 2 101,201 42"}},
        {"the release names the window in front then; the press's when it names none",
         {{{100, 200}, true, 42}},
         Release{true, {300, 200}, 0},
         {"1 1 100,200 42", "6 0 300,200 42", "2 1 300,200 42"}},
        {"keyboard, select-all or a program setting the selection: no button held, no gesture",
         {{{100, 200}, false, 42}},
         std::nullopt,
         {}},
        {"a wait that ended with the button still held ends the gesture without a release",
         {{{100, 200}, true, 42}},
         Release{false, {900, 200}, 42},
         {"1 1 100,200 42"}},
    };
    const auto now = std::chrono::steady_clock::now();
    for (const Row& row : rows) {
        NativeGestureTracker tracker;
        QList<Event> events;
        for (const State& change : row.changes)
            if (const auto press = tracker.selectionChanged(change, now)) events.append(*press);
        if (row.release) events.append(tracker.released(*row.release, now));
        EXPECT_EQ(described(events), row.expected) << row.name;
        EXPECT_FALSE(tracker.inGesture() && row.release) << row.name;
        for (const Event& event : events) EXPECT_EQ(event.received, now) << row.name;
    }
}

TEST(NativeGestureTracker, WatchedPressesAreTheButtonGoingDownInANativeWindow) {
    struct Look {
        State state;
        bool native;
        bool press;
    };
    const Look looks[] = {
        {{{5, 5}, false, 42}, true, false},
        {{{10, 20}, true, 7}, true, true},
        {{{12, 20}, true, 7}, true, false},  // still held: the same press
        {{{12, 20}, false, 7}, true, false},
        {{{300, 20}, true, 9}, false, false},  // over an X window: the X monitor's
        {{{640, 900}, true, 7}, true, true},   // up and down between two looks, now over a native window
        {{{640, 900}, false, 7}, true, false},
        {{{12, 20}, true, 7}, true, true},
    };
    NativeGestureTracker tracker;
    const auto now = std::chrono::steady_clock::now();
    for (const Look& look : looks) {
        const auto press = tracker.pressWatched(look.state, look.native, now);
        EXPECT_EQ(press.has_value(), look.press) << look.state.position.x() << "," << look.state.position.y();
        if (press)
            EXPECT_EQ(described({*press}), QStringList{QStringLiteral("1 1 %1,%2 %3")
                                                           .arg(look.state.position.x())
                                                           .arg(look.state.position.y())
                                                           .arg(look.state.focusedProcess)});
    }
    // During a gesture its own press was delivered already.
    NativeGestureTracker gesture;
    ASSERT_TRUE(gesture.selectionChanged({{1, 1}, true, 7}, now));
    EXPECT_FALSE(gesture.pressWatched({{3, 1}, true, 7}, true, now));
}

}  // namespace
}  // namespace velquin

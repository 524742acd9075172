#include <gtest/gtest.h>

#include "app/select-anywhere/native_selection_gestures.h"

namespace velquin {
namespace {

using Event = halvern::SelectionMouseEvent;
using Button = halvern::ShellPointer::Button;
using State = halvern::ShellPointer::State;
using namespace std::chrono_literals;

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

// One thing that happens, at a time in milliseconds: the button ("down"/"up" at a place, over a
// native window of process 42 unless `x11`), a selection change (with the button held or not; to no
// native window's when `cleared`), or the tracker's timer.
struct Step {
    enum Kind { down, up, change, cleared, expire } kind;
    int ms = 0;
    QPoint place;
    bool heldOrX11 = false;  // a change: the extension says the button is held; a press: over an X window
    qint32 focused = 7;      // a change: the process the extension says has the keyboard focus
};

TEST(NativeGestureTracker, PressesAndReleasesWithTheSelectionChangingMakeGestures) {
    struct Row {
        const char* name;
        QList<Step> steps;
        QStringList expected;
    };
    const QList<Row> rows{
        {"a drag that changes the selection while held ends at the release",
         {{Step::down, 0, {100, 200}},
          {Step::change, 30, {}, true},
          {Step::change, 45, {}, true},
          {Step::up, 200, {180, 204}}},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42"}},
        {"a drag whose selection changes just after the release (Firefox)",
         {{Step::down, 0, {100, 200}}, {Step::up, 200, {180, 204}}, {Step::change, 215}},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42"}},
        {"a double click selecting as the second press goes down, and one selecting after it went up",
         {{Step::down, 0, {100, 200}},
          {Step::up, 60, {100, 200}},
          {Step::down, 150, {101, 201}},
          {Step::change, 160, {}, true},
          {Step::up, 210, {101, 201}},
          {Step::down, 2000, {300, 200}},
          {Step::up, 2060, {300, 200}},
          {Step::down, 2150, {300, 200}},
          {Step::up, 2210, {300, 200}},
          {Step::change, 2225}},
         {"1 1 100,200 42", "1 2 101,201 42", "2 2 101,201 42", "1 1 300,200 42", "1 2 300,200 42", "2 2 300,200 42"}},
        {"a click after which the selection changes is a click, which reads nothing",
         {{Step::down, 0, {100, 200}}, {Step::up, 60, {100, 200}}, {Step::change, 100}},
         {"1 1 100,200 42", "2 1 100,200 42"}},
        {"keyboard, select-all or a program setting the selection: no button, no gesture",
         {{Step::change, 0}, {Step::change, 5000}},
         {}},
        {"a selection changing well after the release is not that gesture's, which ends as a click where the press was",
         {{Step::down, 0, {100, 200}}, {Step::up, 200, {180, 204}}, {Step::change, 700}, {Step::expire, 710}},
         {"1 1 100,200 42", "2 1 100,200 42"}},
        {"a late change while the pressed program kept the focus is the gesture's, also after it ended as a click",
         {{Step::down, 0, {100, 200}},
          {Step::up, 200, {180, 204}},
          {Step::change, 700, {}, false, 42},
          {Step::down, 2000, {300, 200}},
          {Step::up, 2060, {300, 200}},
          {Step::down, 2150, {300, 200}},
          {Step::up, 2210, {300, 200}},
          {Step::expire, 2620},
          {Step::change, 2710, {}, false, 42},
          {Step::down, 4000, {300, 200}},
          {Step::up, 4060, {300, 200}},
          {Step::expire, 4470},
          {Step::change, 5600, {}, false, 42}},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42", "1 1 300,200 42", "1 2 300,200 42", "2 1 300,200 42",
          "1 2 300,200 42", "2 2 300,200 42", "1 1 300,200 42", "2 1 300,200 42"}},
        {"a change answered only after a busy bus delivered the drag's press: the drag's, not the click's before",
         {{Step::down, 0, {640, 900}},
          {Step::up, 60, {640, 900}},
          {Step::down, 1450, {100, 200}},
          {Step::change, 200, {}, true},
          {Step::up, 1600, {180, 204}}},
         {"1 1 640,900 42", "1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42"}},
        {"presses over X windows are the X monitor's and end what was pending",
         {{Step::down, 0, {100, 200}},
          {Step::up, 200, {180, 204}},
          {Step::down, 220, {600, 600}, true},
          {Step::up, 260, {600, 600}},
          {Step::change, 270}},
         {"1 1 100,200 42"}},
        {"an answer saying held, to a change told before the release, handed over after it: no new press",
         {{Step::down, 0, {100, 200}},
          {Step::change, 30, {}, true},
          {Step::up, 200, {180, 204}},
          {Step::change, 150, {}, true}},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42"}},
        {"a press giving the selection up (GTK) leaves its release to the drag's change, and to the timer",
         {{Step::down, 0, {100, 200}},
          {Step::cleared, 5, {}, true},
          {Step::up, 200, {180, 204}},
          {Step::change, 300},
          {Step::down, 2000, {300, 200}},
          {Step::cleared, 2005, {}, true},
          {Step::up, 2200, {380, 204}},
          {Step::cleared, 2210},
          {Step::expire, 2610}},
         {"1 1 100,200 42", "6 0 180,204 42", "2 1 180,204 42", "1 1 300,200 42", "2 1 300,200 42"}},
        {"held when the selection changed, but no press told: a press then",
         {{Step::change, 0, {}, true}, {Step::up, 100, {150, 200}}},
         {"1 1 5,6 7", "6 0 150,200 7", "2 1 150,200 7"}},
    };
    for (const Row& row : rows) {
        // Double clicks within 400 ms and 4 px.
        NativeGestureTracker tracker(halvern::PointerEventTranslator(400ms, 4));
        const auto start = std::chrono::steady_clock::now();
        QList<Event> events;
        for (const Step& step : row.steps) {
            const auto at = start + std::chrono::milliseconds(step.ms);
            switch (step.kind) {
            case Step::down:
            case Step::up:
                events.append(tracker.button(
                    Button{step.kind == Step::down, step.place, quint32(step.ms), 42, !step.heldOrX11}, at));
                break;
            case Step::change:
            case Step::cleared:
                events.append(tracker.selectionChanged(State{{5, 6}, step.heldOrX11, step.focused}, at,
                                                       step.kind == Step::change));
                break;
            case Step::expire: events.append(tracker.expire(at)); break;
            }
        }
        EXPECT_EQ(described(events), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace velquin

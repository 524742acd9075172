#include <gtest/gtest.h>

#include "platform/selection_mouse_event.h"
#include "tests/support/gui/fake_accessibility_tree.h"

using namespace halvern;
using namespace halvern::testing;
using Event = SelectionMouseEvent;

namespace {

X11PointerEvent press(int button, int x, int y, quint32 time) {
    return {X11PointerEvent::buttonPress, button, x, y, time, 0};
}
X11PointerEvent release(int button, int x, int y, quint32 time) {
    return {X11PointerEvent::buttonRelease, button, x, y, time, button == 1 ? 0x100u : 0u};
}
X11PointerEvent motion(int x, int y, quint32 time, unsigned state) {
    return {X11PointerEvent::motionNotify, 0, x, y, time, state};
}

}  // namespace

TEST(PointerEventTranslator, CountsClicksWithinTimeAndDistanceAndNotAfterADrag) {
    PointerEventTranslator translator(std::chrono::milliseconds(400), 5);
    auto down = translator.translate(press(1, 100, 100, 1000));
    EXPECT_EQ(down->type, Event::leftMouseDown);
    EXPECT_EQ(down->clickCount, 1);
    EXPECT_DOUBLE_EQ(down->timestamp, 1.0);
    EXPECT_EQ(translator.translate(release(1, 100, 100, 1050))->clickCount, 1);
    down = translator.translate(press(1, 103, 98, 1300));
    EXPECT_EQ(down->clickCount, 2);
    EXPECT_EQ(translator.translate(release(1, 103, 98, 1350))->type, Event::leftMouseUp);
    EXPECT_EQ(translator.translate(press(1, 103, 98, 1600))->clickCount, 3);
    translator.translate(release(1, 103, 98, 1650));
    // Too late, then too far.
    EXPECT_EQ(translator.translate(press(1, 103, 98, 2100))->clickCount, 1);
    translator.translate(release(1, 103, 98, 2150));
    EXPECT_EQ(translator.translate(press(1, 110, 98, 2200))->clickCount, 1);

    // A drag: motion with the button held, then a press right after is a new first click.
    EXPECT_EQ(translator.translate(motion(150, 98, 2250, 0x100))->type, Event::leftMouseDragged);
    const auto up = translator.translate(release(1, 150, 98, 2300));
    EXPECT_EQ(up->type, Event::leftMouseUp);
    EXPECT_EQ(up->clickCount, 1);
    EXPECT_EQ(translator.translate(press(1, 150, 98, 2350))->clickCount, 1);
}

TEST(PointerEventTranslator, TypesOtherButtonsAndMotion) {
    PointerEventTranslator translator(std::chrono::milliseconds(400), 5);
    EXPECT_EQ(translator.translate(press(3, 1, 1, 10))->type, Event::rightMouseDown);
    EXPECT_EQ(translator.translate(release(3, 1, 1, 20))->type, Event::rightMouseUp);
    EXPECT_EQ(translator.translate(press(2, 1, 1, 30))->type, Event::otherMouseDown);
    EXPECT_EQ(translator.translate(press(4, 1, 1, 40))->type, Event::scrollWheel);
    EXPECT_FALSE(translator.translate(release(4, 1, 1, 41)));
    EXPECT_EQ(translator.translate(motion(5, 5, 50, 0))->type, Event::mouseMoved);
    EXPECT_EQ(translator.translate(motion(5, 5, 50, 0x400))->type, Event::rightMouseDragged);
}

TEST(SelectionMouseEvent, AsksForTheFocusedApplicationOnlyWithoutAFrontmostOneAndNotForDragsOrScrolls) {
    // No display here: there is no frontmost application.
    FakeAccessibilitySystem system;
    auto application = system.element(QStringLiteral("focusedApp"), 321);
    system.systemWideElement();
    auto desktop = std::dynamic_pointer_cast<FakeElement>(system.systemWideElement());
    desktop->set(AccessibilityAttribute::focusedApplication, AccessibilityElementPtr(application));

    Event snapshot = Event::capture({Event::leftMouseUp, 12.5, 2}, system);
    EXPECT_EQ(snapshot.type, Event::leftMouseUp);
    EXPECT_DOUBLE_EQ(snapshot.timestamp, 12.5);
    EXPECT_EQ(snapshot.clickCount, 2);
    EXPECT_EQ(snapshot.source.focusedPID, 321);
    EXPECT_FALSE(snapshot.source.frontmostPID);
    EXPECT_FALSE(snapshot.source.hitPID);
    EXPECT_EQ(snapshot.source.reportedTargetPID, 0);
    EXPECT_EQ(snapshot.focusError, 0);
    EXPECT_EQ(desktop->lastTimeout(), std::chrono::milliseconds(80));

    for (const unsigned type : {unsigned(Event::leftMouseDragged), unsigned(Event::scrollWheel)}) {
        system.requests.clear();
        snapshot = Event::capture({type, 1, 3}, system);
        EXPECT_TRUE(system.requests.isEmpty());
        EXPECT_FALSE(snapshot.source.focusedPID);
        EXPECT_EQ(snapshot.clickCount, 0);
    }

    desktop->setReply(AccessibilityAttribute::focusedApplication,
                      AccessibilityReply::failed(accessibility_error::timedOut));
    snapshot = Event::capture({Event::rightMouseUp, 1, 1}, system);
    EXPECT_FALSE(snapshot.source.focusedPID);
    EXPECT_EQ(snapshot.focusError, accessibility_error::timedOut);
    EXPECT_EQ(snapshot.clickCount, 0);

    desktop->set(AccessibilityAttribute::focusedApplication, AccessibilityElementPtr(application));
    application->setProcessIdentifier(0);
    EXPECT_EQ(Event::focusedApplicationPID(system), std::nullopt);
    application->setProcessIdentifier(std::nullopt);
    EXPECT_EQ(Event::focusedApplicationPID(system), std::nullopt);
    application->setProcessIdentifier(77);
    EXPECT_EQ(Event::focusedApplicationPID(system), 77);
}

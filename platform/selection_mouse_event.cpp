#include "platform/selection_mouse_event.h"

#include <QGuiApplication>
#include <QStyleHints>

#include <cstdlib>

#include "platform/x11_windows.h"

#include <X11/X.h>

namespace halvern {

namespace {

std::optional<qint32> focusedApplication(AccessibilitySystem& system, int* error) {
    const AccessibilityElementPtr desktop = system.systemWideElement();
    desktop->setMessagingTimeout(SelectionMouseEvent::focusedApplicationTimeout);
    const AccessibilityReply reply = desktop->attribute(AccessibilityAttribute::focusedApplication);
    if (error) *error = reply.error;
    const AccessibilityElementPtr application = reply.element();
    if (!application) return std::nullopt;
    const std::optional<qint32> pid = application->processIdentifier();
    if (!pid || *pid <= 0) return std::nullopt;
    return pid;
}

}  // namespace

SelectionMouseEvent SelectionMouseEvent::capture(const PointerEvent& event, AccessibilitySystem& system) {
    SelectionMouseEvent snapshot;
    // The pointer now, not where the event happened. X11 root coordinates already have their
    // origin at the top left, as the accessibility hit test expects.
    if (const std::optional<QPoint> pointer = x11::pointerPosition()) {
        snapshot.quartzX = pointer->x();
        snapshot.quartzY = pointer->y();
    }
    snapshot.source.frontmostPID = x11::frontmostProcess();
    // The display server reports no target process for pointer events.
    snapshot.source.reportedTargetPID = 0;
    if (!snapshot.source.frontmostPID && event.type != leftMouseDragged && event.type != scrollWheel) {
        int error = 0;
        snapshot.source.focusedPID = focusedApplication(system, &error);
        snapshot.focusError = error;
    }
    snapshot.source.hitPID = std::nullopt;
    snapshot.hitError = 0;
    snapshot.clickCount = (event.type == leftMouseDown || event.type == leftMouseUp) ? event.clickCount : 0;
    snapshot.type = event.type;
    snapshot.timestamp = event.timestamp;
    snapshot.received = event.received;
    return snapshot;
}

std::optional<qint32> SelectionMouseEvent::focusedApplicationPID(AccessibilitySystem& system) {
    return focusedApplication(system, nullptr);
}

PointerEventTranslator::PointerEventTranslator(std::chrono::milliseconds doubleClickInterval, int doubleClickDistance)
    : interval_(doubleClickInterval), distance_(doubleClickDistance) {}

PointerEventTranslator PointerEventTranslator::fromDesktop() {
    const QStyleHints* hints = QGuiApplication::styleHints();
    return PointerEventTranslator(std::chrono::milliseconds(hints->mouseDoubleClickInterval()),
                                  hints->mouseDoubleClickDistance());
}

std::optional<SelectionMouseEvent::PointerEvent> PointerEventTranslator::translate(const X11PointerEvent& event) {
    using Event = SelectionMouseEvent;
    Event::PointerEvent result;
    result.timestamp = event.time / 1000.0;
    result.received = event.received;
    const auto near = [this](int x, int y) {
        return std::abs(x - pressX_) <= distance_ && std::abs(y - pressY_) <= distance_;
    };

    switch (event.type) {
    case X11PointerEvent::motionNotify:
        if (event.state & Button1Mask) {
            result.type = Event::leftMouseDragged;
            if (pressed_ && !near(event.rootX, event.rootY)) dragged_ = true;
        } else if (event.state & Button3Mask) {
            result.type = Event::rightMouseDragged;
        } else if (event.state & (Button2Mask | Button4Mask | Button5Mask)) {
            result.type = Event::otherMouseDragged;
        } else {
            result.type = Event::mouseMoved;
        }
        return result;
    case X11PointerEvent::buttonPress:
        switch (event.button) {
        case 1: {
            const bool continues = hasPress_ && !dragged_ && near(event.rootX, event.rootY) &&
                                   quint32(event.time - pressTime_) <= quint32(interval_.count());
            clicks_ = continues ? clicks_ + 1 : 1;
            hasPress_ = true;
            pressed_ = true;
            dragged_ = false;
            pressTime_ = event.time;
            pressX_ = event.rootX;
            pressY_ = event.rootY;
            result.type = Event::leftMouseDown;
            result.clickCount = clicks_;
            return result;
        }
        case 3: result.type = Event::rightMouseDown; return result;
        case 4: case 5: case 6: case 7: result.type = Event::scrollWheel; return result;
        default: result.type = Event::otherMouseDown; return result;
        }
    case X11PointerEvent::buttonRelease:
        switch (event.button) {
        case 1:
            pressed_ = false;
            if (!near(event.rootX, event.rootY)) dragged_ = true;
            result.type = Event::leftMouseUp;
            result.clickCount = hasPress_ ? clicks_ : 1;
            return result;
        case 3: result.type = Event::rightMouseUp; return result;
        case 4: case 5: case 6: case 7: return std::nullopt;
        default: result.type = Event::otherMouseUp; return result;
        }
    default: return std::nullopt;
    }
}

}  // namespace halvern

#pragma once

#include <chrono>
#include <optional>

#include "core/selection_source.h"
#include "platform/accessibility_element.h"
#include "platform/x11_record_monitor.h"

// The snapshot select-anywhere takes of one pointer event, at the moment it is delivered.
namespace halvern {

struct SelectionMouseEvent {
    // Event types, numbered as the select-anywhere gesture logic expects them.
    enum Type : unsigned {
        leftMouseDown = 1,
        leftMouseUp = 2,
        rightMouseDown = 3,
        rightMouseUp = 4,
        mouseMoved = 5,
        leftMouseDragged = 6,
        rightMouseDragged = 7,
        scrollWheel = 22,
        otherMouseDown = 25,
        otherMouseUp = 26,
        otherMouseDragged = 27,
    };

    // A pointer event as the monitor reports it.
    struct PointerEvent {
        unsigned type = mouseMoved;
        double timestamp = 0;  // seconds, from the display server's clock
        int clickCount = 0;    // for button presses and releases
        std::chrono::steady_clock::time_point received{};  // when the monitor received it; unset when unknown
    };

    static constexpr std::chrono::milliseconds focusedApplicationTimeout{80};

    unsigned type = mouseMoved;
    double timestamp = 0;
    double quartzX = 0;  // pointer position now, screen coordinates, origin top left
    double quartzY = 0;
    int clickCount = 0;  // left button down or up only; 0 otherwise
    tamsel::SelectionEventSource source;
    qint32 hitError = 0;    // no hit test is made: always 0
    qint32 focusError = 0;  // of the focused-application request; 0 when none was made
    // When the monitor received the event, before it waited for the main thread; unset when unknown.
    std::chrono::steady_clock::time_point received{};

    bool operator==(const SelectionMouseEvent& other) const = default;

    // Builds the snapshot on the main thread: the pointer position now, the frontmost
    // application, and, only when there is none and the event is neither a left drag nor a
    // scroll, the application with the accessibility focus (bounded by 0.08 s).
    static SelectionMouseEvent capture(const PointerEvent& event,
                                       AccessibilitySystem& system = AccessibilitySystem::standard());
    // The process of the application with the accessibility focus, or nothing (never 0).
    static std::optional<qint32> focusedApplicationPID(AccessibilitySystem& system = AccessibilitySystem::standard());
};

// Turns the display's button and motion events into typed pointer events and counts clicks: a
// press of the left button continues a run of clicks when it comes within the double-click time
// and distance of the previous press and the pointer was not dragged in between.
class PointerEventTranslator {
public:
    PointerEventTranslator(std::chrono::milliseconds doubleClickInterval, int doubleClickDistance);
    // With the desktop's own double-click time and distance.
    static PointerEventTranslator fromDesktop();

    // Nothing for events that carry no pointer event (the release of a wheel button).
    std::optional<SelectionMouseEvent::PointerEvent> translate(const X11PointerEvent& event);

private:
    std::chrono::milliseconds interval_;
    int distance_;
    bool pressed_ = false;
    bool dragged_ = false;
    int clicks_ = 0;
    quint32 pressTime_ = 0;
    int pressX_ = 0;
    int pressY_ = 0;
    bool hasPress_ = false;
};

}  // namespace halvern

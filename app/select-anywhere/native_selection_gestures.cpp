#include "app/select-anywhere/native_selection_gestures.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineF>
#include <QPointer>

#include "app/select-anywhere/direct_selection_controller.h"
#include "platform/x11_windows.h"

namespace velquin {

namespace {

using Event = halvern::SelectionMouseEvent;
using halvern::ShellPointer;

Event pointerEvent(Event::Type type, QPoint position, qint32 process, int clicks,
                   std::chrono::steady_clock::time_point now) {
    Event event;
    event.type = type;
    event.quartzX = position.x();
    event.quartzY = position.y();
    event.clickCount = clicks;
    // The window with the keyboard focus is the one the person works in; 0 is no process.
    if (process > 0) event.source.frontmostPID = process;
    event.received = now;
    event.timestamp = std::chrono::duration<double>(now.time_since_epoch()).count();
    return event;
}

// Whether the pointer is over a native window: the X pointer stays where it last was over an X
// window, which the X RECORD monitor watches itself.
bool overNativeWindow(QPoint shellPosition) {
    const std::optional<QPoint> x = halvern::x11::pointerPosition();
    return !x || *x != shellPosition;
}

}  // namespace

// ---- The tracker --------------------------------------------------------------------------------------

std::optional<Event> NativeGestureTracker::selectionChanged(const ShellPointer::State& state, Clock::time_point now) {
    if (press_ || !state.leftHeld) return std::nullopt;
    press_ = state.position;
    pressProcess_ = state.focusedProcess;
    heldAtLastLook_ = true;
    return pointerEvent(Event::leftMouseDown, state.position, state.focusedProcess, 1, now);
}

QList<Event> NativeGestureTracker::released(const ShellPointer::Release& release, Clock::time_point now) {
    const std::optional<QPoint> press = std::exchange(press_, std::nullopt);
    heldAtLastLook_ = false;
    if (!press || !release.released) return {};
    const qint32 process = release.focusedProcess > 0 ? release.focusedProcess : pressProcess_;
    if (QLineF(*press, release.position).length() >= DirectSelectionController::dragDistance)
        return {pointerEvent(Event::leftMouseDragged, release.position, process, 0, now),
                pointerEvent(Event::leftMouseUp, release.position, process, 1, now)};
    return {pointerEvent(Event::leftMouseUp, release.position, process, 2, now)};
}

std::optional<Event> NativeGestureTracker::pressWatched(const ShellPointer::State& state, bool overNativeWindow,
                                                        Clock::time_point now) {
    // A button held over a native window that was held over an X window at the last look went up and
    // down again in between (the looks are some milliseconds apart): a press too.
    const bool pressed = state.leftHeld && (!heldAtLastLook_ || (overNativeWindow && !nativeAtLastLook_));
    heldAtLastLook_ = state.leftHeld;
    nativeAtLastLook_ = overNativeWindow;
    if (!pressed || !overNativeWindow || press_) return std::nullopt;
    return pointerEvent(Event::leftMouseDown, state.position, state.focusedProcess, 1, now);
}

// ---- The driver ---------------------------------------------------------------------------------------

NativeSelectionGestures::NativeSelectionGestures(ShellPointer& shell, std::function<void(const Event&)> handler)
    : shell_(shell), handler_(std::move(handler)) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Selection) selectionChanged();
        });
    pressTimer_.setInterval(pressInterval);
    connect(&pressTimer_, &QTimer::timeout, this, &NativeSelectionGestures::lookForPress);
}

NativeSelectionGestures::~NativeSelectionGestures() = default;

void NativeSelectionGestures::watchPresses(bool on) {
    if (on && !pressTimer_.isActive()) pressTimer_.start();
    if (!on) pressTimer_.stop();
}

void NativeSelectionGestures::selectionChanged() {
    // A native window's selection reaches PRIMARY through the compositor while no X window is
    // active; an X window's selection is the X RECORD monitor's gesture.
    if (tracker_.inGesture() || !shell_.isActive() || halvern::x11::activeWindow()) return;
    QPointer<NativeSelectionGestures> guard(this);
    shell_.askState([guard](std::optional<ShellPointer::State> state) {
        if (!guard || !state) return;
        const std::optional<Event> press = guard->tracker_.selectionChanged(*state, std::chrono::steady_clock::now());
        if (!press) return;
        guard->handler_(*press);
        guard->shell_.waitForRelease([guard](std::optional<ShellPointer::Release> release) {
            if (!guard) return;
            const QList<Event> events =
                guard->tracker_.released(release.value_or(ShellPointer::Release{}), std::chrono::steady_clock::now());
            for (const Event& event : events) guard->handler_(event);
        });
    });
}

void NativeSelectionGestures::lookForPress() {
    if (asking_ || tracker_.inGesture() || !shell_.isActive()) return;
    asking_ = true;
    QPointer<NativeSelectionGestures> guard(this);
    shell_.askState([guard](std::optional<ShellPointer::State> state) {
        if (!guard) return;
        guard->asking_ = false;
        if (!state) return;
        std::optional<Event> press =
            guard->tracker_.pressWatched(*state, overNativeWindow(state->position), std::chrono::steady_clock::now());
        if (!press) return;
        // A press in a native window while this program's panel has the focus: the shell moves the
        // focus to that window as it handles the press, maybe after it answered.
        if (state->focusedProcess != qint32(QCoreApplication::applicationPid())) {
            guard->handler_(*press);
            return;
        }
        guard->asking_ = true;
        QTimer::singleShot(focusDelay, guard, [guard, press = *press]() mutable {
            guard->shell_.askState([guard, press](std::optional<ShellPointer::State> later) mutable {
                if (!guard) return;
                guard->asking_ = false;
                if (later && later->focusedProcess > 0) press.source.frontmostPID = later->focusedProcess;
                guard->handler_(press);
            });
        });
    });
}

}  // namespace velquin

#include "app/select-anywhere/native_selection_gestures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineF>
#include <QPointer>

#include <memory>

#include "app/select-anywhere/direct_selection_controller.h"
#include "platform/x11_windows.h"

#include <X11/X.h>

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
    // The window the button went down in is the one the person works in; 0 is no process.
    if (process > 0) event.source.frontmostPID = process;
    event.received = now;
    event.timestamp = std::chrono::duration<double>(now.time_since_epoch()).count();
    return event;
}

halvern::X11PointerEvent translated(int type, QPoint place, quint32 time) {
    halvern::X11PointerEvent event;
    event.type = type;
    event.button = type == halvern::X11PointerEvent::motionNotify ? 0 : 1;
    event.state = type == halvern::X11PointerEvent::motionNotify ? Button1Mask : 0;
    event.rootX = place.x();
    event.rootY = place.y();
    event.time = time;
    return event;
}

}  // namespace

// ---- The tracker --------------------------------------------------------------------------------------

NativeGestureTracker::NativeGestureTracker(halvern::PointerEventTranslator clicks) : clicks_(std::move(clicks)) {}

QList<Event> NativeGestureTracker::button(const ShellPointer::Button& button, Clock::time_point now) {
    using halvern::X11PointerEvent;
    lastButton_ = now;
    if (button.pressed) {
        // Counted wherever it went, so that a press elsewhere breaks a run of clicks.
        const auto press = clicks_.translate(translated(X11PointerEvent::buttonPress, button.position, button.time));
        released_.reset();
        expired_.reset();
        held_.reset();
        // Presses over X windows, this program's among them, are the X RECORD monitor's.
        if (!button.nativeWindow) return {};
        held_ = Press{button.position, button.windowProcess, press ? press->clickCount : 1, false};
        return {pointerEvent(Event::leftMouseDown, button.position, button.windowProcess, held_->clicks, now)};
    }
    // The motion between press and release is not told: a release away from the press moved.
    if (held_ && held_->place != button.position)
        clicks_.translate(translated(X11PointerEvent::motionNotify, button.position, button.time));
    clicks_.translate(translated(X11PointerEvent::buttonRelease, button.position, button.time));
    expired_.reset();
    const std::optional<Press> press = std::exchange(held_, std::nullopt);
    if (!press) return {};
    if (press->changed) return ended(*press, button.position, now);
    released_ = Release{*press, button.position, now};
    return {};
}

QList<Event> NativeGestureTracker::selectionChanged(const ShellPointer::State& state, Clock::time_point now,
                                                    bool given) {
    // A selection given up is no gesture's: ending a press's release on it would read before the
    // program selected what the drag went over.
    if (!given) return {};
    if (held_) {
        held_->changed = true;
        return {};
    }
    if (released_ && now - released_->at <= releaseWindow) {
        const Release release = *std::exchange(released_, std::nullopt);
        return ended(release.press, release.place, now);
    }
    const auto late = [&](const std::optional<Release>& release) {
        return release && now - release->at <= lateChangeWindow && state.focusedProcess == release->press.process;
    };
    if (late(released_)) {
        const Release release = *std::exchange(released_, std::nullopt);
        return ended(release.press, release.place, now);
    }
    if (late(expired_)) {
        const Release release = *std::exchange(expired_, std::nullopt);
        return QList<Event>{pointerEvent(Event::leftMouseDown, release.press.place, release.press.process,
                                         release.press.clicks, now)} +
               ended(release.press, release.place, now);
    }
    // An answer about a change told before the last button event is older than that event, though a
    // busy program can be handed the answer after it (seen as a release ended a drag): the event holds.
    if (!state.leftHeld || (lastButton_ && *lastButton_ > now)) return {};
    // Held, but no press was told (the extension started watching meanwhile): it is one now.
    held_ = Press{state.position, state.focusedProcess, 1, true};
    return {pointerEvent(Event::leftMouseDown, state.position, state.focusedProcess, 1, now)};
}

QList<Event> NativeGestureTracker::expire(Clock::time_point now) {
    if (!released_ || now - released_->at <= releaseWindow) return {};
    const Release release = *std::exchange(released_, std::nullopt);
    expired_ = release;
    // No selection came of it: whatever the clicks and the motion were, it ends as a single click, so
    // that an older selection is not read for it.
    return {pointerEvent(Event::leftMouseUp, release.press.place, release.press.process, 1, now)};
}

QList<Event> NativeGestureTracker::ended(const Press& press, QPoint place, Clock::time_point now) const {
    if (QLineF(press.place, place).length() >= DirectSelectionController::dragDistance)
        return {pointerEvent(Event::leftMouseDragged, place, press.process, 0, now),
                pointerEvent(Event::leftMouseUp, place, press.process, press.clicks, now)};
    return {pointerEvent(Event::leftMouseUp, place, press.process, press.clicks, now)};
}

// ---- The driver ---------------------------------------------------------------------------------------

NativeSelectionGestures::NativeSelectionGestures(ShellPointer& shell, std::function<void(const Event&)> handler)
    : shell_(shell), handler_(std::move(handler)) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Selection) selectionChanged();
        });
    connect(&shell_, &ShellPointer::button, this, [this](const ShellPointer::Button& button) {
        deliver(tracker_.button(button, std::chrono::steady_clock::now()));
        if (tracker_.awaitsSelection()) releaseTimer_.start();
    });
    releaseTimer_.setSingleShot(true);
    // A little past the window, so that the tracker finds it passed. A coarse timer may fire up to 5 %
    // early, inside the window: the tracker would keep the release, and no later event would end it.
    releaseTimer_.setTimerType(Qt::PreciseTimer);
    releaseTimer_.setInterval(NativeGestureTracker::releaseWindow + std::chrono::milliseconds(10));
    connect(&releaseTimer_, &QTimer::timeout, this, [this] {
        // A change in time may still be on its way through the question about it.
        if (asking_ > 0) {
            releaseTimer_.start();
            return;
        }
        deliver(tracker_.expire(std::chrono::steady_clock::now()));
    });
    shell_.watch(true);
}

NativeSelectionGestures::~NativeSelectionGestures() { shell_.watch(false); }

void NativeSelectionGestures::deliver(const QList<Event>& events) {
    for (const Event& event : events) handler_(event);
}

void NativeSelectionGestures::selectionChanged() {
    // A native window's selection reaches PRIMARY through the compositor while no X window is
    // active; an X window's selection is the X RECORD monitor's gesture. The shell is asked at once
    // which process set a native one, for the read that may follow.
    const bool native = shell_.isActive() && !halvern::x11::activeWindow();
    if (tracker_.changedWhileHeld() || !native) {
        shell_.notePrimaryChange(native);
        return;
    }
    QPointer<NativeSelectionGestures> guard(this);
    const auto changed = std::chrono::steady_clock::now();
    // Both answers come after every button event the extension told before them: the press or the
    // release that preceded this change is known by then, however late the bus delivers them. With
    // no answer, what is known decides, a button held without a press told is not guessed, and a
    // source not told counts as one.
    struct Answers {
        std::optional<std::optional<qint32>> source;
        std::optional<std::optional<ShellPointer::State>> state;
    };
    auto answers = std::make_shared<Answers>();
    const auto decide = [guard, answers, changed] {
        if (!guard || !answers->source || !answers->state) return;
        --guard->asking_;
        const std::optional<qint32> source = *answers->source;
        guard->deliver(guard->tracker_.selectionChanged(answers->state->value_or(ShellPointer::State{}), changed,
                                                        source.value_or(1) > 0));
    };
    ++asking_;
    shell_.notePrimaryChange(true, [answers, decide](std::optional<qint32> source) {
        answers->source = source;
        decide();
    });
    shell_.askState([answers, decide](std::optional<ShellPointer::State> state) {
        answers->state = state;
        decide();
    });
}

}  // namespace velquin

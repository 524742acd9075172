#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

#include "platform/selection_mouse_event.h"
#include "platform/shell_pointer.h"

// Gestures in native Wayland windows, which the X RECORD monitor never sees. The shell extension
// tells each press and release of the left button; the compositor passes a native window's
// selection on to the X PRIMARY selection as it changes. A press and its release make a gesture when
// the selection changed while the button was held (GTK, Chromium) or just after it went up (Firefox
// sets it a few milliseconds after the release). They become the same pointer events the X11 monitor
// delivers, so the one controller reads gestures from either.
namespace velquin {

class NativeGestureTracker {
public:
    using Event = halvern::SelectionMouseEvent;
    using Clock = std::chrono::steady_clock;

    // How long after a release a selection change is still that gesture's. Firefox ESR changes it
    // 5 ms after the release at the median, 13 ms at the 95th percentile; on a machine loaded twice
    // over, 30 ms and 100 ms, at most 258 ms (60 gestures each).
    static constexpr std::chrono::milliseconds releaseWindow{400};
    // A change later than that (a loaded machine: 500 ms seen with Firefox) is still the gesture's
    // when the pressed program has kept the keyboard focus and no button event came since; the
    // release has ended as a click by then, so the gesture is told anew from its press.
    static constexpr std::chrono::milliseconds lateChangeWindow{1500};

    explicit NativeGestureTracker(
        halvern::PointerEventTranslator clicks = halvern::PointerEventTranslator::fromDesktop());

    // A press or release of the left button. Every press in a native window is delivered at once (it
    // ends what is shown, as a press does on X11); its release waits for the selection.
    QList<Event> button(const halvern::ShellPointer::Button& button, Clock::time_point now);
    // The selection of a native window changed at `now`; `state` is the extension's answer, given
    // after every button event it sent before (none held when it did not answer). `given` is false
    // when the extension said no native window holds the selection now: it was given up, as GTK does
    // as a press goes down, which selects nothing yet.
    QList<Event> selectionChanged(const halvern::ShellPointer::State& state, Clock::time_point now, bool given = true);
    // A release whose window passed with no selection change ends as a click, which reads nothing.
    QList<Event> expire(Clock::time_point now);
    // Whether the selection's changes are this press's already: no need to ask about more.
    bool changedWhileHeld() const { return held_ && held_->changed; }
    bool awaitsSelection() const { return released_.has_value(); }

private:
    struct Press {
        QPoint place;
        qint32 process = 0;
        int clicks = 1;
        bool changed = false;
    };
    struct Release {
        Press press;
        QPoint place;
        Clock::time_point at;
    };

    QList<Event> ended(const Press& press, QPoint place, Clock::time_point now) const;

    halvern::PointerEventTranslator clicks_;
    std::optional<Press> held_;
    std::optional<Release> released_;
    std::optional<Release> expired_;  // a release that ended as a click, while a late change may come
    std::optional<Clock::time_point> lastButton_;
};

// Feeds the tracker from the shell extension's button events and the X PRIMARY selection's owner
// changes, and hands its events on. Lives on the main thread while the global monitor runs; the
// extension sends button events only while it does.
class NativeSelectionGestures : public QObject {
    Q_OBJECT
public:
    NativeSelectionGestures(halvern::ShellPointer& shell,
                            std::function<void(const halvern::SelectionMouseEvent&)> handler);
    ~NativeSelectionGestures() override;

private:
    void selectionChanged();
    void deliver(const QList<halvern::SelectionMouseEvent>& events);

    halvern::ShellPointer& shell_;
    std::function<void(const halvern::SelectionMouseEvent&)> handler_;
    NativeGestureTracker tracker_;
    QTimer releaseTimer_;
    int asking_ = 0;  // questions about selection changes not answered yet
};

}  // namespace velquin

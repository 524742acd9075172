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

// Gestures in native Wayland windows, which the X RECORD monitor never sees. The compositor passes
// a native window's selection on to the X PRIMARY selection as it changes; a change while the left
// button is held (the shell extension tells) is a gesture's press, and the release the extension
// waits for ends it. Both become the same pointer events the X11 monitor delivers, so the one
// controller reads gestures from either.
namespace velquin {

class NativeGestureTracker {
public:
    using Event = halvern::SelectionMouseEvent;
    using Clock = std::chrono::steady_clock;

    // The selection of a native window changed with the pointer in `state`: the press of a gesture
    // when the left button is held and no gesture is under way.
    std::optional<Event> selectionChanged(const halvern::ShellPointer::State& state, Clock::time_point now);
    // The end of the wait for the release: the drag, when the pointer moved from the press, and the
    // release. A selection made without moving was made by clicks (a double or triple click). Nothing
    // when the wait ended before the button went up.
    QList<Event> released(const halvern::ShellPointer::Release& release, Clock::time_point now);
    // A press in a native window seen while presses are watched: when the button went down since the
    // last look. Presses over X windows are the X RECORD monitor's.
    std::optional<Event> pressWatched(const halvern::ShellPointer::State& state, bool overNativeWindow,
                                      Clock::time_point now);
    bool inGesture() const { return press_.has_value(); }

private:
    std::optional<QPoint> press_;
    qint32 pressProcess_ = 0;
    bool heldAtLastLook_ = false;
    bool nativeAtLastLook_ = true;
};

// Feeds the tracker from the X PRIMARY selection's owner changes and the shell extension, and hands
// its events on. Lives on the main thread while the global monitor runs.
class NativeSelectionGestures : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds pressInterval{25};
    // How long after a press the focused window is asked again when it was still this program's.
    static constexpr std::chrono::milliseconds focusDelay{40};

    NativeSelectionGestures(halvern::ShellPointer& shell,
                            std::function<void(const halvern::SelectionMouseEvent&)> handler);
    ~NativeSelectionGestures() override;

    // Looks for presses in native windows while on: something is shown that a press dismisses.
    void watchPresses(bool on);

private:
    void selectionChanged();
    void lookForPress();

    halvern::ShellPointer& shell_;
    std::function<void(const halvern::SelectionMouseEvent&)> handler_;
    NativeGestureTracker tracker_;
    QTimer pressTimer_;
    bool asking_ = false;
};

}  // namespace velquin

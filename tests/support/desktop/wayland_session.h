#pragma once

// What desktop tests on a Wayland session (scripts/wayland-session, headless mutter with XWayland)
// need beyond the X display: input into native Wayland windows, which XTEST on the XWayland display
// never reaches, and a native program holding a selection.

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <optional>

namespace orveltest {

// Virtual input devices of the compositor (mutter's remote-desktop interface on the session bus):
// keys go to the window with the keyboard focus, native or X11. The session lasts while this lives.
class CompositorInput {
public:
    CompositorInput();
    ~CompositorInput();
    CompositorInput(const CompositorInput&) = delete;
    CompositorInput& operator=(const CompositorInput&) = delete;

    bool isStarted() const { return started_; }
    // Presses and releases the keys (X keysyms) in order, then releases them in reverse, as a chord.
    bool chord(std::initializer_list<unsigned> keysyms);

private:
    bool call(const QString& method, const QVariantList& arguments = {});

    QDBusConnection bus_;
    QString session_;
    bool started_ = false;
};

// A native Wayland GTK program (zenity's entry dialog) showing `text`, all of it selected through
// the compositor's keyboard, so that it holds the Wayland primary selection (which mutter mirrors
// into the X PRIMARY selection).
class NativeSelection {
public:
    explicit NativeSelection(const QString& text);
    ~NativeSelection();

    // Whether the program runs and the X PRIMARY selection changed owner after the selection.
    bool selected() const { return selected_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    CompositorInput input_;
    bool selected_ = false;
};

// Counts the times a window takes the X PRIMARY selection on the session's X display, from its making on.
class PrimaryClaims {
public:
    PrimaryClaims();
    ~PrimaryClaims();
    PrimaryClaims(const PrimaryClaims&) = delete;
    PrimaryClaims& operator=(const PrimaryClaims&) = delete;

    int count();

private:
    void* display_ = nullptr;
    int eventBase_ = 0;
    int count_ = 0;
};

// The owner window of the X PRIMARY selection on the session's X display (0: none).
unsigned long primarySelectionOwner();
// The text of the X PRIMARY selection as another X11 program gets it; empty when there is none.
QString primarySelectionText(int timeoutMs = 3000);

}  // namespace orveltest

#pragma once

#include <QPoint>
#include <QString>

#include <chrono>
#include <optional>

// Questions about the X11 desktop asked on this program's own display connection (Qt's):
// which window is active and whose it is, who owns a selection, how a window is classed, and
// the synthetic copy keystroke. Every answer is empty without an X11 display. The questions may be
// asked on any thread (another thread asks over a display connection of its own); what changes
// Qt's connection or watches its events is for the main thread only, as each says.
namespace halvern::x11 {

using WindowId = quint64;

// Whether this program runs on an X11 display.
bool available();

// The owner window of the CLIPBOARD and PRIMARY selections; 0 when none.
WindowId clipboardOwner();
WindowId primaryOwner();
// Whether this program's display connection (Qt's) made the window.
bool madeByThisProgram(WindowId window);

// A window of this program's own, never shown, made on first use: a change of one of its properties
// comes back to Qt as an event stamped with the server's time. 0 without X11. Main thread only.
WindowId timeProbeWindow();
// Changes a property of that window (appending nothing), so that its event follows; false without X11.
// Main thread only.
bool requestServerTime();

// The window the user works in: the desktop's _NET_ACTIVE_WINDOW, or, where no window manager
// keeps it, the top-level window holding the input focus.
std::optional<WindowId> activeWindow();
// The process of the active window.
std::optional<qint32> frontmostProcess();

// The process that made a window, as the display server names the client that made it (the
// X-Resource extension's client ids), whatever properties the window carries: nothing for a client
// the server cannot name (one of another machine) or a window of the server's own. One round trip.
std::optional<qint32> windowProcess(WindowId window);
// Whether the process made the window, in that sense.
bool windowBelongsToProcess(WindowId window, qint32 processIdentifier);

// Whether a window of the process the display server names (the window itself, its top-level window,
// or a managed top-level window of the process) shows a program that runs elsewhere: one behind a
// relay of the display connection (ssh -X, a proxy, a viewer, whatever it is called), or on another
// machine. See drawnElsewhere.
bool shownFromElsewhere(qint32 processIdentifier, WindowId window = 0);

// What a window says of the program that drew it, as that program wrote it: the process of its
// _NET_WM_PID (0 where the property holds no single 32-bit number; nothing without the property) and
// its WM_CLIENT_MACHINE.
struct WindowClaims {
    std::optional<quint32> processIdentifier;
    QByteArray clientMachine;
};
// Whether a window whose client the server names as the process with `processIdentifiers` (its ids in
// each of its pid namespaces; empty where it has ended) was drawn elsewhere. A window naming a process
// that is none of them was drawn by a program behind a relay, whose process the server named instead.
// A window naming another host than `hostName` or localhost is another machine's, unless the process
// has a host name of its own (`hostOfItsOwn`: it runs in a UTS namespace other than this program's,
// as a container's programs do). What a window names can only refuse it, never make it readable.
bool drawnElsewhere(const WindowClaims& window, const QList<qint32>& processIdentifiers, const QByteArray& hostName,
                    bool hostOfItsOwn);
// Whether a WM_CLIENT_MACHINE names the host `hostName`: the same name, or one the other's first label
// (a short name beside the full one), in any case.
bool namesHost(const QByteArray& clientMachine, const QByteArray& hostName);

// Whether the window manager made the window: its display connection, or another of its process
// (under a Wayland compositor, the window through which it passes a native window's selection on to
// X11).
bool madeByWindowManager(WindowId window);

// The class of WM_CLASS, lower-cased; empty when unset.
QString windowClass(WindowId window);
// The class of WM_CLASS as the program wrote it ("XTerm", "Chromium"): the name shown for the
// application. Empty when unset.
QString applicationName(WindowId window);
// A managed top-level window the process made, the active one first; nothing when it has none.
std::optional<WindowId> windowOfProcess(qint32 processIdentifier);
// The atom of _NET_ACTIVE_WINDOW, whose changes on the root window tell that another window
// became active; and asks the display to report property changes of the root window to this
// program. 0 without an X11 display. Main thread only.
unsigned long watchActiveWindow();
// Whether the window is a terminal emulator's, where Ctrl+C interrupts the running program.
bool isTerminalWindow(WindowId window);
// The identifier of the application owning a window: its desktop-file id without ".desktop",
// else the class of its WM_CLASS, lower-cased.
QString applicationIdentifier(WindowId window);

// Sends Ctrl+C to the active window through XTest when it belongs to the process and is not a
// terminal: first releases modifier keys still held, so that they do not combine with Ctrl.
// False when no key was sent. Main thread only.
bool postCopyKeystroke(qint32 processIdentifier);

// The text of the PRIMARY selection, asked of its owner on a display connection of this call's own
// (so any thread may ask) and stamped with the current time: owners built on the X toolkit, such
// as xterm, refuse a request stamped earlier than their selection, and this program sees none of
// the events that make a selection in another window. Nothing when there is no owner, it does not
// answer within `timeout`, offers no text, or sends it in pieces (far more than a selection read
// takes). With an `owner`, only that window's: nothing when another owns PRIMARY before or after
// the transfer (what was asked of it may have been another program's selection).
std::optional<QString> primarySelectionText(std::chrono::milliseconds timeout, WindowId owner = 0);

// The pointer's position on the root window now.
std::optional<QPoint> pointerPosition();

// Where the topmost managed window holding the point shows its content on the screen, where that
// window is the process's: its place less the shadow and decorations a toolkit that draws its own
// sets aside (_GTK_FRAME_EXTENTS). Nothing where another program's window is on top there, or no
// window manager keeps the list of windows.
std::optional<QRect> contentAreaAt(qint32 processIdentifier, QPoint point);

// Whether the pointer is now over a window where a click is no gesture in another program: one
// this program made (its windows, menus and tray icon, told by the display connection that made
// them), or a panel of the desktop (a dock window, where a desktop draws its tray and task list).
bool pointerOverOwnWindowOrPanel();

// How the desktop shows one of this program's top-level windows (nothing without X11):
struct WindowPresence {
    // It is on the virtual desktop the user is on, or on all of them (its _NET_WM_DESKTOP against
    // the root's _NET_CURRENT_DESKTOP); true where the desktop keeps no virtual desktops.
    bool onCurrentDesktop = false;
    // Some of it can be seen: it is mapped and not wholly covered by the mapped windows stacked
    // above it.
    bool partlyUncovered = false;
    // The window manager keeps it above ordinary windows (_NET_WM_STATE_ABOVE).
    bool keptAbove = false;
};
std::optional<WindowPresence> presence(WindowId window);
// Asks the window manager to keep a window of this program, just shown, above ordinary windows. The
// window's own request is read only as the manager takes the window, and a manager that gets to a
// hiding after the window was shown again clears it then: the window would stay at the ordinary
// level. Main thread only: sent after the window's own requests.
void keepAbove(WindowId window);

}  // namespace halvern::x11

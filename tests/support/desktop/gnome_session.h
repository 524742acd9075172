#pragma once

// What desktop tests inside scripts/gnome-session (GNOME Shell nested on a private Xvfb) need: input
// through XTEST on the host display, which reaches native Wayland and X11 windows in the shell
// alike; native programs with known text at known places on the shell's screen; and the
// accessibility events programs send. Points are in the shell's screen coordinates (its one
// monitor starts at 0,0).

#include <QList>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

#include <initializer_list>

namespace orveltest {

// The pointer and keyboard of the display the shell is nested on (ORVEL_HOST_DISPLAY).
class HostInput {
public:
    HostInput();
    ~HostInput();
    HostInput(const HostInput&) = delete;
    HostInput& operator=(const HostInput&) = delete;

    // Whether the host display and the shell's window on it were found.
    bool isOpen() const { return display_ != nullptr && found_; }
    // Where the shell's screen begins on the host display.
    QPoint origin() const { return origin_; }

    void move(QPoint point);
    void press(int button = 1);
    void release(int button = 1);
    // Presses at `from`, moves to `to` in `steps` even steps, holds the button there `holdMs`, and
    // releases it.
    void drag(QPoint from, QPoint to, int holdMs = 100, int steps = 10);
    // A click at `point` with the button held `holdMs`, as people hold one (about 100 ms).
    void click(QPoint point, int holdMs = 100, int button = 1);
    // Two clicks `gapMs` apart, each held `holdMs`, spaced by the display server.
    void doubleClick(QPoint point, int holdMs = 60, int gapMs = 80);
    // Presses the keys (X keysyms) in order, then releases them in reverse, as a chord.
    void chord(std::initializer_list<unsigned long> keysyms);
    // Lets the event loop run for `ms`: the time a person holds a button or moves between steps.
    static void pause(int ms);

private:
    void* display_ = nullptr;
    QPoint origin_;
    bool found_ = false;
};

// A native GTK 3 or GTK 4 window (tests/support/desktop/text_window.py) filling the shell's screen: a
// password entry above a text view holding `lines`, the view with the keyboard focus.
class NativeTextWindow {
public:
    // Gtk4PasswordEntry: GTK 4 with its PasswordEntry in place of an Entry with its text hidden;
    // Gtk4PeekingPasswordEntry: that entry with its password shown in clear by its peek icon.
    enum class Toolkit { Gtk3, Gtk4, Gtk4PasswordEntry, Gtk4PeekingPasswordEntry };

    // `launcher`: the program and arguments the window's program is started through (unshare, for a
    // container of its own), which is given that program and its arguments after them.
    NativeTextWindow(Toolkit toolkit, const QStringList& lines, const QString& password = QStringLiteral("secret"),
                     const QStringList& launcher = {});
    ~NativeTextWindow();
    NativeTextWindow(const NativeTextWindow&) = delete;
    NativeTextWindow& operator=(const NativeTextWindow&) = delete;

    // Waits until the window is fullscreen, laid out and taking input (inside GNOME Shell the pointer
    // is moved over it to find out); whether it is.
    bool waitUntilShown(int timeoutMs = 30000);
    qint64 pid() const { return process_.processId(); }
    // The process id its windows carry (_NET_WM_PID), as it told it once shown: its id in a pid namespace
    // of its own where it runs in one, else pid().
    qint64 windowProcess() const { return windowProcess_ ? windowProcess_ : pid(); }
    const QStringList& lines() const { return lines_; }
    // The point before character `column` of line `line` (column = the line's length: after its last
    // character), in the middle of the line's height. Valid once shown.
    QPoint pointAt(int line, int column) const;
    // The password entry's place. Valid once shown.
    QRect passwordEntry() const { return entry_; }

private:
    struct Line {
        int top = 0;
        int height = 0;
        QList<int> boundaries;
    };

    QProcess process_;
    QStringList lines_;
    QByteArray output_;
    QList<Line> layout_;
    QRect entry_;
    qint64 windowProcess_ = 0;
};

// A native browser (on Wayland) filling the shell's screen with a page of `lines`, each a paragraph
// of words on one line, and below them a password field holding `password` unless it is empty. The
// page reports where its words and the field are drawn. Chromium's page content is on the
// accessibility bus only with `forcedAccessibility`; Firefox's as it starts. The browser ends with
// this object, all its processes.
class NativeBrowserPage {
public:
    enum class Browser { chromium, firefox };

    explicit NativeBrowserPage(const QStringList& lines, const QString& password = {}, bool forcedAccessibility = false,
                               Browser browser = Browser::chromium);
    ~NativeBrowserPage();
    NativeBrowserPage(const NativeBrowserPage&) = delete;
    NativeBrowserPage& operator=(const NativeBrowserPage&) = delete;

    // Waits until the page is shown fullscreen, has reported its words and takes input (the pointer is
    // moved over it to find out); whether it does.
    bool waitUntilShown(int timeoutMs = 60000);
    // The browser's main process.
    qint64 pid() const { return process_.processId(); }
    // The box word `word` (counted from 0, split at spaces) of line `line` is drawn in; the password
    // field is the one box of the line after the last. Valid once shown.
    QRect wordBox(int line, int word) const;

private:
    void readReport();

    QTemporaryDir folder_;
    QTcpServer server_;
    QProcess process_;
    QList<QList<QRect>> words_;
    bool pointerSeen_ = false;
};

// A stranger on the session bus (tests/support/desktop/bus_flood.py) that calls a method of a
// service as fast as the bus takes the calls, for at most `seconds`, keeping up to `outstanding`
// of them unanswered.
class BusFlood {
public:
    BusFlood(const QString& service, const QString& path, const QString& interface, const QString& method,
             int seconds = 120, int outstanding = 2000);
    ~BusFlood();
    BusFlood(const BusFlood&) = delete;
    BusFlood& operator=(const BusFlood&) = delete;

    // Waits until its first calls are answered; whether they are.
    bool waitUntilFlooding(int timeoutMs = 20000);
    // Ends it; its account of the calls made, answered and refused, and the seconds it ran.
    QString stop();

private:
    QProcess process_;
};

}  // namespace orveltest

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include "base/task.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"
#include "tests/support/gui/selection_target_process.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <atomic>
#include <thread>

using namespace halvern;
using namespace halvern::testing;
using Case = tamsel::DirectSelectionFailure::Case;

namespace {

SelectionReadResult readAccessibility(const SelectionTarget& target, const QString& control) {
    return SelectedTextReader::read(target.pid(), target.geometry(control).center());
}

// Another program takes PRIMARY from the target once the target's own claim after its drag has
// reached the display (a later one would take it back). Qt stamps its claim with the time of the last
// event it took in, which the server refuses while older than the target's claim: the claim is made
// again until Qt has taken in that claim's notice.
bool takePrimaryFrom(const SelectionTarget& target) {
    if (!orveltest::waitUntil([&] { return x11::windowBelongsToProcess(x11::primaryOwner(), target.pid()); }, 5000))
        return false;
    return orveltest::waitUntil([] {
        QGuiApplication::clipboard()->setText(QStringLiteral("someone else's"), QClipboard::Selection);
        return x11::madeByThisProgram(x11::primaryOwner());
    });
}

// Another program on a display connection of its own that takes the clipboard, stamped with the
// server's time then, and hands its text to whoever asks whatever the time of the question, as
// Chromium does. It serves from a thread, so that this program may wait without taking in events.
// How a ClipboardTaker behaves besides.
struct TakerWays {
    // Takes the clipboard again before it hands its text over, as a program may for one copy.
    bool claimsTwice = false;
    // Keeps every answer back until release(): an owner that answers only once this program's main
    // thread has turned.
    bool holdsAnswers = false;
    // Hands its text over in pieces of this many bytes (incrementally); 0: in one piece.
    int piece = 0;
    // Refuses to tell its targets, or never answers the question.
    bool refusesTargets = false;
    bool ignoresTargets = false;
    // Owns PRIMARY instead of the clipboard.
    bool primary = false;
};

class ClipboardTaker {
public:
    explicit ClipboardTaker(QByteArray text, TakerWays ways = {})
        : text_(std::move(text)), ways_(ways), dpy_(XOpenDisplay(nullptr)) {
        if (dpy_) window_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 1, 1, 0, 0, 0);
    }
    ~ClipboardTaker() {
        stop_ = true;
        if (server_.joinable()) server_.join();
        if (dpy_) XCloseDisplay(dpy_);
    }

    // Takes the clipboard now; true once the server names it the owner.
    bool take() {
        if (!dpy_ || server_.joinable()) return false;
        const Atom clipboard = ways_.primary ? XA_PRIMARY : XInternAtom(dpy_, "CLIPBOARD", False);
        XSetSelectionOwner(dpy_, clipboard, window_, CurrentTime);
        const bool owner = XGetSelectionOwner(dpy_, clipboard) == window_;
        server_ = std::thread([this] { serve(); });
        return owner;
    }
    bool holding() const { return holding_; }
    void release() { holding_ = false; }
    Window window() const { return window_; }

private:
    void serve() {
        const Atom targets = XInternAtom(dpy_, "TARGETS", False);
        const Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
        bool claimed = false;
        while (!stop_) {
            while (XPending(dpy_)) {
                XEvent event;
                XNextEvent(dpy_, &event);
                if (event.type != SelectionRequest) continue;
                XSelectionRequestEvent& request = event.xselectionrequest;
                if (ways_.ignoresTargets && request.target == targets) continue;
                for (holding_ = ways_.holdsAnswers; holding_ && !stop_;) std::this_thread::yield();
                if (ways_.claimsTwice && !claimed && request.target == utf8) {
                    XSetSelectionOwner(dpy_, request.selection, window_, CurrentTime);
                    claimed = true;
                }
                XEvent reply{};
                reply.xselection = {
                    SelectionNotify,  0,           True, dpy_, request.requestor, request.selection, request.target,
                    request.property, request.time};
                const bool inPieces = ways_.piece > 0 && request.target == utf8;
                if (request.target == targets && ways_.refusesTargets) {
                    reply.xselection.property = None;
                } else if (request.target == targets) {
                    const Atom offered[] = {targets, utf8};
                    XChangeProperty(dpy_, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(offered), 2);
                } else if (inPieces) {
                    // Announced with its size; each piece follows the deletion of the one before.
                    XSelectInput(dpy_, request.requestor, PropertyChangeMask);
                    const long size = text_.size();
                    XChangeProperty(dpy_, request.requestor, request.property, XInternAtom(dpy_, "INCR", False), 32,
                                    PropModeReplace, reinterpret_cast<const unsigned char*>(&size), 1);
                } else if (request.target == utf8) {
                    XChangeProperty(dpy_, request.requestor, request.property, utf8, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(text_.constData()), int(text_.size()));
                } else {
                    reply.xselection.property = None;
                }
                XSendEvent(dpy_, request.requestor, False, 0, &reply);
                XFlush(dpy_);
                if (inPieces) sendInPieces(request.requestor, request.property, utf8);
            }
            pollfd descriptor{ConnectionNumber(dpy_), POLLIN, 0};
            poll(&descriptor, 1, 20);
        }
    }

    void sendInPieces(Window requestor, Atom property, Atom type) {
        for (qsizetype sent = 0; !stop_;) {
            XEvent event;
            if (!XCheckTypedWindowEvent(dpy_, requestor, PropertyNotify, &event)) {
                pollfd descriptor{ConnectionNumber(dpy_), POLLIN, 0};
                poll(&descriptor, 1, 20);
                continue;
            }
            if (event.xproperty.atom != property || event.xproperty.state != PropertyDelete) continue;
            const qsizetype length = std::min<qsizetype>(ways_.piece, text_.size() - sent);
            XChangeProperty(dpy_, requestor, property, type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text_.constData() + sent), int(length));
            XFlush(dpy_);
            if (length == 0) break;
            sent += length;
        }
        XSelectInput(dpy_, requestor, NoEventMask);
    }

    QByteArray text_;
    TakerWays ways_;
    Display* dpy_ = nullptr;
    Window window_ = 0;
    std::thread server_;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> holding_ = false;
};

}  // namespace

TEST(SelectionReadingDesktop, AccessibilityReadsTheLineEditSelection) {
    ASSERT_TRUE(SelectedTextReader::isAuthorized());
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("lineEdit"));
    const SelectionReadResult result = readAccessibility(target, QStringLiteral("lineEdit"));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_TRUE(result.route.startsWith(QStringLiteral("AXSelectedText · focus="))) << result.route.toStdString();
}

TEST(SelectionReadingDesktop, AccessibilityRefusesThePasswordField) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("passwordField"));
    try {
        readAccessibility(target, QStringLiteral("passwordField"));
        FAIL() << "the password field was read";
    } catch (const SelectionReadFailure& failure) {
        EXPECT_EQ(failure.reason(), Case::protectedField) << failure.diagnostics().toStdString();
        EXPECT_EQ(failure.message(), QStringLiteral("这个控件是受保护的输入框，不读取其中的文字。"));
    }
    EXPECT_FALSE(SelectedTextReader::permitsCompatibilityCopy(target.pid()));
}

TEST(SelectionReadingDesktop, CompatibilityCopyTakesThePrimarySelectionOfTheSource) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::primaryRoute);
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
}

TEST(SelectionReadingDesktop, CompatibilityCopyFallsBackToTheGuardedCopyAndRestoresTheClipboard) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    // Another program takes PRIMARY: it no longer tells the source's selection.
    ASSERT_TRUE(takePrimaryFrom(target));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, QStringLiteral("Compatibility Copy · clipboard snapshot restore attempted"));
    settle(100);
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("old"));
    EXPECT_TRUE(target.lines().contains(QStringLiteral("key %1 %2").arg(int(Qt::Key_C)).arg(int(Qt::ControlModifier))));
}

// A program that copied on the synthetic key owns the clipboard since a time later than any event
// this program has taken in: the restore still takes the clipboard back, and holds the backup; so
// it does when that program claimed the clipboard twice for its copy. Neither the backup nor the
// copy is read on the main thread: owners that answer only once it has turned are read all the same.
// An owner that does not tell its targets cannot be backed up: no copy, and the clipboard stays its.
// Another program that copies first is never taken for the source, read after read; one that copies
// right after the browser, hiding the browser's copy, is told, and its copy stays.
TEST(SelectionReadingDesktop, TheClipboardIsRestoredOverAProgramThatTookItJustNow) {
    const QByteArray large = QByteArray(1024 * 1024, 'x') + QByteArray("end");
    const struct {
        const char* name;
        QByteArray users;
        TakerWays user;
        TakerWays browser;
        bool refused = false;
        int readsAfterAnother = 0;   // reads in which another program copies on the key, ahead of the browser
        int readsBeforeAnother = 0;  // reads in which another program copies right after the browser
    } rows[] = {
        {"one claim", "the user's text", {}, {}},
        {"two claims of the copy", "the user's text", {}, {.claimsTwice = true}},
        {"answers once the main thread turned", "the user's text", {.holdsAnswers = true}, {.holdsAnswers = true}},
        {"a large clipboard in pieces", large, {.piece = 65536}, {}},
        {"the person's owner refuses its targets", "the user's text", {.refusesTargets = true}, {}, true},
        {"the person's owner never tells its targets", "the user's text", {.ignoresTargets = true}, {}, true},
        {"another program copies first", "the user's text", {}, {}, false, 20},
        {"another program copies right after", "the user's text", {}, {}, false, 0, 20},
    };
    SelectionTarget another;
    ASSERT_TRUE(another.started());
    const quint64 source = quint64(QCoreApplication::applicationPid());  // the browser's takers
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int read = 0; read < std::max({row.readsAfterAnother, row.readsBeforeAnother, 1}); ++read) {
            SCOPED_TRACE(read);
            ClipboardTaker user(row.users, row.user);
            QSignalSpy changed(QGuiApplication::clipboard(), &QClipboard::changed);
            ASSERT_TRUE(user.take());
            ASSERT_TRUE(changed.wait(5000));
            QThread::msleep(20);  // the copy below is stamped later than the events taken in so far

            ClipboardTaker browser("Selected text", row.browser);
            QTimer turning;
            turning.callOnTimeout([&] {
                if (user.holding()) user.release();
                if (browser.holding()) browser.release();
            });
            turning.start(1);
            // The browser copies once the other program's copy is in and the read has looked (at 20 ms).
            QElapsedTimer sinceKey;
            QTimer browserCopies;
            browserCopies.callOnTimeout([&] {
                if (sinceKey.elapsed() >= 30 && x11::windowProcess(x11::clipboardOwner()) == another.pid())
                    browser.take();
            });
            // The browser copies on the key, and another program's copy is in before the read looks: a
            // program started now, whose claim is stamped later than the browser's.
            QProcess copier;
            orveltest::ownProcessTree(copier);
            const auto copierHolds = [&] {
                return x11::windowProcess(x11::clipboardOwner()) == qint32(copier.processId());
            };
            const auto copy = [&] {
                if (row.readsBeforeAnother) {
                    if (!browser.take()) return false;
                    copier.start(QStringLiteral(ORVEL_CLIPBOARD_OWNER), {QStringLiteral("another program's copy")});
                    return copier.waitForStarted() && orveltest::waitUntil(copierHolds, 5000);
                }
                if (!row.readsAfterAnother) return browser.take();
                another.copy(QStringLiteral("another program's copy"));
                sinceKey.start();
                browserCopies.start(1);
                return true;
            };
            std::optional<CompatibilityReadFailure::Case> failure;
            QString text;
            try {
                text = base::waitForTask(SelectionClipboardReader::readFrom(
                                             SystemPasteboard::shared(), [] { return true; }, copy, {}, source))
                           .text;
            } catch (const CompatibilityReadFailure& refusal) {
                failure = refusal.failureCase();
            }
            if (row.refused) {
                EXPECT_EQ(failure, CompatibilityReadFailure::Case::snapshotUnavailable);
                EXPECT_EQ(x11::clipboardOwner(), user.window());
                continue;
            }
            if (row.readsBeforeAnother) {
                if (text.isEmpty())
                    EXPECT_EQ(failure, CompatibilityReadFailure::Case::clipboardTakenByAnother);
                else
                    EXPECT_EQ(text, QStringLiteral("Selected text"));
                EXPECT_TRUE(copierHolds());
                orveltest::endProcessTree(copier);
                continue;
            }
            ASSERT_EQ(text, QStringLiteral("Selected text"));
            ASSERT_TRUE(x11::madeByThisProgram(x11::clipboardOwner()));
            EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")) == row.users);
        }
    }
}

TEST(SelectionReadingDesktop, ATerminalWindowGetsNoSyntheticKeys) {
    SelectionTarget target({QStringLiteral("--class"), QStringLiteral("xterm")});
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    ASSERT_TRUE(takePrimaryFrom(target));
    const std::optional<x11::WindowId> active = x11::activeWindow();
    ASSERT_TRUE(active);
    EXPECT_EQ(x11::windowClass(*active), QStringLiteral("xterm"));
    EXPECT_TRUE(x11::isTerminalWindow(*active));
    EXPECT_EQ(x11::applicationIdentifier(*active), QStringLiteral("xterm"));
    try {
        base::waitForTask(SelectionClipboardReader::read(target.pid()));
        FAIL() << "a copy was made in a terminal";
    } catch (const CompatibilityReadFailure& failure) {
        // The person is told the terminal's own copy key, not Ctrl+C.
        EXPECT_EQ(failure.failureCase(), CompatibilityReadFailure::Case::noCopyFromTerminal);
        EXPECT_TRUE(failure.message().contains(QStringLiteral("Ctrl+Shift+C")));
    }
    settle(200);
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
}

// Under a reparenting window manager a program's top-level windows sit inside frames made by the
// manager, and only the manager's client list names them. The selection owner window of a Qt or
// GTK program carries no process id: the display server names its process all the same.
TEST(SelectionReadingDesktop, ThePrimarySelectionIsRecognisedInsideAWindowManagerFrame) {
    auto* x11App = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(x11App);
    Display* dpy = x11App->display();
    const Window root = DefaultRootWindow(dpy);

    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));

    // The target's visible top-level window.
    Window topLevel = 0;
    {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        ASSERT_TRUE(XQueryTree(dpy, root, &rootReturn, &parent, &children, &count));
        for (unsigned int i = 0; i < count && !topLevel; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(dpy, children[i], &attributes) && attributes.map_state == IsViewable &&
                x11::windowProcess(children[i]) == target.pid())
                topLevel = children[i];
        }
        if (children) XFree(children);
    }
    ASSERT_NE(topLevel, Window(0));
    const x11::WindowId owner = x11::primaryOwner();
    ASSERT_NE(owner, x11::WindowId(0));
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* pid = nullptr;
    XGetWindowProperty(dpy, owner, XInternAtom(dpy, "_NET_WM_PID", False), 0, 1, False, AnyPropertyType, &type, &format,
                       &count, &after, &pid);
    if (pid) XFree(pid);
    ASSERT_EQ(type, Atom(None)) << "the owner window carries a process id of its own";

    // Frame it as a window manager would, and list it as a managed client.
    const Window frame = XCreateSimpleWindow(dpy, root, 0, 0, 800, 600, 0, 0, 0);
    XMapWindow(dpy, frame);
    XReparentWindow(dpy, topLevel, frame, 0, 0);
    const Atom clientList = XInternAtom(dpy, "_NET_CLIENT_LIST", False);
    XChangeProperty(dpy, root, clientList, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&topLevel), 1);
    XSync(dpy, False);
    settle(100);

    EXPECT_TRUE(x11::windowBelongsToProcess(owner, target.pid()));
    EXPECT_FALSE(x11::windowBelongsToProcess(owner, target.pid() + 1));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::primaryRoute);

    XDeleteProperty(dpy, root, clientList);
    XReparentWindow(dpy, topLevel, root, 0, 0);
    XDestroyWindow(dpy, frame);
    XSync(dpy, False);
}

// The compositor passes a native window's selection on from a window of its own, and hands its text
// over from the shell's main loop, which a stranger's calls may keep busy: it is waited for past the
// time any other owner has.
TEST(SelectionReadingDesktop, TheCompositorsPrimarySelectionIsWaitedForWhileTheShellIsBusy) {
    ClipboardTaker compositor("native words", {.holdsAnswers = true, .primary = true});
    ASSERT_TRUE(compositor.take());
    // Once given up on, the reader's window is gone before the late answer comes.
    const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    std::optional<QString> text;
    std::thread reading([&] {
        text = SelectionClipboardReader::primaryText(PrimaryOwner{PrimaryOwner::Kind::compositor, compositor.window()});
    });
    const auto asking = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!compositor.holding() && std::chrono::steady_clock::now() < asking) std::this_thread::yield();
    EXPECT_TRUE(compositor.holding());
    std::this_thread::sleep_for(2 * SelectionClipboardReader::primaryTimeout);
    compositor.release();
    reading.join();
    XSetErrorHandler(previous);
    EXPECT_EQ(text, QStringLiteral("native words"));
}

// The shell is asked which process set a native selection as it changes, once: a read of it takes
// that answer (from another thread, waiting for it), and only a later change is asked about again.
TEST(SelectionReadingDesktop, TheNativeSelectionsSourceIsAskedOnceAsItChanges) {
    struct Shell : QDBusVirtualObject {
        std::atomic<int> asked = 0;
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
            if (message.member() != QStringLiteral("PrimarySource")) return false;
            return connection.send(message.createReply(QVariantList{uint(4200 + ++asked)}));
        }
    } shell;
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("shell"));
    ASSERT_TRUE(connection.registerVirtualObject(ShellPointer::objectPath, &shell) &&
                connection.registerService(ShellPointer::serviceName));
    ShellPointer pointer;
    ASSERT_TRUE(pointer.isActive());
    const auto readSource = [&pointer] {
        std::atomic<bool> done = false;
        std::optional<qint32> source;
        std::thread reading([&] {
            source = pointer.primarySource(SelectionClipboardReader::primarySourceTimeout);
            done = true;
        });
        orveltest::waitUntil([&] { return done.load(); });
        reading.join();
        return source;
    };
    pointer.notePrimaryChange(true);
    EXPECT_EQ(readSource(), 4201);
    EXPECT_EQ(readSource(), 4201);
    pointer.notePrimaryChange(true);
    EXPECT_EQ(readSource(), 4202);
    pointer.notePrimaryChange(false);  // an X11 program's selection: asked when read
    EXPECT_EQ(readSource(), 4203);
    EXPECT_EQ(shell.asked, 3);
    connection.unregisterService(ShellPointer::serviceName);
    QDBusConnection::disconnectFromBus(QStringLiteral("shell"));
}

// With nobody owning the clipboard before the read, the restore leaves it empty: the copied
// selection, which another program owns, does not stay behind.
TEST(SelectionReadingDesktop, AnEmptyClipboardIsLeftEmptyAfterTheGuardedCopy) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    ASSERT_EQ(x11::clipboardOwner(), x11::WindowId(0));
    target.dragAcross(QStringLiteral("lineEdit"));
    ASSERT_TRUE(takePrimaryFrom(target));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::copyRoute);
    settle(100);
    EXPECT_EQ(x11::clipboardOwner(), x11::WindowId(0));
    EXPECT_EQ(target.clipboard(), QString());
}

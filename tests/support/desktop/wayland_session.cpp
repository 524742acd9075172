#include "tests/support/desktop/wayland_session.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcessEnvironment>

#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/process_tree.h"

// After Qt's headers: Xlib defines macros (None, Bool) that clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace orveltest {

namespace {

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kSessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr unsigned kControl = 0xffe3;  // Control_L
constexpr unsigned kLetterA = 0x61;

}  // namespace

// A connection of its own: mutter ends a remote-desktop session when the connection that made it goes.
CompositorInput::CompositorInput()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("orvel-compositor-input"))) {
    QDBusMessage create =
        QDBusMessage::createMethodCall(kRemoteDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                       kRemoteDesktop, QStringLiteral("CreateSession"));
    const QDBusMessage reply = bus_.call(create, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
    session_ = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    started_ = call(QStringLiteral("Start"));
}

CompositorInput::~CompositorInput() {
    if (started_) call(QStringLiteral("Stop"));
    QDBusConnection::disconnectFromBus(QStringLiteral("orvel-compositor-input"));
}

bool CompositorInput::call(const QString& method, const QVariantList& arguments) {
    if (session_.isEmpty()) return false;
    QDBusMessage message = QDBusMessage::createMethodCall(kRemoteDesktop, session_, kSessionInterface, method);
    message.setArguments(arguments);
    return bus_.call(message, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

bool CompositorInput::chord(std::initializer_list<unsigned> keysyms) {
    bool sent = started_;
    for (const unsigned key : keysyms) sent = sent && call(QStringLiteral("NotifyKeyboardKeysym"), {key, true});
    for (auto key = std::rbegin(keysyms); key != std::rend(keysyms); ++key)
        sent = call(QStringLiteral("NotifyKeyboardKeysym"), {*key, false}) && sent;
    return sent;
}

PrimaryClaims::PrimaryClaims() {
    Display* display = XOpenDisplay(nullptr);
    int errorBase = 0;
    if (!display || !XFixesQueryExtension(display, &eventBase_, &errorBase)) {
        if (display) XCloseDisplay(display);
        return;
    }
    display_ = display;
    XFixesSelectSelectionInput(display, DefaultRootWindow(display), XA_PRIMARY, XFixesSetSelectionOwnerNotifyMask);
    XSync(display, False);
}

PrimaryClaims::~PrimaryClaims() {
    if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

int PrimaryClaims::count() {
    auto* display = static_cast<Display*>(display_);
    if (!display) return 0;
    XSync(display, False);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        // A selection given up (an owner of None) is no claim.
        if (event.type == eventBase_ + XFixesSelectionNotify &&
            reinterpret_cast<XFixesSelectionNotifyEvent*>(&event)->owner != None)
            ++count_;
    }
    return count_;
}

unsigned long primarySelectionOwner() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    const Window owner = XGetSelectionOwner(display, XA_PRIMARY);
    XCloseDisplay(display);
    return owner;
}

QString primarySelectionText(int timeoutMs) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return {};
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom property = XInternAtom(display, "ORVEL_TEST_PRIMARY", False);
    XConvertSelection(display, XA_PRIMARY, utf8, property, window, CurrentTime);
    XFlush(display);
    QString text;
    bool answered = false;
    waitUntil(
        [&] {
            XEvent event;
            while (!answered && XCheckTypedWindowEvent(display, window, SelectionNotify, &event)) {
                answered = true;
                if (event.xselection.property == 0) break;
                Atom type = 0;
                int format = 0;
                unsigned long count = 0, remaining = 0;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(display, window, property, 0, 1 << 20, True, AnyPropertyType, &type, &format,
                                       &count, &remaining, &data) == Success &&
                    data) {
                    text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(count));
                    XFree(data);
                }
            }
            return answered;
        },
        timeoutMs);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return text;
}

NativeSelection::NativeSelection(const QString& text) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
    process_.setProcessEnvironment(environment);
    ownProcessTree(process_);
    process_.start(QStringLiteral("zenity"),
                   {QStringLiteral("--entry"), QStringLiteral("--text=Orvel"), QStringLiteral("--entry-text=") + text});
    if (!process_.waitForStarted(5000) || !input_.isStarted()) return;
    const unsigned long before = primarySelectionOwner();
    // The dialog takes the keyboard once it is mapped; until then the keys go nowhere, so they are
    // sent again until the selection arrives.
    selected_ = waitUntil(
        [&] {
            input_.chord({kControl, kLetterA});
            return waitUntil([&] { return primarySelectionOwner() != before; }, 500);
        },
        15000);
}

NativeSelection::~NativeSelection() { endProcessTree(process_); }

}  // namespace orveltest

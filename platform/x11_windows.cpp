#include "platform/x11_windows.h"

#include <QGuiApplication>
#include <QHash>
#include <QRegion>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

#include "platform/program_identity.h"

namespace halvern::x11 {

namespace {

// Qt's display connection.
Display* qtDisplay() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// A display connection of one thread's own, to the server Qt is connected to, closed when the thread ends.
class ThreadDisplay {
public:
    explicit ThreadDisplay(Display* qt) : dpy_(XOpenDisplay(XDisplayString(qt))) {}
    ~ThreadDisplay() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    ThreadDisplay(const ThreadDisplay&) = delete;
    ThreadDisplay& operator=(const ThreadDisplay&) = delete;
    Display* get() const { return dpy_; }

private:
    Display* dpy_;
};

// The connection the questions go over: Qt's on the main thread; elsewhere the calling thread's own, as
// Qt's connection belongs to Qt's threads.
Display* display() {
    Display* qt = qtDisplay();
    if (!qt || QThread::currentThread() == qGuiApp->thread()) return qt;
    thread_local const ThreadDisplay own(qt);
    return own.get();
}

Atom atom(Display* dpy, const char* name) { return XInternAtom(dpy, name, False); }

xcb_connection_t* xcbConnection() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// A reply of xcb, which the caller frees.
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeReply>;

// A 32-bit property's only value.
std::optional<quint32> cardinalIn(const xcb_get_property_reply_t* reply, xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32 || xcb_get_property_value_length(reply) != 4)
        return std::nullopt;
    return *static_cast<const quint32*>(xcb_get_property_value(const_cast<xcb_get_property_reply_t*>(reply)));
}

// A 32-bit property's first value.
std::optional<unsigned long> cardinalProperty(Display* dpy, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, window, property, 0, 1, False, type, &actualType, &format, &count, &after, &data) !=
        Success)
        return std::nullopt;
    std::optional<unsigned long> value;
    if (data && actualType == type && format == 32 && count == 1) value = reinterpret_cast<unsigned long*>(data)[0];
    if (data) XFree(data);
    return value;
}

// A list of windows kept in a 32-bit property; empty when unset.
QList<Window> windowListProperty(Display* dpy, Window window, Atom property) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QList<Window> windows;
    if (XGetWindowProperty(dpy, window, property, 0, 4096, False, XA_WINDOW, &actualType, &format, &count, &after,
                           &data) == Success &&
        data && actualType == XA_WINDOW && format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i) windows.append(Window(values[i]));
    }
    if (data) XFree(data);
    return windows;
}

QByteArray stringProperty(Display* dpy, Window window, Atom property) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QByteArray value;
    if (XGetWindowProperty(dpy, window, property, 0, 1024, False, AnyPropertyType, &actualType, &format, &count,
                           &after, &data) == Success &&
        data && format == 8)
        value = QByteArray(reinterpret_cast<const char*>(data), int(count));
    if (data) XFree(data);
    return value;
}

std::optional<Window> parentOf(Display* dpy, Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, window, &root, &parent, &children, &count)) return std::nullopt;
    if (children) XFree(children);
    if (!parent || parent == root) return std::nullopt;
    return parent;
}

// The window itself or its nearest ancestor that carries `property`.
std::optional<Window> carrierOf(Display* dpy, Window window, Atom property) {
    for (int depth = 0; window && depth < 16; ++depth) {
        int count = 0;
        Atom* properties = XListProperties(dpy, window, &count);
        bool found = false;
        for (int i = 0; i < count; ++i) found = found || properties[i] == property;
        if (properties) XFree(properties);
        if (found) return window;
        const std::optional<Window> parent = parentOf(dpy, window);
        if (!parent) return std::nullopt;
        window = *parent;
    }
    return std::nullopt;
}

Window topLevelOf(Display* dpy, Window window) {
    for (int depth = 0; depth < 16; ++depth) {
        const std::optional<Window> parent = parentOf(dpy, window);
        if (!parent) return window;
        window = *parent;
    }
    return window;
}

// The part of a resource id that names the client connection that made it. The server hands every
// client the same mask; Xlib keeps it as the connection's resource mask (private4 of the
// public display structure).
unsigned long resourceBase(Display* dpy, Window window) {
    const unsigned long mask = reinterpret_cast<_XPrivDisplay>(dpy)->private4;
    return window & ~(mask ? mask : 0x1fffffUL);
}

// Whether the server names its clients' processes (the X-Resource extension, 1.2 or later). Asked
// once: the program keeps one display connection for its whole run.
bool serverNamesProcesses(Display* dpy) {
    static const bool named = [dpy] {
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        return XResQueryExtension(dpy, &eventBase, &errorBase) && XResQueryVersion(dpy, &major, &minor) &&
               (major > 1 || (major == 1 && minor >= 2));
    }();
    return named;
}

// The processes of the clients that made these windows, by the base of each client's resource ids,
// as the server knows them from the connection itself: all asked in one request. A client of
// another machine (over TCP) has none, and neither has the server (its root windows).
QHash<unsigned long, qint32> clientProcesses(Display* dpy, const QList<Window>& windows) {
    QHash<unsigned long, qint32> processes;
    if (!serverNamesProcesses(dpy)) return processes;
    QSet<unsigned long> clients;
    std::vector<XResClientIdSpec> specs;
    for (const Window window : windows) {
        const unsigned long base = resourceBase(dpy, window);
        if (base && !clients.contains(base)) {
            clients.insert(base);
            specs.push_back({window, XRES_CLIENT_ID_PID_MASK});
        }
    }
    if (specs.empty()) return processes;
    long count = 0;
    XResClientIdValue* values = nullptr;
    if (XResQueryClientIds(dpy, long(specs.size()), specs.data(), &count, &values) != Success) return processes;
    for (long i = 0; i < count; ++i) {
        const pid_t pid = XResGetClientPid(&values[i]);
        if (pid > 0) processes.insert(resourceBase(dpy, values[i].spec.client), qint32(pid));
    }
    XResClientIdsDestroy(count, values);
    return processes;
}

}  // namespace

bool available() { return display() != nullptr; }

WindowId clipboardOwner() {
    Display* dpy = display();
    return dpy ? XGetSelectionOwner(dpy, atom(dpy, "CLIPBOARD")) : 0;
}

WindowId primaryOwner() {
    Display* dpy = display();
    return dpy ? XGetSelectionOwner(dpy, XA_PRIMARY) : 0;
}

bool madeByThisProgram(WindowId window) {
    Display* dpy = qtDisplay();
    // The resource id base of the connection.
    return dpy && window && resourceBase(dpy, window) == reinterpret_cast<_XPrivDisplay>(dpy)->private3;
}

WindowId timeProbeWindow() {
    static xcb_window_t probe = XCB_NONE;
    xcb_connection_t* connection = xcbConnection();
    Display* dpy = display();
    if (!connection || !dpy) return 0;
    if (probe == XCB_NONE) {
        probe = xcb_generate_id(connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, DefaultRootWindow(dpy), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    }
    return probe;
}

bool requestServerTime() {
    xcb_connection_t* connection = xcbConnection();
    Display* dpy = display();
    const WindowId probe = timeProbeWindow();
    if (!connection || !dpy || !probe) return false;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, xcb_window_t(probe), atom(dpy, "ORVEL_SERVER_TIME"),
                        XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(connection);
    return true;
}

std::optional<WindowId> activeWindow() {
    Display* dpy = display();
    if (!dpy) return std::nullopt;
    const Window root = DefaultRootWindow(dpy);
    if (const auto active = cardinalProperty(dpy, root, atom(dpy, "_NET_ACTIVE_WINDOW"), XA_WINDOW)) {
        if (*active) return *active;
        return std::nullopt;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == root) return std::nullopt;
    return topLevelOf(dpy, focus);
}

std::optional<qint32> frontmostProcess() {
    const std::optional<WindowId> window = activeWindow();
    return window ? windowProcess(*window) : std::nullopt;
}

std::optional<qint32> windowProcess(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return std::nullopt;
    const QHash<unsigned long, qint32> processes = clientProcesses(dpy, {Window(window)});
    const auto found = processes.find(resourceBase(dpy, window));
    if (found == processes.end()) return std::nullopt;
    return *found;
}

bool windowBelongsToProcess(WindowId window, qint32 processIdentifier) {
    return processIdentifier > 0 && windowProcess(window) == processIdentifier;
}

bool namesHost(const QByteArray& clientMachine, const QByteArray& hostName) {
    const QByteArray machine = clientMachine.trimmed().toLower();
    const QByteArray host = hostName.trimmed().toLower();
    if (machine.isEmpty() || host.isEmpty()) return false;
    const auto firstLabel = [](const QByteArray& name) { return name.split('.').first(); };
    return machine == host || machine == firstLabel(host) || host == firstLabel(machine);
}

bool drawnElsewhere(const WindowClaims& window, const QList<qint32>& processIdentifiers, const QByteArray& hostName,
                    bool hostOfItsOwn) {
    if (window.processIdentifier && !processIdentifiers.isEmpty() &&
        std::none_of(processIdentifiers.begin(), processIdentifiers.end(),
                     [&](qint32 identifier) { return qint64(identifier) == qint64(*window.processIdentifier); }))
        return true;
    return !hostOfItsOwn && !window.clientMachine.isEmpty() && !namesHost(window.clientMachine, hostName) &&
           !namesHost(window.clientMachine, "localhost");
}

bool shownFromElsewhere(qint32 processIdentifier, WindowId window) {
    Display* dpy = display();
    if (!dpy) return false;
    QList<Window> windows;
    if (window) windows << Window(window) << topLevelOf(dpy, Window(window));
    if (processIdentifier > 0) {
        const QList<Window> managed = windowListProperty(dpy, DefaultRootWindow(dpy), atom(dpy, "_NET_CLIENT_LIST"));
        const QHash<unsigned long, qint32> processes = clientProcesses(dpy, managed);
        for (const Window candidate : managed)
            if (processes.value(resourceBase(dpy, candidate)) == processIdentifier) windows << candidate;
    }
    const QList<qint32> identifiers =
        processIdentifier > 0 ? ProgramIdentity::namespaceIdentifiers(processIdentifier) : QList<qint32>();
    const bool hostOfItsOwn = processIdentifier > 0 && ProgramIdentity::hasHostOfItsOwn(processIdentifier);
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) host[0] = '\0';
    const Atom processProperty = atom(dpy, "_NET_WM_PID");
    for (const Window candidate : windows) {
        WindowClaims claims;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, candidate, processProperty, 0, 1, False, AnyPropertyType, &type, &format, &count,
                               &after, &data) == Success &&
            type != None) {
            const bool one = data && type == XA_CARDINAL && format == 32 && count == 1 && after == 0;
            claims.processIdentifier = one ? quint32(reinterpret_cast<const unsigned long*>(data)[0]) : 0;
        }
        if (data) XFree(data);
        claims.clientMachine = stringProperty(dpy, candidate, XA_WM_CLIENT_MACHINE);
        if (drawnElsewhere(claims, identifiers, host, hostOfItsOwn)) return true;
    }
    return false;
}

bool madeByWindowManager(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return false;
    const auto check = cardinalProperty(dpy, DefaultRootWindow(dpy), atom(dpy, "_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
    if (!check || !*check) return false;
    if (resourceBase(dpy, *check) == resourceBase(dpy, window)) return true;
    // A compositor may pass selections on through a display connection of its own.
    const QHash<unsigned long, qint32> processes = clientProcesses(dpy, {Window(*check), Window(window)});
    const qint32 manager = processes.value(resourceBase(dpy, *check));
    return manager > 0 && processes.value(resourceBase(dpy, window)) == manager;
}

QString windowClass(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return {};
    const std::optional<Window> carrier = carrierOf(dpy, window, XA_WM_CLASS);
    if (!carrier) return {};
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(dpy, *carrier, &hint)) return {};
    const QString result = QString::fromUtf8(hint.res_class ? hint.res_class : "").toLower();
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return result;
}

QString applicationName(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return {};
    const std::optional<Window> carrier = carrierOf(dpy, window, XA_WM_CLASS);
    if (!carrier) return {};
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(dpy, *carrier, &hint)) return {};
    const QString result = QString::fromUtf8(hint.res_class ? hint.res_class : "");
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return result;
}

std::optional<WindowId> windowOfProcess(qint32 processIdentifier) {
    Display* dpy = display();
    if (!dpy || processIdentifier <= 0) return std::nullopt;
    if (const auto active = activeWindow(); active && windowProcess(*active) == processIdentifier) return active;
    const QList<Window> managed = windowListProperty(dpy, DefaultRootWindow(dpy), atom(dpy, "_NET_CLIENT_LIST"));
    const QHash<unsigned long, qint32> processes = clientProcesses(dpy, managed);
    for (const Window window : managed)
        if (processes.value(resourceBase(dpy, window)) == processIdentifier) return window;
    return std::nullopt;
}

std::optional<QRect> contentAreaAt(qint32 processIdentifier, QPoint point) {
    Display* dpy = display();
    if (!dpy || processIdentifier <= 0) return std::nullopt;
    const Window root = DefaultRootWindow(dpy);
    QList<Window> stacked = windowListProperty(dpy, root, atom(dpy, "_NET_CLIENT_LIST_STACKING"));
    if (stacked.isEmpty()) stacked = windowListProperty(dpy, root, atom(dpy, "_NET_CLIENT_LIST"));
    const Atom frameExtents = atom(dpy, "_GTK_FRAME_EXTENTS");
    // From the top down.
    for (auto window = stacked.crbegin(); window != stacked.crend(); ++window) {
        XWindowAttributes attributes;
        int x = 0, y = 0;
        Window child = 0;
        if (!XGetWindowAttributes(dpy, *window, &attributes) || attributes.map_state != IsViewable ||
            !XTranslateCoordinates(dpy, *window, root, 0, 0, &x, &y, &child))
            continue;
        QRect area(x, y, attributes.width, attributes.height);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, *window, frameExtents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) == Success &&
            data && type == XA_CARDINAL && format == 32 && count == 4) {
            const auto* sides = reinterpret_cast<const unsigned long*>(data);  // left, right, top, bottom
            area.adjust(int(sides[0]), int(sides[2]), -int(sides[1]), -int(sides[3]));
        }
        if (data) XFree(data);
        if (!area.contains(point)) continue;
        if (clientProcesses(dpy, {*window}).value(resourceBase(dpy, *window)) != processIdentifier) return std::nullopt;
        return area;
    }
    return std::nullopt;
}

unsigned long watchActiveWindow() {
    Display* dpy = display();
    if (!dpy) return 0;
    const Window root = DefaultRootWindow(dpy);
    XWindowAttributes attributes;
    // Adds to what this program already asked of the root window (a mask is per client).
    if (XGetWindowAttributes(dpy, root, &attributes))
        XSelectInput(dpy, root, attributes.your_event_mask | PropertyChangeMask);
    XFlush(dpy);
    return atom(dpy, "_NET_ACTIVE_WINDOW");
}

bool isTerminalWindow(WindowId window) {
    static const QStringList terminals{
        QStringLiteral("xterm"),          QStringLiteral("uxterm"),         QStringLiteral("rxvt"),
        QStringLiteral("urxvt"),          QStringLiteral("urxvt-unicode"),  QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"), QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),  QStringLiteral("lxterminal"),     QStringLiteral("qterminal"),
        QStringLiteral("terminator"),     QStringLiteral("tilix"),          QStringLiteral("kitty"),
        QStringLiteral("alacritty"),      QStringLiteral("st"),             QStringLiteral("st-256color"),
        QStringLiteral("sakura"),         QStringLiteral("terminology"),    QStringLiteral("guake"),
        QStringLiteral("tilda"),          QStringLiteral("yakuake"),        QStringLiteral("foot"),
        QStringLiteral("wezterm"),        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("cool-retro-term"),
        QStringLiteral("eterm"),          QStringLiteral("deepin-terminal"), QStringLiteral("io.elementary.terminal"),
        QStringLiteral("kgx"),            QStringLiteral("org.gnome.console"), QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("terminal"),       QStringLiteral("x-terminal-emulator"),
    };
    Display* dpy = display();
    if (!dpy || !window) return false;
    const std::optional<Window> carrier = carrierOf(dpy, window, XA_WM_CLASS);
    if (!carrier) return false;
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(dpy, *carrier, &hint)) return false;
    const QString name = QString::fromUtf8(hint.res_name ? hint.res_name : "").toLower();
    const QString className = QString::fromUtf8(hint.res_class ? hint.res_class : "").toLower();
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return terminals.contains(name) || terminals.contains(className);
}

QString applicationIdentifier(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return {};
    for (const char* property : {"_KDE_NET_WM_DESKTOP_FILE", "_GTK_APPLICATION_ID"}) {
        const Atom name = atom(dpy, property);
        const std::optional<Window> carrier = carrierOf(dpy, window, name);
        if (!carrier) continue;
        QString id = QString::fromUtf8(stringProperty(dpy, *carrier, name));
        if (id.endsWith(QStringLiteral(".desktop"))) id.chop(8);
        if (!id.isEmpty()) return id.toLower();
    }
    return windowClass(window);
}

bool postCopyKeystroke(qint32 processIdentifier) {
    Display* dpy = display();
    if (!dpy) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor)) return false;
    const std::optional<WindowId> window = activeWindow();
    if (!window || !windowBelongsToProcess(*window, processIdentifier)) return false;
    if (isTerminalWindow(*window)) return false;
    const KeyCode control = XKeysymToKeycode(dpy, XK_Control_L);
    const KeyCode c = XKeysymToKeycode(dpy, XK_c);
    if (!control || !c) return false;  // a layout without a Latin c has no key to send

    // Release every modifier key the user still holds.
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    if (XModifierKeymap* modifiers = XGetModifierMapping(dpy)) {
        for (int i = 0; i < 8 * modifiers->max_keypermod; ++i) {
            const KeyCode code = modifiers->modifiermap[i];
            if (code && (keys[code / 8] & (1 << (code % 8)))) XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        }
        XFreeModifiermap(modifiers);
    }
    XTestFakeKeyEvent(dpy, control, True, CurrentTime);
    XTestFakeKeyEvent(dpy, c, True, CurrentTime);
    XTestFakeKeyEvent(dpy, c, False, CurrentTime);
    XTestFakeKeyEvent(dpy, control, False, CurrentTime);
    XSync(dpy, False);
    return true;
}

namespace {

// Waits for the answer to a conversion request made for `window`.
bool waitForSelectionNotify(Display* dpy, Window window, std::chrono::steady_clock::time_point deadline,
                            XEvent& event) {
    while (true) {
        if (XCheckTypedWindowEvent(dpy, window, SelectionNotify, &event)) return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd descriptor{ConnectionNumber(dpy), POLLIN, 0};
        poll(&descriptor, 1, int(left));
    }
}

}  // namespace

std::optional<QString> primarySelectionText(std::chrono::milliseconds timeout, WindowId owner) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<QString> text;
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = atom(dpy, "ORVEL_PRIMARY");
    const Atom incremental = atom(dpy, "INCR");
    const auto expectedOwner = [&] {
        const Window now = XGetSelectionOwner(dpy, XA_PRIMARY);
        return now != None && (!owner || now == owner);
    };
    if (expectedOwner()) {
        for (const Atom target : {atom(dpy, "UTF8_STRING"), Atom(XA_STRING)}) {
            XConvertSelection(dpy, XA_PRIMARY, target, property, window, CurrentTime);
            XFlush(dpy);
            XEvent event;
            if (!waitForSelectionNotify(dpy, window, deadline, event)) break;
            if (event.xselection.property == None) continue;  // the owner has no text of this kind
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy, window, property, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count,
                                   &after, &data) == Success &&
                data && format == 8 && type != incremental) {
                const QByteArray bytes(reinterpret_cast<const char*>(data), int(count));
                text = target == XA_STRING ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
            }
            if (data) XFree(data);
            break;
        }
        if (text && !expectedOwner()) text.reset();
    }
    XDestroyWindow(dpy, window);
    XCloseDisplay(dpy);
    return text;
}

std::optional<QPoint> pointerPosition() {
    Display* dpy = display();
    if (!dpy) return std::nullopt;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask))
        return std::nullopt;
    return QPoint(rootX, rootY);
}

bool pointerOverOwnWindowOrPanel() {
    Display* dpy = display();
    if (!dpy) return false;
    const Atom typeAtom = atom(dpy, "_NET_WM_WINDOW_TYPE");
    const Atom dockAtom = atom(dpy, "_NET_WM_WINDOW_TYPE_DOCK");
    // Down to the innermost window under the pointer: under a window manager the root's child is
    // the manager's frame, and an icon in a tray sits inside the tray's window.
    Window window = DefaultRootWindow(dpy);
    bool panel = false;
    for (int depth = 0; depth < 16; ++depth) {
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(dpy, window, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask) || !child) break;
        window = child;
        if (depth < 2 && cardinalProperty(dpy, window, typeAtom, XA_ATOM) == dockAtom) panel = true;
    }
    if (window == DefaultRootWindow(dpy)) return false;
    // Every window this program makes, menus and its tray icon included, comes from Qt's connection.
    const unsigned long own = reinterpret_cast<_XPrivDisplay>(dpy)->private3;  // the resource id base
    return panel || resourceBase(dpy, window) == own;
}

void keepAbove(WindowId window) {
    xcb_connection_t* connection = xcbConnection();
    Display* dpy = display();
    if (!connection || !dpy || !window || QThread::currentThread() != qGuiApp->thread()) return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom(dpy, "_NET_WM_STATE");
    event.data.data32[0] = 1;  // add
    event.data.data32[1] = atom(dpy, "_NET_WM_STATE_ABOVE");
    event.data.data32[3] = 1;  // asked by an application
    xcb_send_event(connection, 0, DefaultRootWindow(dpy),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

std::optional<WindowPresence> presence(WindowId window) {
    Display* dpy = display();
    xcb_connection_t* connection = xcbConnection();
    if (!dpy || !connection || !window) return std::nullopt;
    // Asked right after a panel is shown, on the way to the user seeing it: the questions of each step
    // are sent together, and their answers awaited after.
    WindowPresence found;
    const xcb_window_t root = DefaultRootWindow(dpy);
    const auto currentCookie =
        xcb_get_property(connection, 0, root, atom(dpy, "_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1);
    const auto desktopCookie =
        xcb_get_property(connection, 0, xcb_window_t(window), atom(dpy, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1);
    const auto stateCookie =
        xcb_get_property(connection, 0, xcb_window_t(window), atom(dpy, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64);
    const auto treeCookie = xcb_query_tree(connection, xcb_window_t(window));

    const XcbReply<xcb_get_property_reply_t> current(xcb_get_property_reply(connection, currentCookie, nullptr));
    const XcbReply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(connection, desktopCookie, nullptr));
    const std::optional<quint32> currentDesktop = cardinalIn(current.get(), XCB_ATOM_CARDINAL);
    const std::optional<quint32> windowDesktop = cardinalIn(desktop.get(), XCB_ATOM_CARDINAL);
    found.onCurrentDesktop =
        !currentDesktop || !windowDesktop || *windowDesktop == 0xFFFFFFFFU || *windowDesktop == *currentDesktop;

    const XcbReply<xcb_get_property_reply_t> state(xcb_get_property_reply(connection, stateCookie, nullptr));
    if (state && state->type == XCB_ATOM_ATOM && state->format == 32) {
        const auto* states = static_cast<const xcb_atom_t*>(xcb_get_property_value(state.get()));
        const int count = xcb_get_property_value_length(state.get()) / 4;
        const xcb_atom_t above = atom(dpy, "_NET_WM_STATE_ABOVE");
        for (int i = 0; i < count; ++i) found.keptAbove = found.keptAbove || states[i] == above;
    }

    // The window's frame (its ancestor just below the root) against the frames above it.
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection, treeCookie, nullptr));
    xcb_window_t frame = xcb_window_t(window);
    for (int depth = 0; tree && tree->parent != XCB_NONE && tree->parent != tree->root && depth < 16; ++depth) {
        frame = tree->parent;
        tree.reset(xcb_query_tree_reply(connection, xcb_query_tree(connection, frame), nullptr));
    }
    const XcbReply<xcb_query_tree_reply_t> rootTree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!rootTree) return found;
    // The children come bottom to top: the frame, then everything above it.
    const xcb_window_t* children = xcb_query_tree_children(rootTree.get());
    const int childCount = xcb_query_tree_children_length(rootTree.get());
    int first = 0;
    while (first < childCount && children[first] != frame) ++first;
    QList<xcb_window_t> stack{frame};
    for (int i = first + 1; i < childCount; ++i) stack.append(children[i]);
    QList<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> cookies;
    for (const xcb_window_t each : stack)
        cookies.append({xcb_get_window_attributes(connection, each), xcb_get_geometry(connection, each)});
    QList<std::optional<QRect>> shown;  // the box of each window on screen
    for (const auto& [attributesCookie, geometryCookie] : cookies) {
        const XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, attributesCookie, nullptr));
        const XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(connection, geometryCookie, nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            shown.append(std::nullopt);
        else
            shown.append(QRect(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                               geometry->height + 2 * geometry->border_width));
    }
    if (!shown.first()) return found;
    QRegion uncovered(*shown.first());
    for (qsizetype i = 1; i < shown.size(); ++i)
        if (shown[i]) uncovered -= QRegion(*shown[i]);
    found.partlyUncovered = !uncovered.isEmpty();
    return found;
}

}  // namespace halvern::x11

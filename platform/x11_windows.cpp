#include "platform/x11_windows.h"

#include <QGuiApplication>
#include <QRegion>
#include <QStringList>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <poll.h>

namespace halvern::x11 {

namespace {

Display* display() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

Atom atom(Display* dpy, const char* name) { return XInternAtom(dpy, name, False); }

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
    const Atom pidAtom = atom(dpy, "_NET_WM_PID");
    // Asked of the window itself first: top-level windows carry it, and that takes one request.
    std::optional<unsigned long> pid = cardinalProperty(dpy, window, pidAtom, XA_CARDINAL);
    if (!pid) {
        const std::optional<Window> carrier = carrierOf(dpy, window, pidAtom);
        if (!carrier) return std::nullopt;
        pid = cardinalProperty(dpy, *carrier, pidAtom, XA_CARDINAL);
    }
    if (!pid || *pid == 0 || *pid > 0x7fffffffUL) return std::nullopt;
    return qint32(*pid);
}

bool windowBelongsToProcess(WindowId window, qint32 processIdentifier) {
    Display* dpy = display();
    if (!dpy || !window || processIdentifier <= 0) return false;
    if (const auto pid = windowProcess(window)) return *pid == processIdentifier;
    // No pid on the window: compare the client that made it with the clients of the process's
    // top-level windows. Under a reparenting window manager those sit inside the manager's frames,
    // so the managed windows of its client list count as well as the children of the root.
    const unsigned long base = resourceBase(dpy, window);
    const Window rootWindow = DefaultRootWindow(dpy);
    QList<Window> topLevels = windowListProperty(dpy, rootWindow, atom(dpy, "_NET_CLIENT_LIST"));
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(dpy, rootWindow, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) topLevels.append(children[i]);
        if (children) XFree(children);
    }
    const Atom pidAtom = atom(dpy, "_NET_WM_PID");
    for (const Window topLevel : topLevels) {
        if (resourceBase(dpy, topLevel) != base) continue;
        const auto pid = cardinalProperty(dpy, topLevel, pidAtom, XA_CARDINAL);
        if (pid && qint64(*pid) == processIdentifier) return true;
    }
    return false;
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
    const Window root = DefaultRootWindow(dpy);
    for (const Window window : windowListProperty(dpy, root, atom(dpy, "_NET_CLIENT_LIST")))
        if (windowProcess(window) == processIdentifier) return window;
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

std::optional<QString> primarySelectionText(std::chrono::milliseconds timeout) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<QString> text;
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = atom(dpy, "ORVEL_PRIMARY");
    const Atom incremental = atom(dpy, "INCR");
    if (XGetSelectionOwner(dpy, XA_PRIMARY) != None) {
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

std::optional<WindowPresence> presence(WindowId window) {
    Display* dpy = display();
    if (!dpy || !window) return std::nullopt;
    WindowPresence found;
    const Window root = DefaultRootWindow(dpy);

    const std::optional<unsigned long> current = cardinalProperty(dpy, root, atom(dpy, "_NET_CURRENT_DESKTOP"), XA_CARDINAL);
    const std::optional<unsigned long> desktop = cardinalProperty(dpy, window, atom(dpy, "_NET_WM_DESKTOP"), XA_CARDINAL);
    found.onCurrentDesktop = !current || !desktop || *desktop == 0xFFFFFFFFUL || *desktop == *current;

    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom above = atom(dpy, "_NET_WM_STATE_ABOVE");
    if (XGetWindowProperty(dpy, window, atom(dpy, "_NET_WM_STATE"), 0, 64, False, XA_ATOM, &actualType, &format,
                           &count, &after, &data) == Success &&
        data && actualType == XA_ATOM && format == 32) {
        const auto* states = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i) found.keptAbove = found.keptAbove || states[i] == above;
    }
    if (data) XFree(data);

    // The window's frame (its ancestor just below the root) against the frames above it.
    const Window frame = topLevelOf(dpy, window);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, frame, &attributes) || attributes.map_state != IsViewable) return found;
    QRegion uncovered(attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                      attributes.height + 2 * attributes.border_width);
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int childCount = 0;
    if (XQueryTree(dpy, root, &rootReturn, &parent, &children, &childCount)) {
        bool aboveFrame = false;  // the children come bottom to top
        for (unsigned int i = 0; i < childCount; ++i) {
            if (children[i] == frame) {
                aboveFrame = true;
                continue;
            }
            XWindowAttributes other;
            if (!aboveFrame || !XGetWindowAttributes(dpy, children[i], &other) || other.map_state != IsViewable ||
                other.c_class == InputOnly)
                continue;
            uncovered -= QRegion(other.x, other.y, other.width + 2 * other.border_width,
                                 other.height + 2 * other.border_width);
        }
        if (children) XFree(children);
    }
    found.partlyUncovered = !uncovered.isEmpty();
    return found;
}

}  // namespace halvern::x11

#include "platform/x11_clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <poll.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace halvern::x11 {

namespace {

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

// Takes the connection's events until one `matches` (the others are dropped), waiting until
// `deadline` at most.
bool waitForEvent(Display* dpy, std::chrono::steady_clock::time_point deadline, XEvent& event,
                  const std::function<bool(const XEvent&)>& matches) {
    while (true) {
        while (XPending(dpy)) {
            XNextEvent(dpy, &event);
            if (matches(event)) return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd descriptor{ConnectionNumber(dpy), POLLIN, 0};
        poll(&descriptor, 1, int(std::max<long long>(left, 1)));
    }
}

}  // namespace

ClipboardClaims& ClipboardClaims::shared() {
    static ClipboardClaims* claims = new ClipboardClaims;
    return *claims;
}

ClipboardClaims::ClipboardClaims() {
    if (!available()) return;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return;
    int errorBase = 0, major = 0, minor = 0;
    if (!XFixesQueryExtension(dpy, &eventBase_, &errorBase) || !XFixesQueryVersion(dpy, &major, &minor)) {
        XCloseDisplay(dpy);
        return;
    }
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    clipboard_ = XInternAtom(dpy, "CLIPBOARD", False);
    XFixesSelectSelectionInput(dpy, window, clipboard_,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    XSync(dpy, False);
    display_ = dpy;
}

std::optional<ClipboardClaims::State> ClipboardClaims::now() {
    Display* dpy = asDisplay(display_);
    if (!dpy) return std::nullopt;
    const Window owner = XGetSelectionOwner(dpy, clipboard_);
    // Only what came before the answer: a claim reported after it would count ahead of the owner.
    for (int queued = XEventsQueued(dpy, QueuedAlready); queued > 0; --queued) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type == eventBase_ + XFixesSelectionNotify) ++claims_;
    }
    return State{claims_, owner};
}

SelectionReader::SelectionReader(const char* selection, std::chrono::steady_clock::time_point deadline)
    : deadline_(deadline) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return;
    window_ = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    // The pieces of an incremental transfer are announced as changes of the property.
    XSelectInput(dpy, window_, PropertyChangeMask);
    selection_ = XInternAtom(dpy, selection, False);
    property_ = XInternAtom(dpy, "ORVEL_SELECTION", False);
    display_ = dpy;
}

SelectionReader::~SelectionReader() {
    if (Display* dpy = asDisplay(display_)) {
        XDestroyWindow(dpy, window_);
        XCloseDisplay(dpy);
    }
}

std::optional<QStringList> SelectionReader::targets() {
    Display* dpy = asDisplay(display_);
    if (!dpy) return std::nullopt;
    if (XGetSelectionOwner(dpy, selection_) == None) return QStringList();
    unsigned long type = None;
    const std::optional<QByteArray> list = convert(XInternAtom(dpy, "TARGETS", False), 64 * 1024, &type);
    if (!list) return std::nullopt;
    std::vector<Atom> atoms;
    for (qsizetype at = 0; at + 4 <= list->size(); at += 4) {
        quint32 atom = 0;
        std::memcpy(&atom, list->constData() + at, 4);
        if (atom != None) atoms.push_back(atom);
    }
    QStringList names;
    if (atoms.empty()) return names;
    std::vector<char*> raw(atoms.size(), nullptr);
    if (!XGetAtomNames(dpy, atoms.data(), int(atoms.size()), raw.data())) return std::nullopt;
    for (char* name : raw) {
        names.append(QString::fromLatin1(name));
        XFree(name);
    }
    return names;
}

std::optional<QByteArray> SelectionReader::data(const QString& target, qint64 limit, QString* type) {
    Display* dpy = asDisplay(display_);
    if (!dpy) return std::nullopt;
    unsigned long answered = None;
    std::optional<QByteArray> bytes = convert(XInternAtom(dpy, target.toLatin1().constData(), False), limit, &answered);
    if (bytes && type && answered != None) {
        char* name = XGetAtomName(dpy, answered);
        *type = name ? QString::fromLatin1(name) : QString();
        if (name) XFree(name);
    }
    return bytes;
}

std::optional<QByteArray> SelectionReader::convert(unsigned long target, qint64 limit, unsigned long* type) {
    Display* dpy = asDisplay(display_);
    if (!dpy || late_) return std::nullopt;
    XDeleteProperty(dpy, window_, property_);
    XConvertSelection(dpy, selection_, target, property_, window_, CurrentTime);
    XFlush(dpy);
    XEvent event;
    if (!waitForEvent(dpy, deadline_, event, [this](const XEvent& each) {
            return each.type == SelectionNotify && each.xselection.requestor == window_;
        })) {
        late_ = true;
        return std::nullopt;
    }
    if (event.xselection.property == None) return std::nullopt;  // refused
    int format = 0;
    std::optional<QByteArray> bytes = takeProperty(limit, type, &format);
    const Atom incremental = XInternAtom(dpy, "INCR", False);
    if (!bytes || *type != incremental) return bytes;
    // Taking the announcement asked for the first piece; each piece taken asks for the next, and
    // an empty one ends the transfer.
    QByteArray whole;
    while (true) {
        if (!waitForEvent(dpy, deadline_, event, [this](const XEvent& each) {
                return each.type == PropertyNotify && each.xproperty.window == window_ &&
                       each.xproperty.atom == property_ && each.xproperty.state == PropertyNewValue;
            })) {
            late_ = true;
            return std::nullopt;
        }
        const std::optional<QByteArray> piece = takeProperty(limit - whole.size(), type, &format);
        if (!piece) return std::nullopt;
        if (piece->isEmpty()) return whole;
        whole += *piece;
    }
}

std::optional<QByteArray> SelectionReader::takeProperty(qint64 limit, unsigned long* type, int* format) {
    Display* dpy = asDisplay(display_);
    Atom actualType = None;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // In 32-bit units; one more than the limit holds, so that a larger value shows as one left over.
    const long units = long(std::min<qint64>(limit / 4 + 1, 0x10000000));
    if (XGetWindowProperty(dpy, window_, property_, 0, units, True, AnyPropertyType, &actualType, format, &count,
                           &after, &data) != Success)
        return std::nullopt;
    const std::unique_ptr<unsigned char, int (*)(void*)> owned(data, XFree);
    *type = actualType;
    if (actualType == None || after > 0) return std::nullopt;
    QByteArray bytes;
    // Xlib hands 16- and 32-bit items as shorts and longs; they travel as 2 and 4 bytes.
    if (*format == 8) {
        bytes = QByteArray(reinterpret_cast<const char*>(data), qsizetype(count));
    } else if (*format == 16) {
        for (unsigned long i = 0; i < count; ++i) {
            const quint16 value = quint16(reinterpret_cast<const short*>(data)[i]);
            bytes.append(reinterpret_cast<const char*>(&value), 2);
        }
    } else if (*format == 32) {
        for (unsigned long i = 0; i < count; ++i) {
            const quint32 value = quint32(reinterpret_cast<const long*>(data)[i]);
            bytes.append(reinterpret_cast<const char*>(&value), 4);
        }
    }
    if (bytes.size() > limit) return std::nullopt;
    return bytes;
}

}  // namespace halvern::x11

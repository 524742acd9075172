#include "tests/support/desktop/orvel_desktop.h"

#include "base/defaults_store.h"
#include "tests/support/process_tree.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/types.h>
#include <csignal>
#include <cstdio>

namespace {

// An accessible object's reference on the accessibility bus.
struct ObjectReference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ObjectReference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ObjectReference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(ObjectReference)

namespace orveltest {

namespace {

const QString kHookService = QStringLiteral("com.orvel.formac");
const QString kHookPath = QStringLiteral("/com/orvel/formac/Test");
const QString kHookInterface = QStringLiteral("com.orvel.formac.Test");

// Windows may vanish while they are looked at: such errors are no reason to stop.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

std::optional<unsigned long> cardinalProperty(Display* display, ::Window window, const char* name, Atom type) {
    const Atom property = XInternAtom(display, name, False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> value;
    if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count, &remaining,
                           &data) == Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

QString textProperty(Display* display, ::Window window) {
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &actualType, &format, &count, &remaining,
                           &data) == Success &&
        data && format == 8)
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
    if (data) XFree(data);
    return title;
}

void collect(Display* display, ::Window window, qint64 pid, QList<X11Display::Window>& found) {
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        const ::Window child = children[i];
        const auto owner = cardinalProperty(display, child, "_NET_WM_PID", XA_CARDINAL);
        XWindowAttributes attributes{};
        XClassHint hint{};
        if (owner && qint64(*owner) == pid && XGetWindowAttributes(display, child, &attributes) &&
            attributes.map_state == IsViewable && XGetClassHint(display, child, &hint)) {
            X11Display::Window entry;
            entry.id = child;
            entry.wmClass = QString::fromLocal8Bit(hint.res_class);
            entry.title = textProperty(display, child);
            int x = 0;
            int y = 0;
            ::Window ignored = 0;
            XTranslateCoordinates(display, child, root, 0, 0, &x, &y, &ignored);
            entry.geometry = QRect(x, y, attributes.width, attributes.height);
            found.append(entry);
        }
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        // A program's window holds no other top-level windows; what another program embeds in it
        // (an icon in a tray) is not one of that program's windows.
        if (!owner) collect(display, child, pid, found);
    }
    if (children) XFree(children);
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

// ---- X11Display ---------------------------------------------------------------------------------

X11Display::X11Display() {
    XSetErrorHandler(ignoreErrors);
    display_ = XOpenDisplay(nullptr);
}

X11Display::~X11Display() {
    if (display_) XCloseDisplay(asDisplay(display_));
}

QList<X11Display::Window> X11Display::windowsOf(qint64 pid) const {
    QList<Window> found;
    if (!display_) return found;
    Display* display = asDisplay(display_);
    XSync(display, False);
    collect(display, DefaultRootWindow(display), pid, found);
    return found;
}

std::optional<X11Display::Window> X11Display::windowOfSize(qint64 pid, QSize size) const {
    for (const Window& window : windowsOf(pid))
        if (window.geometry.size() == size) return window;
    return std::nullopt;
}

std::optional<X11Display::WindowId> X11Display::activeWindow() const {
    if (!display_) return std::nullopt;
    Display* display = asDisplay(display_);
    XSync(display, False);
    const auto active = cardinalProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (!active || *active == 0) return std::nullopt;
    return *active;
}

std::optional<QRect> X11Display::topLevelAt(QPoint point) const {
    if (!display_) return std::nullopt;
    Display* display = asDisplay(display_);
    XSync(display, False);
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return std::nullopt;
    std::optional<QRect> found;
    // Children come bottom to top.
    for (unsigned int i = count; i-- > 0 && !found;) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        const QRect place(attributes.x, attributes.y, attributes.width, attributes.height);
        if (place.contains(point)) found = place;
    }
    if (children) XFree(children);
    return found;
}

bool X11Display::hasSelectionOwner(const QString& selection) const {
    if (!display_) return false;
    Display* display = asDisplay(display_);
    return XGetSelectionOwner(display, XInternAtom(display, selection.toLatin1().constData(), False)) != None;
}

bool X11Display::hasWindowManager() const {
    if (!display_) return false;
    Display* display = asDisplay(display_);
    XSync(display, False);
    return cardinalProperty(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).has_value();
}

bool X11Display::managesNewWindows(int timeoutMs) const {
    if (!display_) return false;
    Display* display = asDisplay(display_);
    const ::Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 16, 16, 0, 0, 0);
    const Atom state = XInternAtom(display, "WM_STATE", False);
    const auto managed = [&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(display, probe, state, 0, 2, False, AnyPropertyType, &type, &format,
                                              &count, &remaining, &data) == Success &&
                           type != None;
        if (data) XFree(data);
        return found;
    };
    QElapsedTimer timer;
    timer.start();
    bool result = false;
    while (!result && timer.elapsed() <= timeoutMs) {
        XUnmapWindow(display, probe);
        XMapWindow(display, probe);
        XSync(display, False);
        result = waitUntil(managed, 1000);
    }
    XDestroyWindow(display, probe);
    XSync(display, False);
    return result;
}

std::optional<X11Display::WindowId> X11Display::transientFor(WindowId window) const {
    if (!display_) return std::nullopt;
    return cardinalProperty(asDisplay(display_), window, "WM_TRANSIENT_FOR", XA_WINDOW);
}

QStringList X11Display::atomNames(WindowId window, const char* property) const {
    QStringList names;
    if (!display_) return names;
    Display* display = asDisplay(display_);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False, XA_ATOM, &actualType,
                           &format, &count, &remaining, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(display, atoms[i]);
            if (name) {
                names.append(QString::fromLatin1(name));
                XFree(name);
            }
        }
    }
    if (data) XFree(data);
    return names;
}

void X11Display::requestClose(WindowId window) const {
    if (!display_) return;
    Display* display = asDisplay(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

QImage X11Display::grab(const Window& window) const {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect& area = window.geometry;
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// ---- AccessibilityBus -----------------------------------------------------------------------------

namespace {

constexpr int kAccessibilityTimeoutMs = 3000;

QDBusMessage accessibilityCall(const QDBusConnection& bus, const QString& service, const QString& path,
                               const QString& interface, const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, kAccessibilityTimeoutMs);
}

QList<ObjectReference> childrenOf(const QDBusConnection& bus, const QString& service, const QString& path) {
    const QDBusMessage reply = accessibilityCall(bus, service, path, QStringLiteral("org.a11y.atspi.Accessible"),
                                                 QStringLiteral("GetChildren"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return qdbus_cast<QList<ObjectReference>>(reply.arguments().constFirst().value<QDBusArgument>());
}

}  // namespace

AccessibilityBus::AccessibilityBus() {
    qDBusRegisterMetaType<ObjectReference>();
    qDBusRegisterMetaType<QList<ObjectReference>>();
    const QDBusMessage address = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
        QDBus::Block, kAccessibilityTimeoutMs);
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) return;
    connectionName_ = QStringLiteral("orveltest-accessibility");
    connected_ =
        QDBusConnection::connectToBus(address.arguments().constFirst().toString(), connectionName_).isConnected();
}

QList<AccessibilityBus::Object> AccessibilityBus::objectsOf(qint64 pid, int limit) const {
    QList<Object> found;
    if (!connected_) return found;
    const QDBusConnection bus(connectionName_);
    const QList<ObjectReference> applications =
        childrenOf(bus, QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root"));
    for (const ObjectReference& application : applications) {
        const QDBusMessage owner =
            accessibilityCall(bus, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                              QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"),
                              {application.service});
        if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty() ||
            owner.arguments().constFirst().toLongLong() != pid)
            continue;
        QList<ObjectReference> pending{application};
        while (!pending.isEmpty() && found.size() < limit) {
            const ObjectReference next = pending.takeFirst();
            const QString path = next.path.path();
            const QDBusMessage name = accessibilityCall(
                bus, next.service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
            const QDBusMessage role = accessibilityCall(
                bus, next.service, path, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetRoleName"));
            const QDBusMessage state = accessibilityCall(
                bus, next.service, path, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetState"));
            Object object{next.service, path, {}, {}, false};
            if (state.type() == QDBusMessage::ReplyMessage && !state.arguments().isEmpty()) {
                const auto bits = qdbus_cast<QList<uint>>(state.arguments().constFirst().value<QDBusArgument>());
                constexpr int showing = 25;  // the AT-SPI states "showing", "checked" and "pressed"
                constexpr int checked = 4;
                constexpr int pressed = 20;
                object.showing = !bits.isEmpty() && (bits.constFirst() & (1u << showing));
                object.checked = !bits.isEmpty() && (bits.constFirst() & ((1u << checked) | (1u << pressed)));
            }
            if (name.type() == QDBusMessage::ReplyMessage && !name.arguments().isEmpty())
                object.name = name.arguments().constFirst().value<QDBusVariant>().variant().toString();
            if (role.type() == QDBusMessage::ReplyMessage && !role.arguments().isEmpty())
                object.role = role.arguments().constFirst().toString();
            found.append(object);
            pending = childrenOf(bus, next.service, path) + pending;
        }
    }
    return found;
}

std::optional<AccessibilityBus::Object> AccessibilityBus::find(qint64 pid, const QString& name,
                                                               const QString& role) const {
    for (const Object& object : objectsOf(pid)) {
        if (object.showing && object.name == name && (role.isEmpty() || object.role == role)) return object;
    }
    return std::nullopt;
}

bool AccessibilityBus::press(const Object& object, const QString& action) const {
    if (!connected_) return false;
    const QDBusConnection bus(connectionName_);
    const auto call = [&](const char* method, const QVariantList& arguments = {}) {
        return accessibilityCall(bus, object.service, object.path, QStringLiteral("org.a11y.atspi.Action"),
                                 QString::fromLatin1(method), arguments);
    };
    int index = 0;
    if (!action.isEmpty()) {
        const QDBusMessage actions = call("GetActions");
        if (actions.type() != QDBusMessage::ReplyMessage || actions.arguments().isEmpty()) return false;
        // An array of (name, description, key binding).
        const QDBusArgument list = actions.arguments().constFirst().value<QDBusArgument>();
        index = -1;
        list.beginArray();
        for (int i = 0; !list.atEnd(); ++i) {
            QString name, description, keys;
            list.beginStructure();
            list >> name >> description >> keys;
            list.endStructure();
            if (index < 0 && name.compare(action, Qt::CaseInsensitive) == 0) index = i;
        }
        list.endArray();
        if (index < 0) return false;
    }
    // The program answers an action once it has done it (Qt clicks a tool button inside the call), so
    // the answer takes as long as the click's own work, such as building a file dialog: it is waited
    // for as the tests' other conditions are, not within the deadline of a query.
    QDBusMessage doing = QDBusMessage::createMethodCall(
        object.service, object.path, QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("DoAction"));
    doing.setArguments({index});
    const QDBusPendingCall pending = bus.asyncCall(doing);
    if (!waitUntil([&] { return pending.isFinished(); })) return false;
    const QDBusMessage reply = pending.reply();
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

std::optional<QRect> AccessibilityBus::extents(const Object& object) const {
    if (!connected_) return std::nullopt;
    constexpr uint screenCoordinates = 0;
    const QDBusMessage reply = accessibilityCall(QDBusConnection(connectionName_), object.service, object.path,
                                                 QStringLiteral("org.a11y.atspi.Component"),
                                                 QStringLiteral("GetExtents"), {screenCoordinates});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    int x = 0, y = 0, width = 0, height = 0;
    const QDBusArgument box = reply.arguments().constFirst().value<QDBusArgument>();
    box.beginStructure();
    box >> x >> y >> width >> height;
    box.endStructure();
    if (width <= 0 || height <= 0) return std::nullopt;
    return QRect(x, y, width, height);
}

bool AccessibilityBus::focus(const Object& object) const {
    if (!connected_) return false;
    const QDBusMessage reply =
        accessibilityCall(QDBusConnection(connectionName_), object.service, object.path,
                          QStringLiteral("org.a11y.atspi.Component"), QStringLiteral("GrabFocus"));
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

QString AccessibilityBus::text(const Object& object) const {
    if (!connected_) return {};
    const QDBusMessage reply =
        accessibilityCall(QDBusConnection(connectionName_), object.service, object.path,
                          QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().constFirst().toString();
}

bool AccessibilityBus::showsText(qint64 pid, const QString& wanted) const {
    for (const Object& object : objectsOf(pid))
        if (object.showing && text(object) == wanted) return true;
    return false;
}

QJsonObject stubReply(const QString& path, const QJsonObject& body, bool repeat) {
    return {{QStringLiteral("path"), path},
            {QStringLiteral("status"), 200},
            {QStringLiteral("body"), body},
            {QStringLiteral("repeat"), repeat}};
}

QJsonObject confirmedAccountReply(const QString& accountID, bool repeat) {
    return stubReply(QStringLiteral("/v1/account"),
                     {{QStringLiteral("id"), accountID},
                      {QStringLiteral("kind"), QStringLiteral("native")},
                      {QStringLiteral("email_verified"), true},
                      {QStringLiteral("identity_verified"), false}},
                     repeat);
}

bool pressKeys(const QString& keys) {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys}) == 0;
}

bool focusWindow(X11Display::WindowId window) {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)}) == 0;
}

bool writeFirefoxProfile(const QString& folder) {
    QFile prefs(folder + QStringLiteral("/user.js"));
    if (!QDir().mkpath(folder) || !prefs.open(QIODevice::WriteOnly)) return false;
    prefs.write(
        "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
        "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
        "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
        "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
        "user_pref(\"network.connectivity-service.enabled\", false);\n"
        "user_pref(\"app.update.auto\", false);\n");
    return true;
}

bool storeSessionToken(const QString& token) {
    QProcess store;
    store.start(QStringLiteral("secret-tool"), {QStringLiteral("store"), QStringLiteral("--label=Orvel"),
                                                QStringLiteral("service"), QStringLiteral("com.orvel.formac.account"),
                                                QStringLiteral("account"), QStringLiteral("session-token")});
    store.write(token.toUtf8());
    store.closeWriteChannel();
    return store.waitForFinished(10000) && store.exitStatus() == QProcess::NormalExit && store.exitCode() == 0;
}

// ---- WindowManager --------------------------------------------------------------------------------

WindowManager::WindowManager(const X11Display& display) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ownProcessTree(process_);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    // The manager announces itself before it is ready: a window mapped in between may never be managed.
    running_ = process_.waitForStarted(5000) && waitUntil([&display] { return display.hasWindowManager(); }, 10000) &&
               display.managesNewWindows(10000);
}

WindowManager::~WindowManager() {
    pause(false);
    endProcessTree(process_);
}

void WindowManager::pause(bool paused) {
    if (process_.processId() > 0) ::kill(pid_t(process_.processId()), paused ? SIGSTOP : SIGCONT);
}

// ---- TrayHost -------------------------------------------------------------------------------------

TrayHost::TrayHost(const X11Display& display) : display_(display) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ownProcessTree(process_);
    process_.start(
        QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
         QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"), QString::number(width),
         QStringLiteral("--height"), QString::number(height), QStringLiteral("--SetDockType"), QStringLiteral("true")});
    running_ = process_.waitForStarted(5000) &&
               waitUntil([this] { return display_.hasSelectionOwner(QStringLiteral("_NET_SYSTEM_TRAY_S0")); }, 10000);
}

TrayHost::~TrayHost() { stop(); }

std::optional<QRect> TrayHost::place() const {
    // The tray is the largest of its program's windows.
    std::optional<QRect> tray;
    for (const X11Display::Window& window : display_.windowsOf(process_.processId()))
        if (!tray || window.geometry.width() * window.geometry.height() > tray->width() * tray->height())
            tray = window.geometry;
    return tray;
}

std::optional<QPoint> TrayHost::iconCentre() const {
    // Icons are squares that fill the tray's height, packed at its right end.
    const std::optional<QRect> tray = place();
    if (!tray) return std::nullopt;
    return QPoint(tray->right() - height / 2, tray->center().y());
}

std::optional<QPoint> TrayHost::emptyPoint() const {
    const std::optional<QRect> tray = place();
    if (!tray) return std::nullopt;
    return QPoint(tray->left() + 8, tray->center().y());
}

void TrayHost::stop() {
    running_ = false;
    endProcessTree(process_);
}

// ---- OrvelProgram -------------------------------------------------------------------------------

OrvelProgram::OrvelProgram(QString binary) : binary_(binary.isEmpty() ? QStringLiteral(ORVEL_BINARY) : binary) {
    const QString home = homePath();
    for (const QString& folder : {home + QStringLiteral("/.config"), home + QStringLiteral("/.local/share"),
                                  home + QStringLiteral("/.cache"), tempPath()})
        QDir().mkpath(folder);
    QFile::setPermissions(tempPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert(QStringLiteral("HOME"), home);
    environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment_.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment_.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment_.insert(QStringLiteral("TMPDIR"), tempPath());
    environment_.insert(QStringLiteral("ORVEL_TEST_HOOKS"), QStringLiteral("1"));
    environment_.remove(QStringLiteral("ORVEL_DEFAULTS_FILE"));

    QObject::connect(&process_, &QProcess::readyReadStandardOutput,
                     [this] { output_ += process_.readAllStandardOutput(); });
    QObject::connect(&process_, &QProcess::readyReadStandardError,
                     [this] { error_ += process_.readAllStandardError(); });
}

OrvelProgram::~OrvelProgram() {
    // What its launches started ends too: a copy that one of them started (it was not running), and
    // the helper processes of a web view, whose program was killed under them.
    endProcessTree(process_, 0);
    for (const std::unique_ptr<QProcess>& launch : launches_) endProcessTree(*launch, 0);
}

QString OrvelProgram::defaultsFile() const {
    return homePath() + QStringLiteral("/.config/com.orvel.formac/defaults.json");
}

bool OrvelProgram::start(const QStringList& arguments) {
    process_.setProcessEnvironment(environment_);
    ownProcessTree(process_);
    process_.start(binary_, arguments);
    return process_.waitForStarted(10000);
}

OrvelProgram::Run OrvelProgram::run(const QStringList& arguments, int timeoutMs) const {
    QProcess& launch = *launches_.emplace_back(std::make_unique<QProcess>());
    launch.setProcessEnvironment(environment_);
    ownProcessTree(launch);
    launch.start(binary_, arguments);
    Run result;
    if (!launch.waitForStarted(10000)) return result;
    result.finished = waitUntil([&launch] { return launch.state() == QProcess::NotRunning; }, timeoutMs);
    if (!result.finished) {
        endProcessTree(launch, 0);
    } else if (launch.exitStatus() == QProcess::NormalExit) {
        result.exitCode = launch.exitCode();
    }
    result.standardOutput = launch.readAllStandardOutput();
    result.standardError = launch.readAllStandardError();
    return result;
}

std::optional<X11Display::Window> OrvelProgram::waitForWindow(const X11Display& display, int timeoutMs) const {
    std::optional<X11Display::Window> found;
    waitUntil(
        [&] {
            const auto windows = display.windowsOf(pid());
            if (!windows.isEmpty()) found = windows.constFirst();
            return found.has_value();
        },
        timeoutMs);
    return found;
}

std::optional<int> OrvelProgram::stop(int signal, int timeoutMs) {
    // Why there is no exit status, with the end of what the program wrote (a sanitizer's report).
    const auto failed = [this](const char* why) {
        const QByteArray said = standardError().right(6000);
        std::fprintf(stderr, "orvel %s; the end of its error output:\n%s\n", why, said.constData());
        return std::nullopt;
    };
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::CrashExit ? failed("had ended by a signal before it was stopped")
                                                             : failed("had already ended before it was stopped");
    ::kill(pid_t(process_.processId()), signal);
    if (!waitUntil([this] { return process_.state() == QProcess::NotRunning; }, timeoutMs))
        return failed("did not end in time");
    if (process_.exitStatus() != QProcess::NormalExit) return failed("ended by a signal");
    return process_.exitCode();
}

QByteArray OrvelProgram::standardOutput() {
    output_ += process_.readAllStandardOutput();
    return output_;
}

QByteArray OrvelProgram::standardError() {
    error_ += process_.readAllStandardError();
    return error_;
}

QVariantMap OrvelProgram::state() const {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kHookService, kHookPath, kHookInterface, QStringLiteral("State"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const QVariant value = reply.arguments().constFirst();
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

void OrvelProgram::presetReturningPerson(const QString& language) const {
    base::DefaultsStore defaults(defaultsFile());
    defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
    // A stored "zh-Hans" is otherwise taken for the old default once and turned into the system's language.
    defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
    defaults.setString(QStringLiteral("orvelInterfaceLanguage"), language);
}

bool OrvelProgram::presetGuestHistory(const QJsonArray& records) const {
    const QString folder = homePath() + QStringLiteral("/.local/share/com.orvel.formac");
    QFile file(folder + QStringLiteral("/learning-history.json"));
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) &&
           file.write(QJsonDocument(records).toJson(QJsonDocument::Compact)) > 0;
}

bool OrvelProgram::showsWhileAnswering(const std::function<bool()>& shown, std::string& failure, int timeoutMs) const {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kHookService, kHookPath, kHookInterface, QStringLiteral("State"));
    bool answering = true;
    const bool held = waitUntil(
        [&] {
            answering =
                QDBusConnection::sessionBus().call(call, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage;
            return !answering || shown();
        },
        timeoutMs);
    if (!answering)
        failure = "a call went unanswered for a second";
    else if (!held)
        failure = "never shown";
    return answering && held;
}

bool OrvelProgram::callHook(const QString& method, const QVariantList& arguments) const {
    QDBusMessage call = QDBusMessage::createMethodCall(kHookService, kHookPath, kHookInterface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

QJsonArray OrvelProgram::history(const QString& accountID) const {
    QFile file(homePath() + QStringLiteral("/.local/share/com.orvel.formac/users/u_") + accountID +
               QStringLiteral("/learning-history.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

QStringList OrvelProgram::tempEntries(const QString& prefix) const {
    return QDir(tempPath())
        .entryList({prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
}

// ---- HostedStubProgram --------------------------------------------------------------------------

HostedStubProgram::HostedStubProgram(const QString& scriptFile) { start(scriptFile); }

HostedStubProgram::HostedStubProgram(const QJsonArray& script) {
    QFile file(folder_.filePath(QStringLiteral("script.json")));
    if (file.open(QIODevice::WriteOnly)) file.write(QJsonDocument(script).toJson());
    file.close();
    start(file.fileName());
}

void HostedStubProgram::start(const QString& scriptFile) {
    ownProcessTree(process_);
    process_.start(QStringLiteral(ORVEL_HOSTED_STUB), {QStringLiteral("--script"), scriptFile});
    if (process_.waitForStarted(5000) && waitUntil([this] { return process_.canReadLine(); }, 10000))
        baseUrl_ = QString::fromUtf8(process_.readLine()).trimmed();
}

HostedStubProgram::~HostedStubProgram() { endProcessTree(process_, 0); }

QJsonArray HostedStubProgram::control(const QString& path) const {
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(baseUrl_ + path))));
    waitUntil([&reply] { return reply->isFinished(); }, 5000);
    return QJsonDocument::fromJson(reply->readAll()).array();
}

QJsonArray HostedStubProgram::requests() const { return control(QStringLiteral("/stub/requests")); }

QJsonArray HostedStubProgram::violations() const { return control(QStringLiteral("/stub/violations")); }

int HostedStubProgram::count(const QByteArray& method, const QByteArray& path) const {
    int found = 0;
    for (const QJsonValue& request : requests()) {
        const QJsonObject object = request.toObject();
        if (object.value(QStringLiteral("method")).toString().toUtf8() == method &&
            object.value(QStringLiteral("path")).toString().toUtf8() == path)
            ++found;
    }
    return found;
}

}  // namespace orveltest

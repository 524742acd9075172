#include "tests/support/desktop/gnome_session.h"

#include <unistd.h>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/process_tree.h"

// After Qt's headers: Xlib defines macros (None, Bool) that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace orveltest {

namespace {

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

// The widest mapped window on the host's root: the shell's monitor.
std::optional<QPoint> shellOrigin(Display* display) {
    const Window root = DefaultRootWindow(display);
    Window parent = 0, unused = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &unused, &parent, &children, &count)) return std::nullopt;
    std::optional<QPoint> origin;
    int widest = 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        if (attributes.width <= widest) continue;
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, children[i], root, 0, 0, &x, &y, &child);
        widest = attributes.width;
        origin = QPoint(x, y);
    }
    if (children) XFree(children);
    return origin;
}

// Moves the host pointer to and fro in the middle of the shell's screen until `reached` holds.
bool reachedByPointer(const std::function<bool()>& reached, int timeoutMs = 20000) {
    HostInput input;
    if (!input.isOpen()) return false;
    int step = 0;
    return waitUntil(
        [&] {
            input.move(QPoint(640 + (++step % 2), 600));
            return reached();
        },
        timeoutMs);
}

}  // namespace

// ---- HostInput ----------------------------------------------------------------------------------

HostInput::HostInput() {
    const QByteArray name = qgetenv("ORVEL_HOST_DISPLAY");
    if (name.isEmpty()) return;
    display_ = XOpenDisplay(name.constData());
    if (!display_) return;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(asDisplay(display_), &event, &error, &major, &minor)) return;
    // The shell maps its window as it starts, before the session runs the command.
    const std::optional<QPoint> origin = shellOrigin(asDisplay(display_));
    found_ = origin.has_value();
    origin_ = origin.value_or(QPoint());
}

HostInput::~HostInput() {
    if (display_) XCloseDisplay(asDisplay(display_));
}

void HostInput::pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void HostInput::move(QPoint point) {
    if (!display_) return;
    const QPoint host = origin_ + point;
    XTestFakeMotionEvent(asDisplay(display_), -1, host.x(), host.y(), CurrentTime);
    XSync(asDisplay(display_), False);
}

void HostInput::press(int button) {
    if (!display_) return;
    XTestFakeButtonEvent(asDisplay(display_), static_cast<unsigned>(button), True, CurrentTime);
    XSync(asDisplay(display_), False);
}

void HostInput::release(int button) {
    if (!display_) return;
    XTestFakeButtonEvent(asDisplay(display_), static_cast<unsigned>(button), False, CurrentTime);
    XSync(asDisplay(display_), False);
}

void HostInput::drag(QPoint from, QPoint to, int holdMs, int steps) {
    move(from);
    pause(20);
    press();
    for (int step = 1; step <= steps; ++step) {
        pause(15);
        move(from + (to - from) * step / steps);
    }
    pause(holdMs);
    release();
}

void HostInput::click(QPoint point, int holdMs, int button) {
    move(point);
    pause(20);
    press(button);
    pause(holdMs);
    release(button);
}

void HostInput::doubleClick(QPoint point, int holdMs, int gapMs) {
    if (!display_) return;
    move(point);
    pause(20);
    // The display server spaces the four events itself: timed here, a loaded machine could hold
    // this process past the double-click time between the clicks.
    Display* display = asDisplay(display_);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, static_cast<unsigned long>(holdMs));
    XTestFakeButtonEvent(display, 1, True, static_cast<unsigned long>(gapMs));
    XTestFakeButtonEvent(display, 1, False, static_cast<unsigned long>(holdMs));
    XSync(display, False);
}

void HostInput::chord(std::initializer_list<unsigned long> keysyms) {
    if (!display_) return;
    Display* display = asDisplay(display_);
    for (const unsigned long keysym : keysyms) XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, 0);
    for (auto keysym = std::rbegin(keysyms); keysym != std::rend(keysyms); ++keysym)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, *keysym), False, 0);
    XSync(display, False);
}

// ---- NativeTextWindow ---------------------------------------------------------------------------

NativeTextWindow::NativeTextWindow(Toolkit toolkit, const QStringList& lines, const QString& password,
                                   const QStringList& launcher)
    : lines_(lines) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ownProcessTree(process_);
    const QStringList command =
        launcher +
        QStringList{QStringLiteral("/usr/bin/python3"), QStringLiteral(ORVEL_TEXT_WINDOW_SCRIPT),
                    toolkit == Toolkit::Gtk3                ? QStringLiteral("3")
                    : toolkit == Toolkit::Gtk4              ? QStringLiteral("4")
                    : toolkit == Toolkit::Gtk4PasswordEntry ? QStringLiteral("4-password")
                                                            : QStringLiteral("4-peek"),
                    password} +
        lines;
    process_.start(command.first(), command.mid(1));
}

NativeTextWindow::~NativeTextWindow() { endProcessTree(process_, 0); }

bool NativeTextWindow::waitUntilShown(int timeoutMs) {
    const bool reported = waitUntil(
        [this] {
            output_ += process_.readAllStandardOutput();
            return output_.contains('\n') || process_.state() == QProcess::NotRunning;
        },
        timeoutMs);
    if (!reported || !output_.contains('\n')) return false;
    const QJsonObject report = QJsonDocument::fromJson(output_.left(output_.indexOf('\n'))).object();
    windowProcess_ = report.value(QStringLiteral("pid")).toInteger();
    layout_.clear();
    for (const QJsonValue& value : report.value(QStringLiteral("lines")).toArray()) {
        const QJsonObject line = value.toObject();
        Line place{line.value(QStringLiteral("top")).toInt(), line.value(QStringLiteral("height")).toInt(), {}};
        for (const QJsonValue& x : line.value(QStringLiteral("x")).toArray()) place.boundaries.append(x.toInt());
        layout_.append(place);
    }
    const QJsonObject entry = report.value(QStringLiteral("entry")).toObject();
    entry_ = QRect(entry.value(QStringLiteral("x")).toInt(), entry.value(QStringLiteral("y")).toInt(),
                   entry.value(QStringLiteral("width")).toInt(), entry.value(QStringLiteral("height")).toInt());
    if (layout_.size() != lines_.size()) return false;
    // On an X11 display of its own the window takes input once laid out.
    if (qEnvironmentVariableIsEmpty("ORVEL_HOST_DISPLAY")) return true;
    // Drawn is not yet taking input: the shell may still be bringing the window in.
    return reachedByPointer([this] {
        output_ += process_.readAllStandardOutput();
        return output_.contains("\npointer\n");
    });
}

QPoint NativeTextWindow::pointAt(int line, int column) const {
    if (line < 0 || line >= layout_.size()) return {};
    const Line& place = layout_.at(line);
    if (column < 0 || column >= place.boundaries.size()) return {};
    return {place.boundaries.at(column), place.top + place.height / 2};
}

// ---- NativeBrowserPage --------------------------------------------------------------------------

namespace {

// Once the window fills the screen, the page sends where each word is drawn to the test's server, as
// the query of an image's address: [[[x, y, width, height] per word or field] per line].
const char* const kPageScript = R"(
function report() {
  if (innerWidth !== screen.width || innerHeight !== screen.height) { requestAnimationFrame(report); return; }
  requestAnimationFrame(() => requestAnimationFrame(() => {
    const lines = [...document.querySelectorAll('p')].map(p => [...p.querySelectorAll('span,input')].map(s => {
      const r = s.getBoundingClientRect();
      return [Math.round(r.x), Math.round(r.y), Math.round(r.width), Math.round(r.height)];
    }));
    new Image().src = 'http://127.0.0.1:PORT/report?' + encodeURIComponent(JSON.stringify(lines));
  }));
}
addEventListener('load', () => requestAnimationFrame(report));
addEventListener('mousemove', () => { new Image().src = 'http://127.0.0.1:PORT/pointer'; }, {once: true});
)";

}  // namespace

NativeBrowserPage::NativeBrowserPage(const QStringList& lines, const QString& password, bool forcedAccessibility,
                                     Browser browser) {
    if (!server_.listen(QHostAddress::LocalHost)) return;
    QString body;
    for (const QString& line : lines) {
        body += QStringLiteral("<p>");
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < words.size(); ++i)
            body += (i ? QStringLiteral(" <span>") : QStringLiteral("<span>")) + words.at(i).toHtmlEscaped() +
                    QStringLiteral("</span>");
        body += QStringLiteral("</p>\n");
    }
    if (!password.isEmpty())
        body += QStringLiteral("<p><input type=\"password\" value=\"%1\"></p>\n").arg(password.toHtmlEscaped());
    const QString page =
        QStringLiteral(
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Orvel test page</title>"
            "<style>body{margin:40px;background:#fff}p{font:24px sans-serif;margin:0 0 24px;"
            "white-space:nowrap}</style><script>%1</script></head><body>%2</body></html>")
            .arg(
                QString::fromLatin1(kPageScript).replace(QStringLiteral("PORT"), QString::number(server_.serverPort())),
                body);
    const QString file = folder_.filePath(QStringLiteral("page.html"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(page.toUtf8());
    out.close();

    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { readReport(); });
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(folder_.filePath(QStringLiteral("browser.log")));
    if (browser == Browser::firefox) {
        const QString profile = folder_.filePath(QStringLiteral("profile"));
        if (!writeFirefoxProfile(profile)) return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MOZ_ENABLE_WAYLAND"), QStringLiteral("1"));
        process_.setProcessEnvironment(environment);
        ownProcessTree(process_);
        process_.start(QStringLiteral("firefox-esr"),
                       {QStringLiteral("--kiosk"), QStringLiteral("--no-remote"), QStringLiteral("--profile"), profile,
                        QUrl::fromLocalFile(file).toString()});
        return;
    }
    QStringList arguments{QStringLiteral("--ozone-platform=wayland"),
                          QStringLiteral("--kiosk"),
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--no-default-browser-check"),
                          QStringLiteral("--password-store=basic"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-component-update"),
                          QStringLiteral("--user-data-dir=") + folder_.filePath(QStringLiteral("profile")),
                          QUrl::fromLocalFile(file).toString()};
    if (forcedAccessibility) arguments.prepend(QStringLiteral("--force-renderer-accessibility"));
    // The browser refuses to run as root inside its sandbox.
    if (geteuid() == 0) arguments.prepend(QStringLiteral("--no-sandbox"));
    ownProcessTree(process_);
    process_.start(QStringLiteral("chromium"), arguments);
}

NativeBrowserPage::~NativeBrowserPage() { endProcessTree(process_); }

void NativeBrowserPage::readReport() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) return;
            const QList<QByteArray> request = socket->readLine().split(' ');
            socket->write("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            if (request.size() < 2) return;
            const QUrl url(QString::fromLatin1(request.at(1)));
            if (url.path() == QStringLiteral("/pointer")) pointerSeen_ = true;
            if (url.path() != QStringLiteral("/report")) return;
            const QJsonArray lines =
                QJsonDocument::fromJson(QUrl::fromPercentEncoding(url.query(QUrl::FullyEncoded).toLatin1()).toUtf8())
                    .array();
            QList<QList<QRect>> words;
            for (const QJsonValue& line : lines) {
                QList<QRect> boxes;
                for (const QJsonValue& box : line.toArray()) {
                    const QJsonArray b = box.toArray();
                    boxes.append(QRect(b.at(0).toInt(), b.at(1).toInt(), b.at(2).toInt(), b.at(3).toInt()));
                }
                words.append(boxes);
            }
            words_ = words;
        });
    }
}

bool NativeBrowserPage::waitUntilShown(int timeoutMs) {
    if (!waitUntil([this] { return !words_.isEmpty() || process_.state() == QProcess::NotRunning; }, timeoutMs) ||
        words_.isEmpty())
        return false;
    // Drawn is not yet taking input: the shell may still be bringing the window in.
    return reachedByPointer([this] { return pointerSeen_; });
}

QRect NativeBrowserPage::wordBox(int line, int word) const {
    if (line < 0 || line >= words_.size() || word < 0 || word >= words_.at(line).size()) return {};
    return words_.at(line).at(word);
}

// ---- BusFlood ----------------------------------------------------------------------------------

BusFlood::BusFlood(const QString& service, const QString& path, const QString& interface, const QString& method,
                   int seconds, int outstanding) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ownProcessTree(process_);
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(ORVEL_BUS_FLOOD_SCRIPT), service, path, interface, method, QString::number(seconds),
                    QString::number(outstanding)});
}

BusFlood::~BusFlood() { stop(); }

bool BusFlood::waitUntilFlooding(int timeoutMs) {
    return waitUntil(
        [&] {
            process_.waitForReadyRead(10);
            return process_.canReadLine() && process_.readLine().startsWith("flooding");
        },
        timeoutMs);
}

QString BusFlood::stop() {
    endProcessTree(process_, 10000);
    return QString::fromUtf8(process_.readAllStandardOutput()).trimmed();
}

}  // namespace orveltest

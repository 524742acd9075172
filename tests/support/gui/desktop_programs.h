#pragma once

// Programs of the desktop session that desktop tests drive: xdotool for the pointer and other
// people's programs (a browser, a text view, a terminal) found by their window
// and, over the accessibility bus, by the role of one of their objects.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "platform/atspi_element.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/process_tree.h"

namespace halvern::testing {

// Runs xdotool with the arguments and waits for it.
inline bool xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(5000) && process.exitCode() == 0;
}

// Spins the event loop for a while (the X server, the accessibility bus and Qt need it).
inline void settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

// Presses the left button at a point and releases it `clicks` times (a double or triple click).
inline void clickAt(QPoint point, int clicks = 1) {
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
    settle(50);
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(clicks), QStringLiteral("--delay"),
             QStringLiteral("80"), QStringLiteral("1")});
}

// A click as a person makes it: the button held for a tenth of a second.
inline void heldClickAt(QPoint point) {
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
    settle(50);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    QThread::msleep(100);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

// Drags with the left button held from one point to another in a few steps.
inline void dragFrom(QPoint from, QPoint to) {
    xdotool({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y())});
    settle(50);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    settle(50);
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = from + (to - from) * step / 4;
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
        settle(30);
    }
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

// A program of the system, started with its arguments and ended with the test, together with every
// process it started (a browser's zygote, renderers and crash handler).
class ExternalProgram {
public:
    ExternalProgram(const QString& program, const QStringList& arguments) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        orveltest::ownProcessTree(process_);
        process_.start(program, arguments);
        started_ = process_.waitForStarted(5000);
    }
    ~ExternalProgram() { orveltest::endProcessTree(process_); }

    qint32 pid() const { return qint32(process_.processId()); }
    // What the program wrote to its standard error so far.
    QString errors() {
        errors_ += QString::fromUtf8(process_.readAllStandardError());
        return errors_;
    }

    // Waits until a window of the program is the active one; its client area then.
    std::optional<QRect> waitForActiveWindow(const orveltest::X11Display& display, int milliseconds) {
        if (!started_) return std::nullopt;
        std::optional<QRect> found;
        orveltest::waitUntil(
            [&] {
                const auto windows = display.windowsOf(pid());
                if (windows.isEmpty()) return false;
                for (const auto& window : windows)
                    if (display.activeWindow() == window.id) found = window.geometry;
                if (!found) xdotool({QStringLiteral("windowactivate"), QString::number(windows.last().id)});
                return found.has_value();
            },
            milliseconds);
        return found;
    }

private:
    QProcess process_;
    bool started_ = false;
    QString errors_;
};

// The page of `body` in the folder, for a browser to show; its address.
inline QString writePage(const QTemporaryDir& folder, const QByteArray& body) {
    QFile page(folder.filePath(QStringLiteral("page.html")));
    if (!page.open(QIODevice::WriteOnly)) return {};
    page.write(
        "<!doctype html><html><head><meta charset=\"utf-8\"><title>Page</title><style>"
        "html,body{margin:0;background:#fff} p,input{position:absolute;left:100px;margin:0;"
        "font:24px/32px sans-serif;white-space:nowrap}</style></head><body>" +
        body + "</body></html>");
    return QUrl::fromLocalFile(page.fileName()).toString();
}

// Chromium's arguments for the page at address `page`, its profile in `folder`. `windowed`: an
// application window of 1000 x 700 at the screen's top left instead of the whole screen.
inline QStringList chromiumArguments(const QTemporaryDir& folder, const QString& page, bool forcedAccessibility,
                                     bool windowed) {
    QStringList arguments{QStringLiteral("--no-sandbox"),
                          QStringLiteral("--test-type"),
                          QStringLiteral("--disable-gpu"),
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-component-update"),
                          QStringLiteral("--disable-sync"),
                          QStringLiteral("--user-data-dir=") + folder.filePath(QStringLiteral("profile"))};
    arguments += windowed ? QStringList{QStringLiteral("--window-position=0,0"),
                                        QStringLiteral("--window-size=1000,700"), QStringLiteral("--app=") + page}
                          : QStringList{QStringLiteral("--kiosk"), page};
    if (forcedAccessibility) arguments.prepend(QStringLiteral("--force-renderer-accessibility"));
    return arguments;
}

// Chromium filling the screen (kiosk mode) with a page of `body`, whose paragraphs and inputs sit
// where their style puts them, its profile in `folder`. Its page content is on the accessibility
// bus only with `forcedAccessibility`. `extra` arguments come first (another window class, one
// process for everything).
inline std::unique_ptr<ExternalProgram> startChromium(const QTemporaryDir& folder, const QByteArray& body,
                                                      bool forcedAccessibility, const QStringList& extra = {},
                                                      bool windowed = false) {
    const QString page = writePage(folder, body);
    if (page.isEmpty()) return nullptr;
    return std::make_unique<ExternalProgram>(QStringLiteral("chromium"),
                                             extra + chromiumArguments(folder, page, forcedAccessibility, windowed));
}

// Firefox ESR in a window of 1000 x 700 with the same page, a profile of its own in `folder` that
// asks nothing at the first start and stays off the network.
inline std::unique_ptr<ExternalProgram> startFirefox(const QTemporaryDir& folder, const QByteArray& body) {
    const QString page = writePage(folder, body);
    const QString profile = folder.filePath(QStringLiteral("firefox"));
    if (page.isEmpty() || !orveltest::writeFirefoxProfile(profile)) return nullptr;
    return std::make_unique<ExternalProgram>(
        QStringLiteral("firefox-esr"),
        QStringList{QStringLiteral("--no-remote"), QStringLiteral("--width"), QStringLiteral("1000"),
                    QStringLiteral("--height"), QStringLiteral("700"), QStringLiteral("--profile"), profile, page});
}

// The screen rectangle of the first object with this AT-SPI role (ATSPI_ROLE_…) in the program's
// accessibility tree, looked for breadth first; nothing when it is not found.
inline std::optional<QRect> accessibleExtents(qint32 pid, unsigned role, int milliseconds = 10000) {
    std::optional<QRect> found;
    orveltest::waitUntil(
        [&] {
            auto application = std::dynamic_pointer_cast<AtspiElement>(AtspiSystem::shared().applicationElement(pid));
            if (!application || application->service().isEmpty()) return false;
            AtspiSystem& bus = AtspiSystem::shared();
            const auto deadline = [] { return std::chrono::steady_clock::now() + std::chrono::seconds(2); };
            QList<std::pair<QString, QString>> queue{{application->service(), application->path()}};
            for (int looked = 0; !queue.isEmpty() && looked < 2000; ++looked) {
                const auto [service, path] = queue.takeFirst();
                const QDBusMessage roleReply = bus.call(service, path, QStringLiteral("org.a11y.atspi.Accessible"),
                                                        QStringLiteral("GetRole"), {}, deadline());
                if (!roleReply.arguments().isEmpty() && roleReply.arguments().first().toUInt() == role) {
                    const QDBusMessage box = bus.call(service, path, QStringLiteral("org.a11y.atspi.Component"),
                                                      QStringLiteral("GetExtents"), {0u}, deadline());
                    if (box.arguments().isEmpty()) return false;
                    int x = 0, y = 0, width = 0, height = 0;
                    const QDBusArgument argument = box.arguments().first().value<QDBusArgument>();
                    argument.beginStructure();
                    argument >> x >> y >> width >> height;
                    argument.endStructure();
                    if (width <= 0 || height <= 0) return false;
                    found = QRect(x, y, width, height);
                    return true;
                }
                AtspiElement element(bus, service, path);
                const auto children =
                    element.attribute(AccessibilityAttribute::children).as<AccessibilityElementList>();
                if (!children) continue;
                for (const AccessibilityElementPtr& child : *children)
                    if (auto atspi = std::dynamic_pointer_cast<AtspiElement>(child))
                        queue.append({atspi->service(), atspi->path()});
            }
            return false;
        },
        milliseconds);
    return found;
}

}  // namespace halvern::testing

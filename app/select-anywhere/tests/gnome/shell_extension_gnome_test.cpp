// Orvel's GNOME Shell extension in a nested GNOME Shell, without the program: the test process owns
// the program's bus name. The extension answers that owner only, follows the pointer over a native
// window and reports where a held drag is released, with the native window's process.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>

#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"

using orveltest::HostInput;
using orveltest::NativeTextWindow;
using orveltest::waitUntil;

namespace {

const QString kExtension = QStringLiteral("com.orvel.formac.Shell");
const QString kProgram = QStringLiteral("com.orvel.formac");
const QStringList kLines{QStringLiteral("Photosynthesis turns light into sugar."),
                         QStringLiteral("Plants store it as starch.")};

QDBusMessage extensionCall(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kExtension, QStringLiteral("/com/orvel/formac/Shell"), kExtension, method);
    message.setArguments(arguments);
    return message;
}

bool nameHasOwner(const QString& name) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    message.setArguments({name});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

struct Pointer {
    QPoint place;
    bool leftHeld = false;
    qint64 focusedPid = 0;
};

std::optional<Pointer> pointer() {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(extensionCall(QStringLiteral("Pointer")));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 4) return std::nullopt;
    const QVariantList a = reply.arguments();
    return Pointer{{a.at(0).toInt(), a.at(1).toInt()}, a.at(2).toBool(), a.at(3).toLongLong()};
}

// The release a WaitForRelease call answered: released, place, focused process.
struct Release {
    bool released = false;
    QPoint place;
    qint64 focusedPid = 0;
};

std::optional<Release> finish(QDBusPendingCall& call) {
    if (!waitUntil([&] { return call.isFinished(); }, 40000)) return std::nullopt;
    const QDBusMessage reply = call.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 4) return std::nullopt;
    const QVariantList a = reply.arguments();
    return Release{a.at(0).toBool(), {a.at(1).toInt(), a.at(2).toInt()}, a.at(3).toLongLong()};
}

QDBusPendingCall waitForRelease(unsigned timeoutMs) {
    return QDBusConnection::sessionBus().asyncCall(extensionCall(QStringLiteral("WaitForRelease"), {timeoutMs}), 40000);
}

class ShellExtensionGnome : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(QDBusConnection::sessionBus().registerService(kProgram)); }
    void SetUp() override {
        ASSERT_TRUE(nameHasOwner(kExtension));
        ASSERT_TRUE(input.isOpen());
    }

    HostInput input;
};

TEST_F(ShellExtensionGnome, AnswersTheOwnerOfTheProgramsNameOnly) {
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other-caller"));
    ASSERT_TRUE(other.isConnected());
    input.move({600, 500});
    const struct {
        QString method;
        QVariantList arguments;
    } calls[] = {{QStringLiteral("Pointer"), {}}, {QStringLiteral("WaitForRelease"), {100u}}};
    for (const auto& call : calls) {
        SCOPED_TRACE(call.method.toStdString());
        const QDBusMessage own = QDBusConnection::sessionBus().call(extensionCall(call.method, call.arguments));
        EXPECT_EQ(own.type(), QDBusMessage::ReplyMessage) << own.errorMessage().toStdString();
        const QDBusMessage foreign = other.call(extensionCall(call.method, call.arguments));
        EXPECT_EQ(foreign.errorName().toStdString(), "org.freedesktop.DBus.Error.AccessDenied");
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("other-caller"));
}

TEST_F(ShellExtensionGnome, FollowsThePointerAndReportsTheReleaseOverANativeWindow) {
    NativeTextWindow window(NativeTextWindow::Toolkit::Gtk3, kLines);
    ASSERT_TRUE(window.waitUntilShown());

    // The pointer over the native window, in the shell's coordinates, and the window in front.
    for (const QPoint place : {window.pointAt(0, 3), window.pointAt(1, 10), QPoint(900, 700)}) {
        input.move(place);
        std::optional<Pointer> now;
        EXPECT_TRUE(waitUntil([&] {
            now = pointer();
            return now && now->place == place && now->focusedPid == window.pid();
        })) << place.x()
            << "," << place.y();
        ASSERT_TRUE(now);
        EXPECT_FALSE(now->leftHeld);
    }

    // Not held: answered at once with the pointer now.
    QDBusPendingCall idle = waitForRelease(5000);
    std::optional<Release> release = finish(idle);
    ASSERT_TRUE(release);
    EXPECT_TRUE(release->released);
    EXPECT_EQ(release->place, QPoint(900, 700));

    // Held past the wait's time: not released, the pointer now.
    input.move(window.pointAt(1, 0));
    input.press();
    ASSERT_TRUE(waitUntil([&] { return pointer() && pointer()->leftHeld; }));
    QDBusPendingCall held = waitForRelease(150);
    release = finish(held);
    input.release();
    ASSERT_TRUE(release);
    EXPECT_FALSE(release->released);
    EXPECT_EQ(release->place, window.pointAt(1, 0));

    // A drag across the text, released while the wait is pending: the place of the release.
    const QPoint from = window.pointAt(0, 0), to = window.pointAt(1, 6);
    input.move(from);
    HostInput::pause(20);
    input.press();
    for (int step = 1; step <= 10; ++step) {
        HostInput::pause(15);
        input.move(from + (to - from) * step / 10);
    }
    ASSERT_TRUE(waitUntil([&] { return pointer() && pointer()->leftHeld; }));
    QDBusPendingCall drag = waitForRelease(10000);
    HostInput::pause(300);
    EXPECT_FALSE(drag.isFinished());
    input.release();
    release = finish(drag);
    ASSERT_TRUE(release);
    EXPECT_TRUE(release->released);
    EXPECT_LE((release->place - to).manhattanLength(), 1) << release->place.x() << "," << release->place.y();
    EXPECT_EQ(release->focusedPid, window.pid());
    EXPECT_EQ(orveltest::primarySelectionText().toStdString(), "Photosynthesis turns light into sugar.\nPlants");
}

}  // namespace

// Orvel's GNOME Shell extension in a nested GNOME Shell, without the program: the test process owns
// the program's bus name, but it is not Orvel, so the extension tells it nothing, nor any other
// caller. (The program itself is answered: its tests in the same session show the bulb.)
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>

#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"

namespace {

const QString kExtension = QStringLiteral("com.orvel.formac.Shell");
const QString kPath = QStringLiteral("/com/orvel/formac/Shell");
const QString kProgram = QStringLiteral("com.orvel.formac");

QDBusMessage extensionCall(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kExtension, kPath, kExtension, method);
    message.setArguments(arguments);
    return message;
}

TEST(ShellExtensionGnome, AnotherProcessHoldingTheProgramsNameGetsNoAnswer) {
    ASSERT_TRUE(QDBusConnection::sessionBus().registerService(kProgram));
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other-caller"));
    ASSERT_TRUE(other.isConnected());
    const struct {
        QString method;
        QVariantList arguments;
    } calls[] = {{QStringLiteral("Pointer"), {}}, {QStringLiteral("Watch"), {true}}};
    for (const auto& call : calls) {
        SCOPED_TRACE(call.method.toStdString());
        // The name's owner, and a connection of the same process that does not own it.
        for (const QDBusConnection& caller : {QDBusConnection::sessionBus(), other}) {
            const QDBusMessage reply = QDBusConnection(caller).call(extensionCall(call.method, call.arguments));
            EXPECT_EQ(reply.errorName().toStdString(), "org.freedesktop.DBus.Error.AccessDenied");
        }
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("other-caller"));
    QDBusConnection::sessionBus().unregisterService(kProgram);
}

}  // namespace

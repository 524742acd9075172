// Orvel's GNOME Shell extension in a nested GNOME Shell, without the program: the test process owns
// the program's bus name. The extension answers that owner only, and tells it of clicks while it
// watches the button.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>

#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::HostInput;
using orveltest::waitUntil;

namespace {

const QString kExtension = QStringLiteral("com.orvel.formac.Shell");
const QString kPath = QStringLiteral("/com/orvel/formac/Shell");
const QString kProgram = QStringLiteral("com.orvel.formac");

QDBusMessage extensionCall(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kExtension, kPath, kExtension, method);
    message.setArguments(arguments);
    return message;
}

// Counts the button events the extension sends to this process.
class ButtonSignals : public QObject {
    Q_OBJECT
public:
    int count = 0;
public Q_SLOTS:
    void received(const QDBusMessage&) { ++count; }
};

TEST(ShellExtensionGnome, AnswersTheOwnerOfTheProgramsNameOnly) {
    ASSERT_TRUE(QDBusConnection::sessionBus().registerService(kProgram));
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other-caller"));
    ASSERT_TRUE(other.isConnected());
    ButtonSignals buttons;
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(kExtension, kPath, kExtension, QStringLiteral("Button"),
                                                      &buttons, SLOT(received(QDBusMessage))));
    const struct {
        QString method;
        QVariantList arguments;
    } calls[] = {{QStringLiteral("Pointer"), {}}, {QStringLiteral("WatchButton"), {true}}};
    for (const auto& call : calls) {
        SCOPED_TRACE(call.method.toStdString());
        const QDBusMessage own = QDBusConnection::sessionBus().call(extensionCall(call.method, call.arguments));
        EXPECT_EQ(own.type(), QDBusMessage::ReplyMessage) << own.errorMessage().toStdString();
        const QDBusMessage foreign = other.call(extensionCall(call.method, call.arguments));
        EXPECT_EQ(foreign.errorName().toStdString(), "org.freedesktop.DBus.Error.AccessDenied");
    }
    // Watching, the owner hears of a click's press and release.
    HostInput input;
    ASSERT_TRUE(input.isOpen());
    input.click({600, 500});
    EXPECT_TRUE(waitUntil([&] { return buttons.count == 2; }));
    QDBusConnection::disconnectFromBus(QStringLiteral("other-caller"));
    QDBusConnection::sessionBus().unregisterService(kProgram);
}

}  // namespace

#include "shell_extension_gnome_test.moc"

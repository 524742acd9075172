#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include "platform/accessibility_repair.h"

using namespace halvern;

namespace {

bool accessibilityEnabled() {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

}  // namespace

// The reset switches the desktop's accessibility off and on again: it ends switched on.
TEST(AccessibilityRepairDesktop, ResetLeavesAccessibilityOn) {
    const AccessibilityRepair::RunningCopy installed{AccessibilityRepair::bundleIdentifier, QStringLiteral("/usr/local/bin/orvel"),
                                                     QStringLiteral("/nonexistent-home")};
    ASSERT_TRUE(AccessibilityRepair::isInstalledCopy(installed));
    EXPECT_EQ(AccessibilityRepair::resetOwnAuthorization(installed), QString());
    EXPECT_TRUE(accessibilityEnabled());
}

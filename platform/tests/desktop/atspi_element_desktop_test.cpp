#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QThread>

#include <memory>

#include "platform/atspi_element.h"

using namespace halvern;

namespace {

struct Reference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Reference& reference) {
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Reference& reference) {
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(Reference)

namespace {

// An application on the accessibility bus that lists one window below "/app" and answers every
// other request with a list of numbers, a shape no accessibility request asks for.
class MisshapenApplication : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QStringLiteral("GetChildren") && message.path() == QStringLiteral("/app")) {
            const QList<Reference> windows{{connection.baseService(), QDBusObjectPath(QStringLiteral("/app/window"))}};
            connection.send(message.createReply(QVariant::fromValue(windows)));
        } else {
            connection.send(message.createReply(QVariant::fromValue(QList<int>{1, 2, 3})));
        }
        return true;
    }
};

// Serves the application from a thread of its own, so that this thread can wait for its answers.
class Server {
public:
    explicit Server(const QString& address) {
        context_.moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            &context_,
            [this, address] {
                connection_ = std::make_unique<QDBusConnection>(
                    QDBusConnection::connectToBus(address, QStringLiteral("misshapen-application")));
                application_ = std::make_unique<MisshapenApplication>();
                connection_->registerVirtualObject(QStringLiteral("/app"), application_.get(),
                                                   QDBusConnection::SubPath);
                service_ = connection_->baseService();
            },
            Qt::BlockingQueuedConnection);
    }
    ~Server() {
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                connection_->unregisterObject(QStringLiteral("/app"), QDBusConnection::UnregisterTree);
                connection_.reset();
                application_.reset();
                QDBusConnection::disconnectFromBus(QStringLiteral("misshapen-application"));
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    QString service() const { return service_; }

private:
    QThread thread_;
    QObject context_;
    std::unique_ptr<MisshapenApplication> application_;
    std::unique_ptr<QDBusConnection> connection_;
    QString service_;

};

QString accessibilityBusAddress() {
    const QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
        QStringLiteral("GetAddress"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request);
    return reply.arguments().isEmpty() ? QString() : reply.arguments().constFirst().toString();
}

}  // namespace

TEST(AtspiElementDesktop, RepliesOfAnotherShapeGiveNoValue) {
    qDBusRegisterMetaType<Reference>();
    qDBusRegisterMetaType<QList<Reference>>();
    const QString address = accessibilityBusAddress();
    ASSERT_FALSE(address.isEmpty());
    Server server(address);
    ASSERT_FALSE(server.service().isEmpty());

    AtspiSystem& system = AtspiSystem::shared();
    AtspiElement application(system, server.service(), QStringLiteral("/app"), AtspiElement::Kind::application);
    AtspiElement element(system, server.service(), QStringLiteral("/app/element"));
    application.setMessagingTimeout(std::chrono::milliseconds(2000));
    element.setMessagingTimeout(std::chrono::milliseconds(2000));

    // The well-formed list of windows is read; every misshapen answer gives no value.
    const auto windows = application.attribute(AccessibilityAttribute::children).as<AccessibilityElementList>();
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 1);
    EXPECT_EQ(std::dynamic_pointer_cast<AtspiElement>(windows->first())->path(), QStringLiteral("/app/window"));
    EXPECT_TRUE(element.attribute(AccessibilityAttribute::children)
                    .as<AccessibilityElementList>()
                    .value_or(AccessibilityElementList{})
                    .isEmpty());
    EXPECT_FALSE(element.attribute(AccessibilityAttribute::parent).element());
    EXPECT_FALSE(element.attribute(AccessibilityAttribute::focusedUIElement).element());
    EXPECT_FALSE(application.attribute(AccessibilityAttribute::focusedWindow).element());
    EXPECT_FALSE(application.elementAtPosition(10, 10).element());
}

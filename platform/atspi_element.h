#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QVariantList>

#include "platform/accessibility_element.h"

// The accessibility tree of this desktop, spoken on the AT-SPI 2 accessibility bus through
// QtDBus: every call carries its own time-out (the element's messaging time-out), so calls from
// different threads do not disturb each other.
namespace halvern {

class AtspiSystem;

// One accessible object: a bus name and an object path on the accessibility bus.
class AtspiElement : public AccessibilityElement {
public:
    enum class Kind { object, application, desktop };

    AtspiElement(AtspiSystem& system, QString service, QString path, Kind kind = Kind::object);

    const QString& service() const { return service_; }
    const QString& path() const { return path_; }

    void setMessagingTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    std::optional<qint32> processIdentifier() const override;
    bool isSameElement(const AccessibilityElement& other) const override;
    AccessibilityReply attribute(AccessibilityAttribute attribute) override;
    AccessibilityReply parameterizedAttribute(AccessibilityParameterizedAttribute attribute,
                                              const AccessibilityValue& parameter) override;
    AccessibilityReply elementAtPosition(float x, float y) override;
    void refresh() override;

private:
    using Deadline = std::chrono::steady_clock::time_point;

    AccessibilityReply selectedTextRange(Deadline deadline);
    AccessibilityReply selectedText(Deadline deadline);
    // `text`, which starts at character `start` of this object, with each embedded-object
    // character replaced by the selected text of the object it stands for. `budget` bounds the
    // objects looked at for one selection.
    QString expandEmbeddedObjects(const QString& text, qint64 start, Deadline deadline, int depth, int& budget);
    // The object behind the embedded-object character at `offset`; null when there is none.
    std::shared_ptr<AtspiElement> embeddedObject(qint64 offset, Deadline deadline);
    // Whether the object lists the interface; nothing when it could not be asked.
    std::optional<bool> implements(const QString& interface, Deadline deadline);
    AccessibilityReply selectedChildren(Deadline deadline);
    std::optional<QList<std::pair<QString, QString>>> focusedMatches(Deadline deadline);
    AccessibilityReply focusedDescendant(Deadline deadline);
    AccessibilityReply activeWindow(Deadline deadline);
    AccessibilityReply focusedApplication(Deadline deadline);
    AccessibilityReply role(Deadline deadline);
    AccessibilityReply parent(Deadline deadline);
    // The windows of an application (the children of this element), at most `windowLimit`.
    QList<std::pair<QString, QString>> windows(Deadline deadline, int& error);
    Deadline deadlineFromNow() const { return std::chrono::steady_clock::now() + timeout_; }

    AtspiSystem& system_;
    QString service_;
    QString path_;
    Kind kind_;
    std::chrono::milliseconds timeout_{120};
    std::optional<QStringList> interfaces_;  // asked once
    // Remembered until refresh(): answers that take many requests (the active window, the focused
    // element), the windows (asked for the active one and for the element under a point), the parent
    // (asked together with the role), and the selected range, which the selected text is read by.
    std::shared_ptr<AtspiElement> activeWindow_;
    std::shared_ptr<AtspiElement> focused_;
    std::optional<QDBusMessage> childrenReply_;
    std::optional<QDBusMessage> parentReply_;
    std::optional<AccessibilityReply> selectedRange_;
};

class AtspiSystem : public AccessibilitySystem {
public:
    static AtspiSystem& shared();

    bool isProcessTrusted() override;
    bool requestTrust() override;
    // Null when the bus lists every application and none is that process's.
    AccessibilityElementPtr applicationElement(qint32 processIdentifier) override;
    AccessibilityElementPtr systemWideElement() override;

    // A call to an object on the accessibility bus that waits at most until `deadline`.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments, std::chrono::steady_clock::time_point deadline);
    // Requests sent at once, each waiting at most until `deadline`; the replies in their order. One
    // wait for many answers instead of one round trip each.
    QList<QDBusMessage> callAll(const QList<QDBusMessage>& requests, std::chrono::steady_clock::time_point deadline);
    // A property of an object on the accessibility bus.
    QDBusMessage property(const QString& service, const QString& path, const QString& interface,
                          const QString& name, std::chrono::steady_clock::time_point deadline);
    // The process behind a bus name (remembered: unique bus names are never reused).
    std::optional<qint32> processOf(const QString& service, std::chrono::steady_clock::time_point deadline);
    // The applications registered on the bus: (bus name, object path).
    QList<std::pair<QString, QString>> applications(std::chrono::steady_clock::time_point deadline);

private:
    AtspiSystem() = default;
    std::optional<QDBusConnection> bus(std::chrono::steady_clock::time_point deadline);

    QMutex mutex_;
    std::optional<QDBusConnection> bus_;
    QHash<QString, qint32> processes_;
};

// The error code of a failed reply.
int accessibilityErrorOf(const QDBusMessage& reply);

}  // namespace halvern

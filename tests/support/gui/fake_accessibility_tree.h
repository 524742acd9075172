#pragma once

// An in-memory accessibility tree for tests of the selection reader: elements with scripted
// attribute values, a virtual clock that requests and sleeps advance, and a log of every request.
// Header-only, so that it needs nothing of the platform library at link time.

#include <QHash>
#include <QMap>
#include <QStringList>

#include <functional>

#include "platform/accessibility_element.h"

namespace halvern::testing {

class FakeAccessibilitySystem;

class FakeElement : public halvern::AccessibilityElement {
public:
    FakeElement(FakeAccessibilitySystem* system, QString label, std::optional<qint32> pid)
        : system_(system), label_(std::move(label)), pid_(pid), identity_(std::make_shared<int>(0)) {}

    const QString& label() const { return label_; }
    void setProcessIdentifier(std::optional<qint32> pid) { pid_ = pid; }
    // Makes this element compare equal to `other` (two references to one element).
    void shareIdentityWith(const FakeElement& other) { identity_ = other.identity_; }

    void set(AccessibilityAttribute attribute, AccessibilityValue value) {
        replies_[attribute] = AccessibilityReply::ok(std::move(value));
    }
    void setReply(AccessibilityAttribute attribute, AccessibilityReply reply) { replies_[attribute] = std::move(reply); }
    void setParameterized(AccessibilityParameterizedAttribute attribute,
                          std::function<AccessibilityReply(const AccessibilityValue&)> handler) {
        parameterized_[attribute] = std::move(handler);
    }
    void setHit(AccessibilityReply reply) { hit_ = std::move(reply); }
    // Every request to this element takes this long on the virtual clock.
    void setCost(std::chrono::milliseconds cost) { cost_ = cost; }

    std::chrono::milliseconds lastTimeout() const { return timeout_; }
    void unlink() {
        replies_.clear();
        parameterized_.clear();
        hit_ = AccessibilityReply::failed(accessibility_error::noValue);
    }

    void setMessagingTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    std::optional<qint32> processIdentifier() const override { return pid_; }
    bool isSameElement(const AccessibilityElement& other) const override {
        const auto* fake = dynamic_cast<const FakeElement*>(&other);
        return fake && fake->identity_ == identity_;
    }
    inline AccessibilityReply attribute(AccessibilityAttribute attribute) override;
    inline AccessibilityReply parameterizedAttribute(AccessibilityParameterizedAttribute attribute,
                                                     const AccessibilityValue& parameter) override;
    inline AccessibilityReply elementAtPosition(float x, float y) override;

private:
    FakeAccessibilitySystem* system_;
    QString label_;
    std::optional<qint32> pid_;
    std::shared_ptr<int> identity_;
    QMap<AccessibilityAttribute, AccessibilityReply> replies_;
    QMap<AccessibilityParameterizedAttribute, std::function<AccessibilityReply(const AccessibilityValue&)>>
        parameterized_;
    AccessibilityReply hit_ = AccessibilityReply::failed(accessibility_error::noValue);
    std::chrono::milliseconds cost_{0};
    std::chrono::milliseconds timeout_{0};
};

using FakeElementPtr = std::shared_ptr<FakeElement>;

class FakeAccessibilitySystem : public halvern::AccessibilitySystem {
public:
    bool trusted = true;
    int trustRequests = 0;
    // Processes that are not on the bus: their application element is null.
    QList<qint32> offTheBus;
    // Lookups the bus does not answer in time: each gives a stand-in that answers nothing.
    int unansweredListings = 0;
    // Called with each request ("label AXRole") before it is answered.
    std::function<void(const QString&)> onRequest;
    QStringList requests;
    QList<std::chrono::milliseconds> sleeps;

    // Parents and children hold each other: the links are cut when the system goes, so the tree is freed.
    ~FakeAccessibilitySystem() override {
        for (const std::weak_ptr<FakeElement>& made : made_)
            if (const FakeElementPtr element = made.lock()) element->unlink();
    }

    FakeElementPtr element(const QString& label, std::optional<qint32> pid) {
        auto element = std::make_shared<FakeElement>(this, label, pid);
        made_.append(element);
        return element;
    }
    FakeElementPtr application(qint32 pid) {
        auto& app = applications_[pid];
        if (!app) app = element(QStringLiteral("app"), pid);
        return app;
    }
    // Links a child under a parent: the child's parent and the parent's children.
    static void link(const FakeElementPtr& parent, const QList<FakeElementPtr>& children) {
        AccessibilityElementList list;
        for (const auto& child : children) {
            child->set(AccessibilityAttribute::parent, AccessibilityElementPtr(parent));
            list.append(child);
        }
        parent->set(AccessibilityAttribute::children, list);
    }

    // Requests made to the element with this label, in order.
    QStringList requestsTo(const QString& label) const {
        QStringList result;
        for (const QString& request : requests)
            if (request.section(QLatin1Char(' '), 0, 0) == label) result.append(request);
        return result;
    }
    qsizetype count(const QString& request) const { return requests.count(request); }

    void advance(std::chrono::milliseconds duration) { now_ += duration; }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
    }

    void record(const QString& request, std::chrono::milliseconds cost) {
        requests.append(request);
        if (onRequest) onRequest(request);
        advance(cost);
    }

    bool isProcessTrusted() override { return trusted; }
    bool requestTrust() override {
        ++trustRequests;
        trusted = true;
        return trusted;
    }
    AccessibilityElementPtr applicationElement(qint32 pid) override {
        if (unansweredListings > 0) {
            --unansweredListings;
            return element(QStringLiteral("unlisted"), std::nullopt);
        }
        if (offTheBus.contains(pid)) return nullptr;
        return application(pid);
    }
    AccessibilityElementPtr systemWideElement() override {
        if (!systemWide_) systemWide_ = element(QStringLiteral("system"), std::nullopt);
        return systemWide_;
    }
    Clock::time_point now() override { return now_; }
    void sleep(std::chrono::milliseconds duration) override {
        sleeps.append(duration);
        advance(duration);
    }

private:
    Clock::time_point start_ = Clock::time_point{} + std::chrono::hours(1);
    Clock::time_point now_ = start_;
    QMap<qint32, FakeElementPtr> applications_;
    QList<std::weak_ptr<FakeElement>> made_;
    FakeElementPtr systemWide_;
};

AccessibilityReply FakeElement::attribute(AccessibilityAttribute attribute) {
    system_->record(label_ + QLatin1Char(' ') + halvern::name(attribute), cost_);
    return replies_.value(attribute, AccessibilityReply::failed(accessibility_error::noValue));
}

AccessibilityReply FakeElement::parameterizedAttribute(AccessibilityParameterizedAttribute attribute,
                                                       const AccessibilityValue& parameter) {
    system_->record(label_ + QLatin1Char(' ') + halvern::name(attribute), cost_);
    const auto handler = parameterized_.value(attribute);
    return handler ? handler(parameter) : AccessibilityReply::failed(accessibility_error::attributeUnsupported);
}

AccessibilityReply FakeElement::elementAtPosition(float, float) {
    system_->record(label_ + QStringLiteral(" hitTest"), cost_);
    return hit_;
}

}  // namespace halvern::testing

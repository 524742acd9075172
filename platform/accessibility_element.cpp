#include "platform/accessibility_element.h"

#include <thread>

namespace halvern {

QString name(AccessibilityAttribute attribute) {
    switch (attribute) {
    case AccessibilityAttribute::role: return QStringLiteral("AXRole");
    case AccessibilityAttribute::subrole: return QStringLiteral("AXSubrole");
    case AccessibilityAttribute::parent: return QStringLiteral("AXParent");
    case AccessibilityAttribute::focusedUIElement: return QStringLiteral("AXFocusedUIElement");
    case AccessibilityAttribute::focusedWindow: return QStringLiteral("AXFocusedWindow");
    case AccessibilityAttribute::focusedApplication: return QStringLiteral("AXFocusedApplication");
    case AccessibilityAttribute::selectedChildren: return QStringLiteral("AXSelectedChildren");
    case AccessibilityAttribute::children: return QStringLiteral("AXChildren");
    case AccessibilityAttribute::selectedText: return QStringLiteral("AXSelectedText");
    case AccessibilityAttribute::selectedTextRange: return QStringLiteral("AXSelectedTextRange");
    case AccessibilityAttribute::selectedTextMarkerRange: return QStringLiteral("AXSelectedTextMarkerRange");
    }
    return {};
}

QString name(AccessibilityParameterizedAttribute attribute) {
    switch (attribute) {
    case AccessibilityParameterizedAttribute::stringForRange: return QStringLiteral("AXStringForRange");
    case AccessibilityParameterizedAttribute::lengthForTextMarkerRange:
        return QStringLiteral("AXLengthForTextMarkerRange");
    case AccessibilityParameterizedAttribute::stringForTextMarkerRange:
        return QStringLiteral("AXStringForTextMarkerRange");
    }
    return {};
}

AccessibilityElement::~AccessibilityElement() = default;
AccessibilitySystem::~AccessibilitySystem() = default;

void AccessibilitySystem::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

bool belongsTo(const AccessibilityElementPtr& element, qint32 owner) {
    if (!element) return false;
    const std::optional<qint32> pid = element->processIdentifier();
    return pid && *pid == owner;
}

AccessibilityElementPtr elementOfOwner(const AccessibilityReply& reply, qint32 owner) {
    AccessibilityElementPtr element = reply.element();
    return belongsTo(element, owner) ? element : nullptr;
}

bool containsElement(const AccessibilityElementList& list, const AccessibilityElementPtr& element) {
    if (!element) return false;
    for (const AccessibilityElementPtr& entry : list)
        if (entry && entry->isSameElement(*element)) return true;
    return false;
}

}  // namespace halvern

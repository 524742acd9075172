#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

// A thin view of the desktop's accessibility tree, in the vocabulary the selection reader is
// written in. The reader talks only to these two interfaces; the AT-SPI implementation
// (atspi_element.h) maps them onto the accessibility bus, and tests use an in-memory tree.
namespace halvern {

class AccessibilityElement;
using AccessibilityElementPtr = std::shared_ptr<AccessibilityElement>;
using AccessibilityElementList = QList<AccessibilityElementPtr>;

// Attributes the reader asks for.
enum class AccessibilityAttribute {
    role,                     // "AXRole": text
    subrole,                  // "AXSubrole": text
    parent,                   // "AXParent": element
    focusedUIElement,         // "AXFocusedUIElement": element
    focusedWindow,            // "AXFocusedWindow": element
    focusedApplication,       // "AXFocusedApplication" (system-wide element): element
    selectedChildren,         // "AXSelectedChildren": list of elements
    children,                 // "AXChildren": list of elements
    selectedText,             // "AXSelectedText": text
    selectedTextRange,        // "AXSelectedTextRange": range
    selectedTextMarkerRange,  // "AXSelectedTextMarkerRange": text-marker range
};

// Attributes that take a parameter.
enum class AccessibilityParameterizedAttribute {
    stringForRange,            // "AXStringForRange" (range) → text
    lengthForTextMarkerRange,  // "AXLengthForTextMarkerRange" (text-marker range) → number
    stringForTextMarkerRange,  // "AXStringForTextMarkerRange" (text-marker range) → text
};

QString name(AccessibilityAttribute attribute);
QString name(AccessibilityParameterizedAttribute attribute);

// The role (or subrole) value that marks a password field.
inline const QString secureTextFieldRole = QStringLiteral("AXSecureTextField");

// A range of text. The unit is the toolkit's own: on AT-SPI, characters (Unicode code points).
struct AccessibilityRange {
    qint64 location = 0;
    qint64 length = 0;
    bool operator==(const AccessibilityRange& other) const = default;
};

// An opaque text-marker range, handed back to the element it came from.
struct AccessibilityTextMarkerRange {
    QVariant token;
};

using AccessibilityValue = std::variant<std::monostate, QString, qint64, AccessibilityRange, AccessibilityElementPtr,
                                        AccessibilityElementList, AccessibilityTextMarkerRange>;

// Error codes of a request. 0 is success; the others are only recorded in diagnostics.
namespace accessibility_error {
inline constexpr int success = 0;
inline constexpr int failure = -1;             // the request failed for another reason
inline constexpr int timedOut = -2;            // no reply within the messaging time-out
inline constexpr int invalidElement = -3;      // the element is gone or unknown
inline constexpr int attributeUnsupported = -4; // the element does not provide this
inline constexpr int noValue = -5;             // provided, but there is no value now
inline constexpr int notAttempted = -6;        // the request was not made (deadline, cancellation)
}  // namespace accessibility_error

struct AccessibilityReply {
    int error = accessibility_error::noValue;
    AccessibilityValue value;

    static AccessibilityReply ok(AccessibilityValue value) { return {accessibility_error::success, std::move(value)}; }
    static AccessibilityReply failed(int error) { return {error, {}}; }
    bool succeeded() const { return error == accessibility_error::success; }

    // The value when the request succeeded and it has that kind; nothing otherwise.
    template <typename T>
    std::optional<T> as() const {
        if (!succeeded()) return std::nullopt;
        if (const T* held = std::get_if<T>(&value)) return *held;
        return std::nullopt;
    }
    // An element value, or null.
    AccessibilityElementPtr element() const {
        auto held = as<AccessibilityElementPtr>();
        return held ? *held : nullptr;
    }
};

// One element of another application's interface. Requests block for at most the messaging
// time-out last set on the element; a request that fails or times out gives no value.
class AccessibilityElement {
public:
    virtual ~AccessibilityElement();

    // The time-out of later requests to this element.
    virtual void setMessagingTimeout(std::chrono::milliseconds timeout) = 0;
    // The process the element belongs to, or nothing when it cannot be told.
    virtual std::optional<qint32> processIdentifier() const = 0;
    // Whether both stand for the same element of the same application.
    virtual bool isSameElement(const AccessibilityElement& other) const = 0;

    virtual AccessibilityReply attribute(AccessibilityAttribute attribute) = 0;
    virtual AccessibilityReply parameterizedAttribute(AccessibilityParameterizedAttribute attribute,
                                                      const AccessibilityValue& parameter) = 0;
    // The deepest element at a point in screen coordinates (origin top left of the screen),
    // asked of an application element.
    virtual AccessibilityReply elementAtPosition(float x, float y) = 0;
    // Forgets what the element may remember of earlier answers (where one answer takes many
    // requests): later requests ask the application again.
    virtual void refresh() {}
};

// The desktop's accessibility service: trust, the application elements and the clock the reader
// measures its deadlines with.
class AccessibilitySystem {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~AccessibilitySystem();

    // Whether assistive technologies may read other applications now.
    virtual bool isProcessTrusted() = 0;
    // Turns assistive-technology support on where that is possible; whether it is on now.
    virtual bool requestTrust() = 0;
    // The element of the application with this process id. Null when the application is known not
    // to be on the accessibility bus; when that cannot be told in time, an element whose requests
    // fail.
    virtual AccessibilityElementPtr applicationElement(qint32 processIdentifier) = 0;
    // The element that stands for the whole desktop.
    virtual AccessibilityElementPtr systemWideElement() = 0;

    virtual Clock::time_point now() { return Clock::now(); }
    virtual void sleep(std::chrono::milliseconds duration);

    // The accessibility bus of this desktop (AT-SPI).
    static AccessibilitySystem& standard();
};

// Whether a value is an element that belongs to `owner`.
AccessibilityElementPtr elementOfOwner(const AccessibilityReply& reply, qint32 owner);
bool belongsTo(const AccessibilityElementPtr& element, qint32 owner);
bool containsElement(const AccessibilityElementList& list, const AccessibilityElementPtr& element);

}  // namespace halvern

#pragma once

#include <QPointF>
#include <QString>

#include "base/cancellation.h"
#include "base/errors.h"
#include "core/direct_selection_rules.h"
#include "platform/accessibility_element.h"

// Reads the text selected in another application through the accessibility tree, without
// touching the clipboard.
namespace halvern {

// A successful selection read.
struct SelectionReadResult {
    QString text;   // validated by DirectSelectionRules
    QString route;  // how the text was obtained, with the read's diagnostic suffix
    int attempt = 1;
    // The read passed over a password field that may hold a selection (it tells a selected range, or
    // does not answer): the text is this element's selection only where PRIMARY holds the same.
    bool besidePasswordField = false;

    bool operator==(const SelectionReadResult& other) const = default;
};

// A failed accessibility read. Its message is the reason's; the diagnostics line is only for the
// diagnostics display.
class SelectionReadFailure : public base::Error {
public:
    SelectionReadFailure(tamsel::DirectSelectionFailure::Case reason, QString diagnostics, bool nothingSelected = false)
        : reason_(reason), diagnostics_(std::move(diagnostics)), nothingSelected_(nothingSelected) {}

    tamsel::DirectSelectionFailure::Case reason() const { return reason_; }
    const QString& diagnostics() const { return diagnostics_; }
    // A protectedField failure where every password field the read met shows an empty selection and no
    // other element shows one: nothing is selected there.
    bool nothingSelected() const { return nothingSelected_; }
    QString message() const override { return tamsel::DirectSelectionFailure(reason_).message(); }

private:
    tamsel::DirectSelectionFailure::Case reason_;
    QString diagnostics_;
    bool nothingSelected_ = false;
};

struct SelectedTextReader {
    // Fixed values of a read.
    static constexpr std::chrono::milliseconds deadline{2500};
    static constexpr std::chrono::milliseconds messagingTimeout{120};
    static constexpr int attempts = 3;
    static constexpr std::chrono::milliseconds pauseAfterFirstAttempt{150};
    static constexpr std::chrono::milliseconds pauseAfterSecondAttempt{250};
    static constexpr std::chrono::milliseconds pauseMargin{250};
    static constexpr int selectedChildrenPerCandidate = 8;
    static constexpr int candidatesForSelectedChildren = 15;
    static constexpr int secureWalkElements = 7;
    static constexpr qint64 longestRange = 4 * tamsel::DirectSelectionRules::limit;
    static constexpr int windowSearchElements = 40;
    static constexpr int windowSearchChildDepth = 3;
    static constexpr std::chrono::milliseconds compatibilityCopyDeadline{400};

    // Route names: the start of SelectionReadResult::route.
    static inline const QString selectedTextRoute = QStringLiteral("AXSelectedText");
    static inline const QString stringForRangeRoute = QStringLiteral("AXStringForRange");
    static inline const QString textMarkerRoute =
        QStringLiteral("AXSelectedTextMarkerRange → AXStringForTextMarkerRange");
    static inline const QString windowSearchRoute = QStringLiteral("AXWindowSearch → AXSelectedText");
    // The diagnostics of a read from a program that is not on the accessibility bus, and from one
    // that is but shows nothing there (its windows hold no element).
    static inline const QString notOnTheBusDiagnostics = QStringLiteral("AX not on the accessibility bus");
    static inline const QString emptyOnTheBusDiagnostics = QStringLiteral("AX windows without content on the bus");
    // Windows of an application looked at for content.
    static constexpr int contentWindows = 16;

    // Whether assistive technologies may read other applications (the desktop's switch).
    static bool isAuthorized(AccessibilitySystem& system = AccessibilitySystem::standard());
    // Turns the desktop's switch on; whether it is on now.
    static bool requestAuthorization(AccessibilitySystem& system = AccessibilitySystem::standard());

    // Reads the selection of the application with that process id. `pointer` is the end of the
    // selection gesture in screen coordinates (origin top left). Blocks for at most about 2.5 s
    // plus one messaging time-out; never call it on the main thread. Throws
    // DirectSelectionFailure permission (untrusted at the start), SelectionReadFailure, or
    // base::CancellationError when `cancellation` is cancelled. A program that is not on the
    // accessibility bus, or is but whose windows hold nothing (a browser whose page content is
    // not exposed), fails at once as unsupported. An element whose selected text has no
    // letter or digit does not end the attempt: the other candidates are read first, and only
    // when none holds a selection the read fails as noText; where they held only the characters
    // that stand for embedded objects, whose text a busy program may give later, only after the
    // last attempt. A password field among the elements looked at (where the focus or the pointer
    // is, or holding a selection in a window, or anywhere in a window where the bus names no focused
    // element) is never read, and fails the attempt as protectedField when no other element shows a
    // selection; where one does, the result tells whether the field may hold a selection itself.
    static SelectionReadResult read(qint32 processIdentifier, QPointF pointer,
                                    const base::CancellationToken& cancellation = {},
                                    AccessibilitySystem& system = AccessibilitySystem::standard());

    // Whether a failed read got past finding the program's content on the bus: it is on the bus
    // with its windows' content (the failure is not one of a program off the bus or showing nothing).
    static bool showsContent(const SelectionReadFailure& failure) {
        return failure.diagnostics() != notOnTheBusDiagnostics && failure.diagnostics() != emptyOnTheBusDiagnostics;
    }

    // What the first attempt of a read looks up before it reads anything selected: the application
    // on the bus and the elements that may hold the selection (the focused element, the element
    // under the pointer, the active window and its focused element).
    struct Preparation {
        qint32 processIdentifier = 0;
        QPointF pointer;
        bool complete = false;                // the lookups were made; else the read makes them
        AccessibilityElementPtr application;  // null when complete: the program is not on the bus
        bool empty = false;                   // its windows hold nothing
        AccessibilityElementPtr window;
        AccessibilityElementList candidates;
        int focusCode = 0;
        int hitCode = 0;
    };
    // Makes those lookups now, while a gesture's selection settles, so that the read after the wait
    // only reads the selection. Asks nothing when untrusted; never throws. Blocks like read().
    static Preparation prepare(qint32 processIdentifier, QPointF pointer,
                               const base::CancellationToken& cancellation = {},
                               AccessibilitySystem& system = AccessibilitySystem::standard());
    // read() with the first attempt's lookups taken from `prepared` when it is complete; later
    // attempts look again.
    static SelectionReadResult read(const Preparation& prepared, const base::CancellationToken& cancellation = {},
                                    AccessibilitySystem& system = AccessibilitySystem::standard());

    // What the bus tells of the application's focused element: that it lies in a password field
    // (it or one of its six nearest ancestors), that it does not, or nothing: not on the bus, no
    // focused element found, or no answer within the 0.4 s of the guard below. Asks nothing about
    // the trust, which the caller has checked.
    enum class FocusedField { unknown, password, ordinary };
    static FocusedField focusedField(qint32 processIdentifier,
                                     AccessibilitySystem& system = AccessibilitySystem::standard());

    // False when untrusted or when the application's focused element lies in a password field.
    static bool permitsCompatibilityCopy(qint32 processIdentifier,
                                         AccessibilitySystem& system = AccessibilitySystem::standard());
};

}  // namespace halvern

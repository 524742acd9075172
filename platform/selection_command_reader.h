#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <variant>

#include "platform/accessibility_element.h"
#include "platform/selection_service_provider.h"

// The selection the person asks to study with `orvel --study-selection`: the PRIMARY selection,
// whoever owns it (a window of any program, or a compositor's bridge for its native windows), but
// never a password field's.
namespace halvern {

// What the PRIMARY selection looked like when the command asked.
struct PrimarySelectionFindings {
    bool owned = false;  // some window owns PRIMARY
    // The process of that window, when one can be told; for the compositor's window, the process of
    // the native window with the keyboard focus.
    std::optional<qint32> ownerProcess;
    bool passwordFocused = false;  // the accessibility bus says that process's focus is a password field
    // That process is a web browser whose focused field the bus does not show: its PRIMARY may be a
    // password field's, in clear.
    bool unconfirmedBrowserField = false;
    // The owner is the compositor's window for a native window whose program nothing tells, and a
    // web browser runs: the selection may be its password field's.
    bool unknownSource = false;
    std::optional<QString> text;  // what the owner handed over; not asked in the cases above

    bool operator==(const PrimarySelectionFindings&) const = default;
};

struct SelectionCommandReader {
    // The text to hand over, validated as the selection entry validates it, or why there is none.
    using Outcome = std::variant<QString, SelectionRefusal>;

    // How long the command waits for the shell extension's answer: the first question of a
    // connection has the shell ask the bus who is calling.
    static constexpr std::chrono::milliseconds commandShellTimeout{500};

    static Outcome decide(const PrimarySelectionFindings& findings);
    // Whether the text is made only of the mask characters a password entry shows in place of its
    // text (and puts into PRIMARY when its "selection" is dragged over): "●", "•", "✱", "*" and kin.
    static bool isMaskedText(const QString& text);
    // Asks the display and, when the desktop's accessibility switch is on, the accessibility bus.
    // Main thread.
    static PrimarySelectionFindings inspect(AccessibilitySystem& system = AccessibilitySystem::standard());
    static Outcome read() { return decide(inspect()); }
};

}  // namespace halvern

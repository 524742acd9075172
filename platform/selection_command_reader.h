#pragma once

#include <QString>

#include <chrono>
#include <variant>

#include "core/selection_read_rule.h"
#include "platform/accessibility_element.h"
#include "platform/selection_service_provider.h"

// The selection the person asks to study with `orvel --study-selection`: the PRIMARY selection,
// whoever owns it (a window of any program, or a compositor's bridge for its native windows), but
// only where SelectionReadRule allows it: never a password field's.
namespace halvern {

struct SelectionCommandReader {
    // The text to hand over, validated as the selection entry validates it, or why there is none.
    using Outcome = std::variant<QString, SelectionRefusal>;

    // How long the command waits for the shell extension's answer: the first question of a
    // connection has the shell ask the bus who is calling.
    static constexpr std::chrono::milliseconds commandShellTimeout{500};

    // The rule's verdict on what was found, then the entry's own check of the text.
    static Outcome decide(const tamsel::SelectionReadRule::Evidence& evidence);
    // Asks the display, the program files and, when the desktop's accessibility switch is on, the
    // accessibility bus. Main thread.
    static tamsel::SelectionReadRule::Evidence inspect(AccessibilitySystem& system = AccessibilitySystem::standard());
    static Outcome read() { return decide(inspect()); }
};

}  // namespace halvern

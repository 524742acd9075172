#pragma once

#include <QString>

#include <chrono>
#include <variant>

#include "core/selection_read_rule.h"
#include "platform/accessibility_element.h"
#include "platform/selection_service_provider.h"
#include "platform/shell_pointer.h"

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

    // The rule's verdict on what was found, then the entry's own check of the text. `shell` is where
    // GNOME Shell's extension stands, asked where the compositor passed a selection on whose program
    // nothing told: the refusal's advice follows it (nothing: not asked, or no answer).
    static Outcome decide(const tamsel::SelectionReadRule::Evidence& evidence,
                          std::optional<ShellPointer::Access> shell = std::nullopt);
    // Asks the display, the program files and, when the desktop's accessibility switch is on, the
    // accessibility bus; and the shell, into `shell`, where its extension did not tell the program of a
    // selection the compositor passed on. Main thread.
    static tamsel::SelectionReadRule::Evidence inspect(AccessibilitySystem& system = AccessibilitySystem::standard(),
                                                       std::optional<ShellPointer::Access>* shell = nullptr);
    static Outcome read() {
        std::optional<ShellPointer::Access> shell;
        const tamsel::SelectionReadRule::Evidence evidence = inspect(AccessibilitySystem::standard(), &shell);
        return decide(evidence, shell);
    }
};

}  // namespace halvern

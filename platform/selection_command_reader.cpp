#include "platform/selection_command_reader.h"

#include "base/text.h"
#include "core/study.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"

namespace halvern {

bool SelectionCommandReader::isMaskedText(const QString& text) {
    // GTK's choices of the invisible character, and Qt's.
    static const QString masks = QStringLiteral("\u25CF\u26AB\u2022\u2731\u273A*");
    const QString trimmed = base::text::trimmed(text);
    if (trimmed.isEmpty()) return false;
    for (const QChar character : trimmed)
        if (!masks.contains(character)) return false;
    return true;
}

SelectionCommandReader::Outcome SelectionCommandReader::decide(const PrimarySelectionFindings& findings) {
    if (!findings.owned) return SelectionRefusal::noSelection;
    if (findings.passwordFocused) return SelectionRefusal::protectedField;
    if (findings.unconfirmedBrowserField) return SelectionRefusal::unconfirmedBrowserField;
    if (findings.unknownSource) return SelectionRefusal::unknownSource;
    if (!findings.text) return SelectionRefusal::noSelection;
    if (isMaskedText(*findings.text)) return SelectionRefusal::protectedField;
    try {
        return tamsel::SourceText::validated(*findings.text);
    } catch (const tamsel::StudyError& error) {
        return error.errorCase() == tamsel::StudyError::Case::inputTooLong ? SelectionRefusal::tooLong
                                                                           : SelectionRefusal::noSelection;
    }
}

PrimarySelectionFindings SelectionCommandReader::inspect(AccessibilitySystem& system) {
    PrimarySelectionFindings findings;
    const x11::WindowId owner = x11::primaryOwner();
    findings.owned = owner != 0;
    if (!findings.owned) return findings;
    findings.ownerProcess = x11::owningProcess(owner);
    // A native Wayland window's selection reaches PRIMARY through a window of the compositor's own:
    // its program is the one with the keyboard focus, as the shell extension tells it. Where nothing
    // tells, any web browser that runs may have made it.
    if (!findings.ownerProcess || x11::madeByWindowManager(owner)) {
        findings.ownerProcess.reset();
        const std::optional<ShellPointer::State> shell = ShellPointer::shared().state(commandShellTimeout);
        if (shell && shell->focusedProcess > 0)
            findings.ownerProcess = shell->focusedProcess;
        else
            findings.unknownSource = SelectionClipboardReader::aWebBrowserRuns();
    }
    if (findings.ownerProcess) {
        // Without the switch the bus tells nothing; the mask characters still give a password entry away,
        // but a browser's password field shows none.
        const SelectedTextReader::FocusedField focus =
            SelectedTextReader::isAuthorized(system) ? SelectedTextReader::focusedField(*findings.ownerProcess, system)
                                                     : SelectedTextReader::FocusedField::unknown;
        findings.passwordFocused = focus == SelectedTextReader::FocusedField::password;
        findings.unconfirmedBrowserField = focus == SelectedTextReader::FocusedField::unknown &&
                                           SelectionClipboardReader::isWebBrowser(*findings.ownerProcess);
    }
    if (!findings.passwordFocused && !findings.unconfirmedBrowserField && !findings.unknownSource)
        findings.text = x11::primarySelectionText(SelectionClipboardReader::primaryTimeout);
    return findings;
}

}  // namespace halvern

#include "platform/selection_command_reader.h"

#include "core/study.h"
#include "platform/program_identity.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"

namespace halvern {

using Rule = tamsel::SelectionReadRule;

SelectionCommandReader::Outcome SelectionCommandReader::decide(const Rule::Evidence& evidence,
                                                               std::optional<ShellPointer::Access> shell) {
    const Rule::Verdict verdict = Rule::decide(Rule::Asker::command, evidence);
    if (verdict.routes.isEmpty()) {
        switch (verdict.refusal) {
        case Rule::Refusal::passwordField: return SelectionRefusal::protectedField;
        case Rule::Refusal::unconfirmedBrowserField:
        case Rule::Refusal::unconfirmedBrowserFieldWithoutCopy: return SelectionRefusal::unconfirmedBrowserField;
        case Rule::Refusal::unconfirmedWebViewField:
        case Rule::Refusal::unconfirmedWebViewFieldWithoutCopy: return SelectionRefusal::unconfirmedWebViewField;
        case Rule::Refusal::unconfirmedProgramField: return SelectionRefusal::unconfirmedProgramField;
        case Rule::Refusal::unshownWebSelection:
        case Rule::Refusal::unshownWebSelectionWithoutCopy: return SelectionRefusal::unshownWebSelection;
        case Rule::Refusal::unknownSource:
            // Enabling the extension helps only where GNOME Shell runs and the extension does not.
            if (shell == ShellPointer::Access::notGnome) return SelectionRefusal::unknownSourceOutsideGnome;
            if (shell == ShellPointer::Access::active) return SelectionRefusal::unknownSourceUntold;
            return SelectionRefusal::unknownSource;
        case Rule::Refusal::remoteSource: return SelectionRefusal::remoteSource;
        case Rule::Refusal::unknownProgram: return SelectionRefusal::unknownProgram;
        case Rule::Refusal::primaryUnanswered:
        case Rule::Refusal::readFailure:
        case Rule::Refusal::noSelection: return SelectionRefusal::noSelection;
        }
    }
    try {
        return tamsel::SourceText::validated(evidence.primary.value_or(QString()));
    } catch (const tamsel::StudyError& error) {
        return error.errorCase() == tamsel::StudyError::Case::inputTooLong ? SelectionRefusal::tooLong
                                                                           : SelectionRefusal::noSelection;
    }
}

Rule::Evidence SelectionCommandReader::inspect(AccessibilitySystem& system,
                                               std::optional<ShellPointer::Access>* shell) {
    Rule::Evidence evidence;
    const x11::WindowId owner = x11::primaryOwner();
    evidence.primaryOwned = owner != 0;
    if (!evidence.primaryOwned) return evidence;
    std::optional<qint32> source;
    // A native Wayland window's selection reaches PRIMARY through a window of the compositor's own:
    // its program is the one whose window had the keyboard focus when it set the selection (no other
    // client may), as the shell extension noted then; the window focused now may be any other.
    // Where nothing tells, any web browser connected to this session may have made it.
    const bool native = x11::madeByWindowManager(owner);
    if (native) {
        source = ShellPointer::shared().primarySource(commandShellTimeout);
        if (!source && shell) *shell = ShellPointer::shared().access();
    } else {
        // Any other owner's program is the one the display server names for its client, whatever its
        // windows carry; a client it cannot name runs on another machine, as does one whose windows name
        // another host and no process, and one whose windows name another process is a relay's (ssh -X,
        // a viewer, a proxy).
        source = x11::windowProcess(owner);
        evidence.sourceRemote = !source || x11::shownFromElsewhere(*source, owner);
    }
    evidence.sourceKnown = source.has_value();
    // Nothing is asked of another machine's client, nor of a program that cannot be told or passes on
    // what other machines show.
    if (evidence.sourceRemote) return evidence;
    if (source) evidence.program = ProgramIdentity::of(*source);
    using Program = tamsel::SelectionReadRule::Program;
    if (evidence.program == Program::forwarder || evidence.program == Program::unknown) return evidence;
    if (!source) {
        evidence.webBrowserRunsHere = ProgramIdentity::webBrowserRunsHere();
    } else {
        // What the bus shows selected there (without the switch it shows nothing); the pointer is where
        // the person left it, likely near the selection. Over native windows only the shell knows where
        // that is: X11's pointer stays where it last was over an X window.
        if (SelectedTextReader::isAuthorized(system)) {
            std::optional<QPoint> pointer;
            if (native)
                if (const auto state = ShellPointer::shared().state(commandShellTimeout)) pointer = state->position;
            if (!pointer) pointer = x11::pointerPosition();
            try {
                const SelectionReadResult read =
                    SelectedTextReader::read(*source, pointer.value_or(QPoint()), {}, system);
                evidence.shown = read.text;
                evidence.shownBesidePasswordField = read.besidePasswordField;
                evidence.sourceOnBus = true;
            } catch (const SelectionReadFailure& failure) {
                evidence.readFailure = failure.reason();
                evidence.passwordFieldEmpty = failure.nothingSelected();
                evidence.sourceOnBus = SelectedTextReader::showsContent(failure);
            } catch (const tamsel::DirectSelectionFailure& failure) {
                evidence.readFailure = failure.failureCase();
            }
        }
    }
    // Nothing is asked of PRIMARY where the rule refuses it whatever it holds.
    if (evidence.readFailure != tamsel::DirectSelectionFailure::Case::protectedField &&
        (evidence.sourceKnown || !evidence.webBrowserRunsHere))
        evidence.primary = x11::primarySelectionText(SelectionClipboardReader::primaryTimeout, owner);
    return evidence;
}

}  // namespace halvern

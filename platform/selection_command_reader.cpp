#include "platform/selection_command_reader.h"

#include "core/study.h"
#include "platform/program_identity.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"

namespace halvern {

using Rule = tamsel::SelectionReadRule;

SelectionCommandReader::Outcome SelectionCommandReader::decide(const Rule::Evidence& evidence) {
    const Rule::Verdict verdict = Rule::decide(Rule::Asker::command, evidence);
    if (verdict.routes.isEmpty()) {
        switch (verdict.refusal) {
        case Rule::Refusal::passwordField: return SelectionRefusal::protectedField;
        case Rule::Refusal::unconfirmedBrowserField:
        case Rule::Refusal::unconfirmedBrowserFieldWithoutCopy: return SelectionRefusal::unconfirmedBrowserField;
        case Rule::Refusal::unconfirmedWebViewField:
        case Rule::Refusal::unconfirmedWebViewFieldWithoutCopy: return SelectionRefusal::unconfirmedWebViewField;
        case Rule::Refusal::unconfirmedProgramField: return SelectionRefusal::unconfirmedProgramField;
        case Rule::Refusal::unknownSource: return SelectionRefusal::unknownSource;
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

Rule::Evidence SelectionCommandReader::inspect(AccessibilitySystem& system) {
    Rule::Evidence evidence;
    const x11::WindowId owner = x11::primaryOwner();
    evidence.primaryOwned = owner != 0;
    if (!evidence.primaryOwned) return evidence;
    std::optional<qint32> source;
    // A native Wayland window's selection reaches PRIMARY through a window of the compositor's own:
    // its program is the one whose window had the keyboard focus when it set the selection (no other
    // client may), as the shell extension noted then; the window focused now may be any other.
    // Where nothing tells, any web browser connected to this session may have made it.
    if (x11::madeByWindowManager(owner)) {
        source = ShellPointer::shared().primarySource(commandShellTimeout);
    } else {
        // Any other owner's program is the one the display server names for its client, whatever its
        // windows carry; a client it cannot name runs on another machine, as does one whose windows
        // name another.
        source = x11::windowProcess(owner);
        evidence.sourceRemote = !source || x11::namesAnotherMachine(*source, owner);
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
        // the person left it, likely near the selection.
        if (SelectedTextReader::isAuthorized(system)) {
            try {
                const QPointF pointer = x11::pointerPosition().value_or(QPoint());
                evidence.shown = SelectedTextReader::read(*source, pointer, {}, system).text;
            } catch (const SelectionReadFailure& failure) {
                evidence.readFailure = failure.reason();
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

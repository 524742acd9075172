#include "core/selection_read_rule.h"

#include <QRegularExpression>

#include "base/text.h"

namespace tamsel {

using Case = DirectSelectionFailure::Case;

bool SelectionReadRule::isMaskedText(const QString& text) {
    // GTK's choices of the invisible character, and Qt's.
    static const QString masks = QStringLiteral("\u25CF\u26AB\u2022\u2731\u273A*");
    const QString trimmed = base::text::trimmed(text);
    if (trimmed.isEmpty()) return false;
    for (const QChar character : trimmed)
        if (!masks.contains(character)) return false;
    return true;
}

bool SelectionReadRule::sameSelection(const QString& first, const QString& second) {
    static const QRegularExpression space(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    const auto squeezed = [](const QString& text) {
        return base::text::trimmed(text).normalized(QString::NormalizationForm_C).replace(space, QStringLiteral(" "));
    };
    const QString left = squeezed(first);
    return !left.isEmpty() && left == squeezed(second);
}

SelectionReadRule::Verdict SelectionReadRule::decide(Asker asker, const Evidence& evidence) {
    // A password field the bus shows, or one that PRIMARY's mask characters give away, is never read;
    // nor is anything else taken from its program (not even its own copy, whose key would go to the
    // field). Where the field shows that nothing is selected in it, nothing was.
    const bool masked = evidence.primary && isMaskedText(*evidence.primary);
    if (evidence.readFailure == Case::protectedField)
        return {{}, evidence.passwordFieldEmpty && !masked ? Refusal::noSelection : Refusal::passwordField};
    if (masked) return {{}, Refusal::passwordField};

    if (asker == Asker::command && !evidence.primaryOwned) return {{}, Refusal::noSelection};
    // Nothing on another machine is known to keep a password field's text out of PRIMARY, and nothing
    // is known of a program that cannot be told.
    if (evidence.sourceRemote || evidence.program == Program::forwarder) return {{}, Refusal::remoteSource};
    if (evidence.program == Program::unknown) return {{}, Refusal::unknownProgram};
    const bool webView = evidence.program == Program::webView;

    // Beside a password field that may hold a selection, the bus's text is the selection PRIMARY holds
    // or nothing tells where PRIMARY's came from.
    const bool shownIsPrimary = evidence.shown && evidence.primary && sameSelection(*evidence.shown, *evidence.primary);
    const bool besidePasswordField = evidence.shown && evidence.shownBesidePasswordField && !shownIsPrimary;

    if (asker == Asker::command) {
        if (!evidence.sourceKnown && evidence.webBrowserRunsHere) return {{}, Refusal::unknownSource};
        if (besidePasswordField) return {{}, Refusal::passwordField};
        if (evidence.sourceKnown && evidence.program != Program::ordinary) {
            // Only the very selection the bus shows in an ordinary element now.
            if (shownIsPrimary) return {{Route::primary}, Refusal::noSelection};
            if (evidence.program == Program::clearPrimary) return {{}, Refusal::unconfirmedProgramField};
            if (evidence.sourceOnBus) return {{}, Refusal::unshownWebSelectionWithoutCopy};
            return {{}, webView ? Refusal::unconfirmedWebViewField : Refusal::unconfirmedBrowserField};
        }
        if (!evidence.primary) return {{}, Refusal::noSelection};
        return {{Route::primary}, Refusal::noSelection};
    }

    if (evidence.shown && evidence.primaryOwned && !evidence.primary) return {{}, Refusal::primaryUnanswered};
    if (besidePasswordField) return {{}, Refusal::passwordField};
    // The bus may show an older selection of another element (a toolkit that keeps an entry's
    // selection after the focus left it): where the program's PRIMARY holds another text, that is
    // the selection just made, and the bus does not show where it is.
    if (evidence.shown && (!evidence.primary || sameSelection(*evidence.shown, *evidence.primary)))
        return {{Route::shown}, Refusal::readFailure};
    if (!evidence.shown && !evidence.readFailure) return {{}, Refusal::readFailure};
    // PRIMARY holds what was selected where the bus shows nothing (off the bus, or only text without a
    // letter was found); the program's own copy may reach it where the read found nothing in time.
    const Case reason = evidence.shown ? Case::unsupported : *evidence.readFailure;
    const bool copyMayReach =
        (reason == Case::unsupported || reason == Case::timedOut) && evidence.copyEnabled && evidence.copyKeyReachable;
    const bool primaryMayHold = reason == Case::unsupported || reason == Case::noText || copyMayReach;
    switch (evidence.program) {
    case Program::webBrowser:
    case Program::webView:
        // Its PRIMARY may be a password field's; its own copy refuses one.
        if (copyMayReach) return {{Route::ownCopy}, Refusal::readFailure};
        if (!primaryMayHold) return {{}, Refusal::readFailure};
        // Its page is on the bus: the switch that opens it there is on already.
        if (evidence.sourceOnBus)
            return {{},
                    evidence.copyKeyReachable && !evidence.copyEnabled ? Refusal::unshownWebSelection
                                                                       : Refusal::unshownWebSelectionWithoutCopy};
        if (webView)
            return {{},
                    evidence.copyKeyReachable ? Refusal::unconfirmedWebViewField
                                              : Refusal::unconfirmedWebViewFieldWithoutCopy};
        return {
            {},
            evidence.copyKeyReachable ? Refusal::unconfirmedBrowserField : Refusal::unconfirmedBrowserFieldWithoutCopy};
    case Program::clearPrimary:
        // Both its PRIMARY and its own copy may hold a password in clear.
        if (!primaryMayHold) return {{}, Refusal::readFailure};
        return {{}, Refusal::unconfirmedProgramField};
    case Program::ordinary:
    case Program::forwarder:
    case Program::unknown: break;
    }
    Verdict verdict;
    if (primaryMayHold && evidence.primary) verdict.routes.append(Route::primary);
    if (copyMayReach) verdict.routes.append(Route::ownCopy);
    return verdict;
}

}  // namespace tamsel

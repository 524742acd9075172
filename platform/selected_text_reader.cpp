#include "platform/selected_text_reader.h"

#include "base/text.h"

namespace halvern {

using tamsel::DirectSelectionFailure;
using tamsel::DirectSelectionRules;
using Case = DirectSelectionFailure::Case;
using Attr = AccessibilityAttribute;
using Param = AccessibilityParameterizedAttribute;

namespace {

// The state of one read: its owner, deadline and cancellation.
struct ReadContext {
    AccessibilitySystem& system;
    const base::CancellationToken& cancellation;
    AccessibilitySystem::Clock::time_point deadline;
    qint32 owner = 0;
    // Some element held selected text without a letter or digit (punctuation); some held only the
    // characters that stand for embedded objects, whose own text was not had in time.
    mutable bool unusableText = false;
    mutable bool objectStandIns = false;
    // A candidate lay in a password field: the attempt is refused unless another element shows the
    // selection. The field may hold one itself (it tells a range, or does not answer): then the text
    // another element shows is that element's selection only where PRIMARY holds the same.
    mutable bool passedOverPasswordField = false;
    mutable bool passwordFieldMayHoldSelection = false;

    bool beforeDeadline() const { return system.now() < deadline; }
    bool cancelled() const { return cancellation.isCancelled(); }
    bool open() const { return beforeDeadline() && !cancelled(); }

    // A request made only before the deadline and while not cancelled, with the messaging
    // time-out set on the element first.
    AccessibilityReply attribute(const AccessibilityElementPtr& element, Attr attribute) const {
        if (!element || !open()) return AccessibilityReply::failed(accessibility_error::notAttempted);
        element->setMessagingTimeout(SelectedTextReader::messagingTimeout);
        return element->attribute(attribute);
    }
    AccessibilityReply parameterized(const AccessibilityElementPtr& element, Param attribute,
                                     const AccessibilityValue& parameter) const {
        if (!element || !open()) return AccessibilityReply::failed(accessibility_error::notAttempted);
        element->setMessagingTimeout(SelectedTextReader::messagingTimeout);
        return element->parameterizedAttribute(attribute, parameter);
    }
};

// Text whose trimmed form is not empty.
std::optional<QString> meaningfulText(const AccessibilityReply& reply) {
    const std::optional<QString> text = reply.as<QString>();
    if (!text || base::text::trimmed(*text).isEmpty()) return std::nullopt;
    return text;
}

// Whether the text is only the characters that stand for embedded objects (a web document's
// paragraphs), and blanks.
bool onlyObjectStandIns(const QString& text) {
    return base::text::trimmed(QString(text).remove(QChar(0xFFFC))).isEmpty();
}

// The text as a selection, or nothing when it holds no letter or digit: then another element may
// still hold the selection. A text over the length limit ends the read.
std::optional<QString> usable(const ReadContext& context, const QString& text) {
    try {
        return DirectSelectionRules::validated(text);
    } catch (const DirectSelectionFailure& failure) {
        if (failure.failureCase() != Case::noText) throw;
        (onlyObjectStandIns(text) ? context.objectStandIns : context.unusableText) = true;
        return std::nullopt;
    }
}

bool isSecure(const AccessibilityReply& reply) {
    const std::optional<QString> text = reply.as<QString>();
    return text && *text == secureTextFieldRole;
}

struct Found {
    QString text;
    QString route;
};

// Whether the element says it holds no selection: an empty range, asked for without its text.
bool showsNoSelection(const ReadContext& context, const AccessibilityElementPtr& element) {
    const auto range = context.attribute(element, Attr::selectedTextRange).as<AccessibilityRange>();
    return range && range->location >= 0 && range->length == 0;
}

// The secure-field walk: the element and its six nearest ancestors of the same owner. Where it meets
// a password field, `inside` becomes the number of elements, from the first, that are such a field
// or lie in one: none of them is read. Whether that field may hold the selection (it or an element in
// it tells a selected range, or does not answer) is noted for the read. A walk the deadline cut short
// proves nothing.
AccessibilityElementList secureChain(const ReadContext& context, const AccessibilityElementPtr& element,
                                     qsizetype& inside) {
    AccessibilityElementList chain;
    AccessibilityElementPtr current = element;
    while (true) {
        if (!context.open()) break;
        if (containsElement(chain, current)) break;
        if (!belongsTo(current, context.owner)) break;
        chain.append(current);
        const AccessibilityReply role = context.attribute(current, Attr::role);
        const AccessibilityReply subrole = context.attribute(current, Attr::subrole);
        if (isSecure(role) || isSecure(subrole)) {
            for (const AccessibilityElementPtr& within : chain.mid(inside))
                if (!showsNoSelection(context, within)) context.passwordFieldMayHoldSelection = true;
            inside = chain.size();
        }
        const AccessibilityElementPtr parent = context.attribute(current, Attr::parent).element();
        if (!parent) break;
        current = parent;
        if (chain.size() == SelectedTextReader::secureWalkElements) break;
    }
    context.passedOverPasswordField |= inside > 0;
    if (context.cancelled()) throw base::CancellationError();
    if (!context.beforeDeadline()) throw DirectSelectionFailure(inside > 0 ? Case::protectedField : Case::timedOut);
    return chain;
}

// The read of one candidate: the secure-field walk, then the routes on the candidate (and, with
// `includeAncestors`, on its ancestors), each element at most once per attempt.
std::optional<Found> selectedText(const ReadContext& context, const AccessibilityElementPtr& candidate,
                                  AccessibilityElementList& visited, bool includeAncestors) {
    qsizetype inside = 0;
    // A password field is passed over; the page or form around it may show the selection made
    // elsewhere in it.
    const AccessibilityElementList chain = secureChain(context, candidate, inside);
    const AccessibilityElementList toRead = includeAncestors ? chain.mid(inside) : chain.mid(0, inside > 0 ? 0 : 1);
    for (const AccessibilityElementPtr& element : toRead) {
        if (!context.open()) continue;
        if (containsElement(visited, element)) continue;
        visited.append(element);

        std::optional<AccessibilityRange> keptRange;
        if (const auto range = context.attribute(element, Attr::selectedTextRange).as<AccessibilityRange>()) {
            if (range->location < 0 || range->length < 0) continue;
            if (range->length > SelectedTextReader::longestRange) throw DirectSelectionFailure(Case::tooLong);
            if (range->length > 0) keptRange = range;
        }

        if (const auto text = meaningfulText(context.attribute(element, Attr::selectedText)))
            if (const auto selection = usable(context, *text))
                return Found{*selection, SelectedTextReader::selectedTextRoute};

        if (keptRange) {
            const AccessibilityReply reply = context.parameterized(element, Param::stringForRange, *keptRange);
            if (const auto text = meaningfulText(reply))
                if (const auto selection = usable(context, *text))
                    return Found{*selection, SelectedTextReader::stringForRangeRoute};
        }

        // Text markers: toolkits on this desktop have no counterpart (AT-SPI knows only character
        // offsets), so these requests give no value there; the route stays for toolkits that do.
        if (!context.open()) continue;
        const auto markers =
            context.attribute(element, Attr::selectedTextMarkerRange).as<AccessibilityTextMarkerRange>();
        if (!markers) continue;
        if (const auto length =
                context.parameterized(element, Param::lengthForTextMarkerRange, *markers).as<qint64>()) {
            if (*length < 0) continue;
            if (*length > SelectedTextReader::longestRange) throw DirectSelectionFailure(Case::tooLong);
        }
        if (!context.open()) continue;
        const AccessibilityReply reply = context.parameterized(element, Param::stringForTextMarkerRange, *markers);
        if (const auto text = meaningfulText(reply))
            if (const auto selection = usable(context, *text))
                return Found{*selection, SelectedTextReader::textMarkerRoute};
    }
    return std::nullopt;
}

// Depth-first search of the application's windows for the element holding the selection, focused or
// not: the focused window first, then the others, each to its own bound (a program whose windows have
// all lost the focus, as when the person went on to run a command elsewhere, keeps its selection). A
// toolkit that tells no focused element (GTK 4) is found only here, its password fields too: each one
// met that holds a selection is noted, even when it gives none of its text (GTK 4 shows a password
// made visible with the peek icon nowhere on the bus, but puts it into PRIMARY in clear). The first
// ordinary element's text is the search's result. Where the bus named no focused element, a password
// field met is noted whatever it shows: the keyboard may be in it, and no copy key may go there.
std::optional<Found> searchWindowsSelectedText(const ReadContext& context, const AccessibilityElementList& windows,
                                               bool focusUnknown) {
    std::optional<Found> found;
    AccessibilityElementList seen;
    for (const AccessibilityElementPtr& window : windows) {
        QList<std::pair<AccessibilityElementPtr, int>> stack{{window, 0}};
        for (int popped = 0; !stack.isEmpty() && popped < SelectedTextReader::windowSearchElements && context.open();) {
            const auto [element, depth] = stack.takeLast();
            ++popped;
            if (containsElement(seen, element) || !belongsTo(element, context.owner)) continue;
            seen.append(element);

            std::optional<QString> selection;
            if (const auto text = meaningfulText(context.attribute(element, Attr::selectedText)))
                selection = usable(context, *text);
            const auto range =
                selection ? std::nullopt : context.attribute(element, Attr::selectedTextRange).as<AccessibilityRange>();
            if (selection || (range && range->length > 0)) {
                qsizetype inside = 0;
                secureChain(context, element, inside);
                if (inside > 0)
                    context.passwordFieldMayHoldSelection = true;
                else if (selection && !found)
                    found = Found{*selection, SelectedTextReader::windowSearchRoute};
            } else if (focusUnknown && isSecure(context.attribute(element, Attr::role))) {
                context.passedOverPasswordField = true;
                if (!range) context.passwordFieldMayHoldSelection = true;
            }

            if (depth <= SelectedTextReader::windowSearchChildDepth) {
                const auto children = context.attribute(element, Attr::children).as<AccessibilityElementList>();
                if (!children) continue;
                for (auto child = children->crbegin(); child != children->crend(); ++child)
                    if (belongsTo(*child, context.owner)) stack.append({*child, depth + 1});
            }
        }
    }
    return found;
}

// The application's element, with the read's time-out, asked for its role once.
AccessibilityElementPtr findApplication(const ReadContext& context) {
    const AccessibilityElementPtr application = context.system.applicationElement(context.owner);
    if (!application) return nullptr;
    application->setMessagingTimeout(SelectedTextReader::messagingTimeout);
    context.attribute(application, Attr::role);
    return application;
}

// Whether the application's windows hold no element at all: a program can register on the bus and
// expose nothing below its windows (Chromium with its page content unexposed), and no attempt finds a
// selection there. An answer that cannot be had counts as content.
bool showsNothing(const ReadContext& context, const AccessibilityElementPtr& application) {
    const auto windows = context.attribute(application, Attr::children).as<AccessibilityElementList>();
    if (!windows) return false;
    for (const AccessibilityElementPtr& window : windows->mid(0, SelectedTextReader::contentWindows)) {
        const auto elements = context.attribute(window, Attr::children).as<AccessibilityElementList>();
        if (!elements || !elements->isEmpty()) return false;
    }
    return true;
}

// The elements one attempt reads, looked up anew: the focused element, the element under the
// pointer, the active window's focused element and the window.
void findCandidates(const ReadContext& context, const AccessibilityElementPtr& application, QPointF pointer,
                    SelectedTextReader::Preparation& found) {
    // Each attempt sees the application's tree as it is now.
    application->refresh();
    found.candidates.clear();

    // The focused element, asked directly: the application's own time-out bounds it.
    const AccessibilityReply focused = application->attribute(Attr::focusedUIElement);
    found.focusCode = focused.error;
    if (const auto element = elementOfOwner(focused, context.owner)) found.candidates.append(element);

    if (!context.cancelled() && context.beforeDeadline()) {
        const AccessibilityReply hit = application->elementAtPosition(float(pointer.x()), float(pointer.y()));
        found.hitCode = hit.error;
        const auto element = elementOfOwner(hit, context.owner);
        if (element && !containsElement(found.candidates, element)) found.candidates.append(element);
    }

    found.window = elementOfOwner(context.attribute(application, Attr::focusedWindow), context.owner);
    if (found.window) {
        if (const auto element = elementOfOwner(context.attribute(found.window, Attr::focusedUIElement), context.owner))
            found.candidates.append(element);
        found.candidates.append(found.window);
    }
}

}  // namespace

bool SelectedTextReader::isAuthorized(AccessibilitySystem& system) { return system.isProcessTrusted(); }

bool SelectedTextReader::requestAuthorization(AccessibilitySystem& system) { return system.requestTrust(); }

SelectionReadResult SelectedTextReader::read(qint32 processIdentifier, QPointF pointer,
                                             const base::CancellationToken& cancellation, AccessibilitySystem& system) {
    return read(Preparation{processIdentifier, pointer}, cancellation, system);
}

SelectedTextReader::Preparation SelectedTextReader::prepare(qint32 processIdentifier, QPointF pointer,
                                                            const base::CancellationToken& cancellation,
                                                            AccessibilitySystem& system) {
    Preparation prepared{processIdentifier, pointer};
    if (cancellation.isCancelled() || !system.isProcessTrusted()) return prepared;
    const ReadContext context{system, cancellation, system.now() + deadline, processIdentifier};
    prepared.application = findApplication(context);
    prepared.empty = prepared.application && showsNothing(context, prepared.application);
    if (prepared.application && !prepared.empty) findCandidates(context, prepared.application, pointer, prepared);
    prepared.complete = context.open();
    return prepared;
}

SelectionReadResult SelectedTextReader::read(const Preparation& prepared, const base::CancellationToken& cancellation,
                                             AccessibilitySystem& system) {
    cancellation.throwIfCancelled();
    if (!system.isProcessTrusted()) throw DirectSelectionFailure(Case::permission);

    const qint32 processIdentifier = prepared.processIdentifier;
    ReadContext context{system, cancellation, system.now() + deadline, processIdentifier};
    AccessibilityElementPtr application = prepared.complete ? prepared.application : findApplication(context);
    // A program without an accessibility bridge stays off the bus for its whole life: waiting for
    // it would only delay the reads that can work (the PRIMARY selection).
    if (!application) throw SelectionReadFailure(Case::unsupported, notOnTheBusDiagnostics);
    if (prepared.complete ? prepared.empty : showsNothing(context, application))
        throw SelectionReadFailure(Case::unsupported, emptyOnTheBusDiagnostics);

    Preparation found = prepared;
    qsizetype candidateCount = 0;
    const auto suffix = [&] {
        return QStringLiteral("focus=%1, hit=%2, candidates=%3")
            .arg(found.focusCode)
            .arg(found.hitCode)
            .arg(candidateCount);
    };

    try {
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            if (!context.beforeDeadline()) continue;
            cancellation.throwIfCancelled();
            // The first attempt follows the check at the start directly.
            if (attempt > 1 && !system.isProcessTrusted()) throw DirectSelectionFailure(Case::permission);
            // An attempt that found no element at all may have asked a stand-in: the bus did not list
            // its applications in time (a busy machine). The program is looked up again, and one the
            // bus now lists without it is not on the bus.
            if (attempt > 1 && found.candidates.isEmpty()) {
                application = findApplication(context);
                if (!application) throw SelectionReadFailure(Case::unsupported, notOnTheBusDiagnostics);
            }
            if (attempt > 1 || !prepared.complete) findCandidates(context, application, prepared.pointer, found);

            AccessibilityElementList candidates = found.candidates;
            const AccessibilityElementPtr window = found.window;
            AccessibilityElementList visited;

            const qsizetype gathered = candidates.size();
            for (qsizetype index = 0; index < gathered; ++index) {
                if (candidates.size() > candidatesForSelectedChildren) continue;
                const auto children =
                    context.attribute(candidates[index], Attr::selectedChildren).as<AccessibilityElementList>();
                if (!children) continue;
                for (const AccessibilityElementPtr& child : children->mid(0, selectedChildrenPerCandidate))
                    if (belongsTo(child, processIdentifier) && !containsElement(candidates, child))
                        candidates.append(child);
            }
            candidateCount = candidates.size();

            const auto result = [&](const Found& found) {
                return SelectionReadResult{found.text, found.route + QStringLiteral(" · ") + suffix(), attempt,
                                           context.passwordFieldMayHoldSelection};
            };
            for (const bool includeAncestors : {false, true}) {
                for (qsizetype index = 0; index < candidates.size(); ++index) {
                    if (!context.beforeDeadline()) continue;
                    const auto found = selectedText(context, candidates[index], visited, includeAncestors);
                    if (!found) continue;
                    // A later candidate may lie in a password field that holds the selection (the
                    // second pass walked them all in the first).
                    if (!includeAncestors)
                        for (const AccessibilityElementPtr& later : candidates.mid(index + 1)) {
                            qsizetype inside = 0;
                            secureChain(context, later, inside);
                        }
                    return result(*found);
                }
            }

            AccessibilityElementList windows;
            if (window) windows.append(window);
            if (const auto all = context.attribute(application, Attr::children).as<AccessibilityElementList>())
                for (const AccessibilityElementPtr& other : all->mid(0, contentWindows))
                    if (belongsTo(other, processIdentifier) && !containsElement(windows, other)) windows.append(other);
            const bool focusUnknown = found.focusCode != accessibility_error::success;
            if (const auto shown = searchWindowsSelectedText(context, windows, focusUnknown)) return result(*shown);
            // No other element showed the selection: nothing shows the password field did not hold it.
            if (context.passedOverPasswordField) throw DirectSelectionFailure(Case::protectedField);
            // Only text without a letter or digit was selected: another attempt reads the same. Objects
            // whose text a busy program did not give in time may give it to the next one.
            if (context.unusableText) throw DirectSelectionFailure(Case::noText);

            if (attempt < attempts && system.now() + pauseMargin < context.deadline)
                system.sleep(attempt == 1 ? pauseAfterFirstAttempt : pauseAfterSecondAttempt);
        }

        cancellation.throwIfCancelled();
        if (!system.isProcessTrusted()) throw DirectSelectionFailure(Case::permission);
        if (!context.beforeDeadline()) throw DirectSelectionFailure(Case::timedOut);
        throw DirectSelectionFailure(context.objectStandIns ? Case::noText : Case::unsupported);
    } catch (const DirectSelectionFailure& failure) {
        throw SelectionReadFailure(
            failure.failureCase(), QStringLiteral("AX ") + suffix(),
            failure.failureCase() == Case::protectedField && !context.passwordFieldMayHoldSelection);
    }
}

SelectedTextReader::FocusedField SelectedTextReader::focusedField(qint32 processIdentifier,
                                                                  AccessibilitySystem& system) {
    const AccessibilityElementPtr application = system.applicationElement(processIdentifier);
    if (!application) return FocusedField::unknown;
    const base::CancellationToken never;
    const ReadContext context{system, never, system.now() + compatibilityCopyDeadline, processIdentifier};

    AccessibilityElementPtr current = context.attribute(application, Attr::focusedUIElement).element();
    if (!current || !belongsTo(current, processIdentifier)) return FocusedField::unknown;
    AccessibilityElementList chain;
    while (true) {
        // A walk the deadline cut short may have stopped below a password field.
        if (!context.beforeDeadline()) return FocusedField::unknown;
        if (!belongsTo(current, processIdentifier)) return FocusedField::ordinary;
        if (containsElement(chain, current)) return FocusedField::ordinary;
        chain.append(current);
        if (isSecure(context.attribute(current, Attr::role)) || isSecure(context.attribute(current, Attr::subrole)))
            return FocusedField::password;
        const AccessibilityElementPtr parent = context.attribute(current, Attr::parent).element();
        if (!context.beforeDeadline()) return FocusedField::unknown;
        if (!parent) return FocusedField::ordinary;
        if (chain.size() == secureWalkElements) return FocusedField::ordinary;
        current = parent;
    }
}

bool SelectedTextReader::permitsCompatibilityCopy(qint32 processIdentifier, AccessibilitySystem& system) {
    // Where nothing tells a password field apart, the copy is allowed.
    return system.isProcessTrusted() && focusedField(processIdentifier, system) != FocusedField::password;
}

}  // namespace halvern

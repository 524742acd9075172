#include <gtest/gtest.h>

#include "platform/selected_text_reader.h"
#include "tests/support/gui/fake_accessibility_tree.h"

using namespace halvern;
using namespace halvern::testing;
using Attr = AccessibilityAttribute;
using Param = AccessibilityParameterizedAttribute;
using Case = tamsel::DirectSelectionFailure::Case;

namespace {

constexpr qint32 source = 4242;
const QPointF pointer(100, 200);

// A source application with a window, holding a field that is focused and under the pointer.
struct Scene {
    FakeAccessibilitySystem system;
    FakeElementPtr app = system.application(source);
    FakeElementPtr window = system.element(QStringLiteral("window"), source);
    FakeElementPtr field = system.element(QStringLiteral("field"), source);

    Scene() {
        FakeAccessibilitySystem::link(app, {window});
        FakeAccessibilitySystem::link(window, {field});
        app->set(Attr::focusedUIElement, AccessibilityElementPtr(field));
        app->set(Attr::focusedWindow, AccessibilityElementPtr(window));
        app->setHit(AccessibilityReply::ok(AccessibilityElementPtr(field)));
        window->set(Attr::focusedUIElement, AccessibilityElementPtr(field));
    }

    SelectionReadResult read(const base::CancellationToken& token = {}) {
        return SelectedTextReader::read(source, pointer, token, system);
    }
    SelectionReadFailure failure() {
        try {
            read();
        } catch (const SelectionReadFailure& failure) {
            return failure;
        }
        ADD_FAILURE() << "the read did not fail";
        return SelectionReadFailure(Case::noText, {});
    }
};

AccessibilityReply textReply(const QString& text) { return AccessibilityReply::ok(text); }

}  // namespace

TEST(SelectedTextReader, ReadsSelectedTextOfTheFocusedElementWithItsRoute) {
    Scene scene;
    scene.field->set(Attr::selectedText, QStringLiteral("  hello world \n"));
    const SelectionReadResult result = scene.read();
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, QStringLiteral("AXSelectedText · focus=0, hit=0, candidates=3"));
    EXPECT_EQ(result.attempt, 1);
    // Every request to an element is made with the 0.12 s time-out.
    EXPECT_EQ(scene.field->lastTimeout(), std::chrono::milliseconds(120));
    EXPECT_EQ(scene.app->lastTimeout(), std::chrono::milliseconds(120));
}

// Prepared while the selection settles, the read afterwards asks only for what is selected and
// finds what the unprepared read finds. An untrusted preparation asks nothing; the read then looks
// everything up itself.
TEST(SelectedTextReader, APreparedReadAsksOnlyForTheSelection) {
    Scene scene;
    scene.field->set(Attr::selectedText, QStringLiteral("hello world"));
    const SelectedTextReader::Preparation prepared = SelectedTextReader::prepare(source, pointer, {}, scene.system);
    ASSERT_TRUE(prepared.complete);
    const QStringList lookups = std::exchange(scene.system.requests, {});
    EXPECT_TRUE(lookups.filter(QStringLiteral("AXSelected")).isEmpty()) << lookups.join(u',').toStdString();
    const SelectionReadResult result = SelectedTextReader::read(prepared, {}, scene.system);
    for (const QString& request : lookups)  // roles are asked again by the walk up to a password field
        if (!request.endsWith(QStringLiteral("AXRole"))) {
            EXPECT_FALSE(scene.system.requests.contains(request)) << request.toStdString();
        }
    EXPECT_EQ(result, scene.read());

    Scene untrusted;
    untrusted.field->set(Attr::selectedText, QStringLiteral("hello world"));
    untrusted.system.trusted = false;
    const SelectedTextReader::Preparation nothing = SelectedTextReader::prepare(source, pointer, {}, untrusted.system);
    EXPECT_FALSE(nothing.complete);
    EXPECT_TRUE(untrusted.system.requests.isEmpty());
    untrusted.system.trusted = true;
    EXPECT_EQ(SelectedTextReader::read(nothing, {}, untrusted.system).text, QStringLiteral("hello world"));
}

TEST(SelectedTextReader, UntrustedFailsBareWithoutAnyRequest) {
    Scene scene;
    scene.system.trusted = false;
    try {
        scene.read();
        FAIL();
    } catch (const SelectionReadFailure&) {
        FAIL() << "the permission failure must not be wrapped";
    } catch (const tamsel::DirectSelectionFailure& failure) {
        EXPECT_EQ(failure.failureCase(), Case::permission);
    }
    EXPECT_TRUE(scene.system.requests.isEmpty());
}

// A password field is never read; text another element shows is read beside it, marked where the
// field may hold a selection itself.
TEST(SelectedTextReader, PasswordFieldUpToSixLevelsAboveTheFocusIsNeverRead) {
    // focused → p1 → … → p6 (a password field): seven elements walked.
    for (int level = 1; level <= 7; ++level) {
        Scene scene;
        FakeElementPtr focused = scene.system.element(QStringLiteral("focused"), source);
        QList<FakeElementPtr> chain{focused};
        for (int i = 1; i <= 7; ++i) chain.append(scene.system.element(QStringLiteral("p%1").arg(i), source));
        for (int i = 0; i + 1 < chain.size(); ++i) chain[i]->set(Attr::parent, AccessibilityElementPtr(chain[i + 1]));
        chain[level]->set(Attr::role, secureTextFieldRole);
        scene.app->set(Attr::focusedUIElement, AccessibilityElementPtr(focused));
        // The hit element holds text, and so does the focused element's own selection.
        scene.field->set(Attr::selectedText, QStringLiteral("visible text"));
        focused->set(Attr::selectedText, QStringLiteral("secret"));
        if (level <= 6) {
            EXPECT_TRUE(scene.read().besidePasswordField) << level;
            scene.field->set(Attr::selectedText, QString());  // nothing else shows a selection
            const SelectionReadFailure failure = scene.failure();
            EXPECT_EQ(failure.reason(), Case::protectedField) << level;
            EXPECT_FALSE(failure.nothingSelected()) << "the field's range is not known";
            EXPECT_EQ(failure.message(), tamsel::DirectSelectionFailure(Case::protectedField).message());
            EXPECT_EQ(scene.system.count(QStringLiteral("focused AXSelectedText")), 0) << level;
        } else {
            // Seven levels up is beyond the walk: the focused element's text is read.
            EXPECT_EQ(scene.read().text, QStringLiteral("secret"));
        }
    }
    // A subrole marks a password field as well.
    Scene scene;
    scene.field->set(Attr::subrole, secureTextFieldRole);
    scene.field->set(Attr::selectedText, QStringLiteral("secret"));
    EXPECT_EQ(scene.failure().reason(), Case::protectedField);
    // A focused password field that shows an empty range does not hold the selection another element
    // shows; where none shows one, nothing clears it.
    for (const bool shownElsewhere : {true, false}) {
        Scene focusedField;
        FakeElementPtr password = focusedField.system.element(QStringLiteral("password"), source);
        password->set(Attr::role, secureTextFieldRole);
        password->set(Attr::selectedTextRange, AccessibilityRange{0, 0});
        focusedField.app->set(Attr::focusedUIElement, AccessibilityElementPtr(password));
        if (!shownElsewhere) {
            const SelectionReadFailure failure = focusedField.failure();
            EXPECT_TRUE(failure.reason() == Case::protectedField && failure.nothingSelected());
            continue;
        }
        focusedField.field->set(Attr::selectedText, QStringLiteral("visible text"));
        const SelectionReadResult result = focusedField.read();
        EXPECT_TRUE(result.text == QStringLiteral("visible text") && !result.besidePasswordField);
    }
    // Where the bus names no focused element, the keyboard may be in an empty password field of the
    // window, which no copy key may reach: nothing is selected.
    Scene unnamedFocus;
    FakeElementPtr empty = unnamedFocus.system.element(QStringLiteral("password"), source);
    empty->set(Attr::role, secureTextFieldRole);
    empty->set(Attr::selectedTextRange, AccessibilityRange{0, 0});
    FakeAccessibilitySystem::link(unnamedFocus.window, {unnamedFocus.field, empty});
    unnamedFocus.app->setReply(Attr::focusedUIElement, AccessibilityReply::failed(accessibility_error::noValue));
    const SelectionReadFailure failure = unnamedFocus.failure();
    EXPECT_TRUE(failure.reason() == Case::protectedField && failure.nothingSelected());
}

TEST(SelectedTextReader, RangesBoundWhatIsFetched) {
    {  // 12,001 units: tooLong before any text is fetched.
        Scene scene;
        scene.field->set(Attr::selectedTextRange, AccessibilityRange{0, 12001});
        scene.field->set(Attr::selectedText, QStringLiteral("text"));
        const SelectionReadFailure failure = scene.failure();
        EXPECT_EQ(failure.reason(), Case::tooLong);
        EXPECT_EQ(failure.diagnostics(), QStringLiteral("AX focus=0, hit=0, candidates=3"));
        EXPECT_EQ(scene.system.count(QStringLiteral("field AXSelectedText")), 0);
        EXPECT_EQ(scene.system.count(QStringLiteral("field AXStringForRange")), 0);
    }
    {  // 12,000 units are fetched, then judged by the 3,000-character rule.
        Scene scene;
        scene.field->set(Attr::selectedTextRange, AccessibilityRange{0, 12000});
        scene.field->set(Attr::selectedText, QString(3001, QLatin1Char('a')));
        EXPECT_EQ(scene.failure().reason(), Case::tooLong);
        EXPECT_EQ(scene.system.count(QStringLiteral("field AXSelectedText")), 1);
    }
    {  // Length 0: no string for the range, but the selected text and the markers are tried.
        Scene scene;
        scene.field->set(Attr::selectedTextRange, AccessibilityRange{5, 0});
        scene.field->setParameterized(Param::stringForRange, [](const AccessibilityValue&) {
            return textReply(QStringLiteral("range text"));
        });
        scene.field->set(Attr::selectedTextMarkerRange, AccessibilityTextMarkerRange{QVariant(7)});
        scene.field->setParameterized(Param::stringForTextMarkerRange, [](const AccessibilityValue& parameter) {
            const auto* markers = std::get_if<AccessibilityTextMarkerRange>(&parameter);
            return textReply(markers && markers->token == QVariant(7) ? QStringLiteral("marker text") : QString());
        });
        const SelectionReadResult result = scene.read();
        EXPECT_EQ(result.text, QStringLiteral("marker text"));
        EXPECT_TRUE(result.route.startsWith(QStringLiteral("AXSelectedTextMarkerRange → AXStringForTextMarkerRange · ")));
        EXPECT_EQ(scene.system.count(QStringLiteral("field AXStringForRange")), 0);
    }
    {  // A kept range gives the string for the range after blank selected text.
        Scene scene;
        scene.field->set(Attr::selectedTextRange, AccessibilityRange{2, 4});
        scene.field->set(Attr::selectedText, QStringLiteral("  \n "));
        scene.field->setParameterized(Param::stringForRange, [](const AccessibilityValue& parameter) {
            const auto* range = std::get_if<AccessibilityRange>(&parameter);
            return textReply(range && *range == AccessibilityRange{2, 4} ? QStringLiteral("llo ") : QString());
        });
        const SelectionReadResult result = scene.read();
        EXPECT_EQ(result.text, QStringLiteral("llo"));
        EXPECT_TRUE(result.route.startsWith(QStringLiteral("AXStringForRange · focus=0")));
    }
    {  // A negative location skips every route on the element; a marker length over 12,000 fails.
        Scene scene;
        scene.field->set(Attr::selectedTextRange, AccessibilityRange{-1, 3});
        scene.field->set(Attr::selectedText, QStringLiteral("never read"));
        scene.window->set(Attr::selectedTextMarkerRange, AccessibilityTextMarkerRange{});
        scene.window->setParameterized(Param::lengthForTextMarkerRange,
                                       [](const AccessibilityValue&) { return AccessibilityReply::ok(qint64(12001)); });
        EXPECT_EQ(scene.failure().reason(), Case::tooLong);
        EXPECT_EQ(scene.system.count(QStringLiteral("field AXSelectedText")), 0);
        EXPECT_EQ(scene.system.count(QStringLiteral("window AXStringForTextMarkerRange")), 0);
    }
    {  // Punctuation (or an object stand-in) in one element: the next candidate holds the words.
        Scene scene;
        scene.field->set(Attr::selectedText, QString(QChar(0xFFFC)));
        scene.window->set(Attr::selectedText, QStringLiteral("window text"));
        EXPECT_EQ(scene.read().text, QStringLiteral("window text"));
    }
    {  // Punctuation everywhere: noText at the end of the first attempt, without the pauses.
        Scene scene;
        scene.field->set(Attr::selectedText, QStringLiteral("…!?"));
        const SelectionReadFailure failure = scene.failure();
        EXPECT_EQ(failure.reason(), Case::noText);
        EXPECT_EQ(failure.diagnostics(), QStringLiteral("AX focus=0, hit=0, candidates=3"));
        EXPECT_TRUE(scene.system.sleeps.isEmpty());
        EXPECT_EQ(scene.system.count(QStringLiteral("app AXFocusedUIElement")), 1);
    }
    {  // Object stand-ins whose words a busy browser gives only later: the next attempt reads them,
        // and where they never come the read fails as noText after the last attempt.
        for (const bool wordsCome : {true, false}) {
            Scene scene;
            scene.field->set(Attr::selectedTextRange, AccessibilityRange{0, 1});
            scene.field->setParameterized(Param::stringForRange, [&scene, wordsCome](const AccessibilityValue&) {
                return textReply(wordsCome && !scene.system.sleeps.isEmpty() ? QStringLiteral("Scarcity")
                                                                             : QString(QChar(0xFFFC)));
            });
            if (wordsCome) {
                const SelectionReadResult result = scene.read();
                EXPECT_EQ(result.text, QStringLiteral("Scarcity"));
                EXPECT_EQ(result.attempt, 2);
            } else {
                EXPECT_EQ(scene.failure().reason(), Case::noText);
                EXPECT_EQ(scene.system.count(QStringLiteral("app AXFocusedUIElement")), 3);
            }
        }
    }
}

// A program without an accessibility bridge is not on the bus and never will be, and one whose
// windows hold nothing there (a browser that keeps its pages off the bus) shows nothing more on a
// later attempt: the read says so at once, prepared or not, instead of waiting through its attempts.
TEST(SelectedTextReader, AProgramThatShowsNothingOnTheBusIsUnsupportedAtOnce) {
    struct Row {
        const char* name;
        std::function<void(Scene&)> arrange;
        QString diagnostics;
    };
    const QList<Row> rows{
        {"not on the bus", [](Scene& scene) { scene.system.offTheBus.append(source); },
         SelectedTextReader::notOnTheBusDiagnostics},
        {"windows without elements",
         [](Scene& scene) {
             FakeElementPtr other = scene.system.element(QStringLiteral("other"), source);
             FakeAccessibilitySystem::link(scene.app, {scene.window, other});
             scene.window->set(Attr::children, AccessibilityElementList{});
             other->set(Attr::children, AccessibilityElementList{});
         },
         SelectedTextReader::emptyOnTheBusDiagnostics},
    };
    for (const Row& row : rows) {
        for (const bool prepared : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (prepared ? ", prepared" : ""));
            Scene scene;
            row.arrange(scene);
            scene.field->set(Attr::selectedText, QStringLiteral("hello world"));
            try {
                if (prepared)
                    SelectedTextReader::read(SelectedTextReader::prepare(source, pointer, {}, scene.system), {},
                                             scene.system);
                else
                    scene.read();
                ADD_FAILURE() << "the read did not fail";
            } catch (const SelectionReadFailure& failure) {
                EXPECT_EQ(failure.reason(), Case::unsupported);
                EXPECT_EQ(failure.diagnostics(), row.diagnostics);
            }
            EXPECT_TRUE(scene.system.requestsTo(QStringLiteral("field")).isEmpty());
            EXPECT_TRUE(scene.system.sleeps.isEmpty());
        }
    }
    // A window whose elements cannot be asked for may hold some: the attempts go on.
    Scene scene;
    scene.window->setReply(Attr::children, AccessibilityReply::failed(accessibility_error::timedOut));
    scene.field->set(Attr::selectedText, QStringLiteral("hello world"));
    EXPECT_EQ(scene.read().text, QStringLiteral("hello world"));
    // A bus too busy to list its applications in time: the next attempt asks it again, and ends the
    // read once the program is not among them, or reads the program it finds.
    for (const bool onTheBus : {false, true}) {
        SCOPED_TRACE(onTheBus ? "listed later" : "not on the bus");
        Scene busy;
        busy.system.unansweredListings = 1;
        if (!onTheBus) busy.system.offTheBus.append(source);
        busy.field->set(Attr::selectedText, QStringLiteral("hello world"));
        if (onTheBus) {
            const SelectionReadResult result = busy.read();
            EXPECT_EQ(result.text, QStringLiteral("hello world"));
            EXPECT_EQ(result.attempt, 2);
        } else {
            EXPECT_EQ(busy.failure().diagnostics(), SelectedTextReader::notOnTheBusDiagnostics);
            EXPECT_EQ(busy.system.sleeps.size(), 1);
        }
    }
}

TEST(SelectedTextReader, ThreeFruitlessAttemptsGiveUnsupportedWithTheDiagnosticsLine) {
    Scene scene;
    scene.app->setReply(Attr::focusedUIElement, AccessibilityReply::failed(-7));
    scene.app->setHit(AccessibilityReply::failed(accessibility_error::timedOut));
    const SelectionReadFailure failure = scene.failure();
    EXPECT_EQ(failure.reason(), Case::unsupported);
    // Window and its focused element (the field), then nothing else.
    EXPECT_EQ(failure.diagnostics(), QStringLiteral("AX focus=-7, hit=-2, candidates=2"));
    EXPECT_EQ(failure.message(), tamsel::DirectSelectionFailure(Case::unsupported).message());
    EXPECT_EQ(scene.system.sleeps, (QList<std::chrono::milliseconds>{std::chrono::milliseconds(150),
                                                                       std::chrono::milliseconds(250)}));
    EXPECT_EQ(scene.system.count(QStringLiteral("app AXFocusedUIElement")), 3);
}

TEST(SelectedTextReader, AnUnresponsiveApplicationRunsIntoTheDeadline) {
    Scene scene;
    for (const auto& element : {scene.app, scene.window, scene.field}) element->setCost(std::chrono::milliseconds(120));
    const SelectionReadFailure failure = scene.failure();
    EXPECT_EQ(failure.reason(), Case::timedOut);
    // No request starts after the deadline; the last one may end one time-out past it.
    EXPECT_LE(scene.system.elapsed(), std::chrono::milliseconds(2500 + 120 + 120));
}

TEST(SelectedTextReader, TextFoundInTheSecondAttemptCarriesItsAttemptAndCodes) {
    Scene scene;
    int attempts = 0;
    scene.system.onRequest = [&](const QString& request) {
        if (request == QStringLiteral("app AXFocusedUIElement") && ++attempts == 2)
            scene.field->set(Attr::selectedText, QStringLiteral("later"));
    };
    // Three candidates: the field (focus, hit, the window's focus), the window, a selected child.
    FakeElementPtr child = scene.system.element(QStringLiteral("child"), source);
    scene.window->setReply(Attr::focusedUIElement, AccessibilityReply::failed(accessibility_error::noValue));
    scene.window->set(Attr::selectedChildren, AccessibilityElementList{child});
    const SelectionReadResult result = scene.read();
    EXPECT_EQ(result.attempt, 2);
    EXPECT_EQ(result.route, QStringLiteral("AXSelectedText · focus=0, hit=0, candidates=3"));
}

TEST(SelectedTextReader, AnElementIsReadOncePerAttempt) {
    Scene scene;
    // The field is focused, hit, the window's focus and its own ancestor's child; the window is its
    // parent and a candidate; both are reached again in the second pass.
    const SelectionReadFailure failure = scene.failure();
    EXPECT_EQ(failure.reason(), Case::unsupported);
    // Once per attempt by the candidates' reads; the window search reads the window and the field
    // again (its own seen list), once per attempt.
    EXPECT_EQ(scene.system.count(QStringLiteral("field AXSelectedTextRange")), 6);
    EXPECT_EQ(scene.system.count(QStringLiteral("window AXSelectedTextRange")), 6);
    EXPECT_EQ(scene.system.count(QStringLiteral("field AXSelectedText")), 6);

    // A second reference that compares equal is the same element.
    Scene twin;
    FakeElementPtr alias = twin.system.element(QStringLiteral("alias"), source);
    alias->shareIdentityWith(*twin.field);
    twin.app->setHit(AccessibilityReply::ok(AccessibilityElementPtr(alias)));
    twin.failure();
    EXPECT_EQ(twin.system.count(QStringLiteral("alias AXSelectedTextRange")), 0);
    EXPECT_EQ(twin.system.count(QStringLiteral("alias AXRole")), 0);
}

TEST(SelectedTextReader, ElementsOfAnotherProcessAreNeverRead) {
    Scene scene;
    FakeElementPtr stranger = scene.system.element(QStringLiteral("stranger"), 999);
    FakeElementPtr unknown = scene.system.element(QStringLiteral("unknown"), std::nullopt);
    for (const auto& element : {stranger, unknown}) {
        element->set(Attr::selectedText, QStringLiteral("not yours"));
        element->set(Attr::selectedChildren, AccessibilityElementList{scene.field});
    }
    scene.app->set(Attr::focusedUIElement, AccessibilityElementPtr(stranger));
    scene.app->setHit(AccessibilityReply::ok(AccessibilityElementPtr(unknown)));
    scene.window->set(Attr::focusedUIElement, AccessibilityElementPtr(stranger));
    scene.window->set(Attr::selectedChildren, AccessibilityElementList{stranger, unknown});
    scene.field->set(Attr::parent, AccessibilityElementPtr(stranger));
    FakeAccessibilitySystem::link(scene.window, {stranger, scene.field, unknown});
    scene.field->set(Attr::parent, AccessibilityElementPtr(stranger));

    EXPECT_EQ(scene.failure().reason(), Case::unsupported);
    EXPECT_TRUE(scene.system.requestsTo(QStringLiteral("stranger")).isEmpty());
    EXPECT_TRUE(scene.system.requestsTo(QStringLiteral("unknown")).isEmpty());

    // A focused window of another process is not searched either.
    Scene other;
    FakeElementPtr foreignWindow = other.system.element(QStringLiteral("foreign"), 7);
    other.app->set(Attr::focusedWindow, AccessibilityElementPtr(foreignWindow));
    other.app->set(Attr::focusedUIElement, AccessibilityElementPtr());
    other.app->setHit(AccessibilityReply::failed(accessibility_error::noValue));
    foreignWindow->set(Attr::selectedText, QStringLiteral("foreign"));
    EXPECT_EQ(other.failure().diagnostics(), QStringLiteral("AX focus=0, hit=-5, candidates=0"));
    EXPECT_TRUE(other.system.requestsTo(QStringLiteral("foreign")).isEmpty());
}

TEST(SelectedTextReader, WindowSearchIsDepthFirstBoundedByDepthAndFortyElements) {
    {  // A chain window → d1 → d2 → d3 → d4 → d5: d4 is read, its children are not.
        Scene scene;
        scene.app->set(Attr::focusedUIElement, AccessibilityElementPtr());
        scene.app->setHit(AccessibilityReply::failed(accessibility_error::noValue));
        scene.window->set(Attr::focusedUIElement, AccessibilityElementPtr());
        FakeElementPtr parent = scene.window;
        QList<FakeElementPtr> chain;
        for (int depth = 1; depth <= 5; ++depth) {
            FakeElementPtr next = scene.system.element(QStringLiteral("d%1").arg(depth), source);
            FakeAccessibilitySystem::link(parent, {next});
            chain.append(next);
            parent = next;
        }
        chain[4]->set(Attr::selectedText, QStringLiteral("too deep"));
        EXPECT_EQ(scene.failure().reason(), Case::unsupported);
        EXPECT_EQ(scene.system.count(QStringLiteral("d4 AXSelectedText")), 3);
        EXPECT_EQ(scene.system.count(QStringLiteral("d4 AXChildren")), 0);
        EXPECT_EQ(scene.system.count(QStringLiteral("d5 AXSelectedText")), 0);

        chain[3]->set(Attr::selectedText, QStringLiteral("found deep"));
        const SelectionReadResult result = scene.read();
        EXPECT_EQ(result.text, QStringLiteral("found deep"));
        EXPECT_TRUE(result.route.startsWith(QStringLiteral("AXWindowSearch → AXSelectedText · focus=0, hit=-5")));
    }
    {  // 60 children: at most 40 elements (the window and 39 children) are read, first child first.
        Scene scene;
        scene.app->set(Attr::focusedUIElement, AccessibilityElementPtr());
        scene.window->set(Attr::focusedUIElement, AccessibilityElementPtr());
        scene.app->setHit(AccessibilityReply::failed(accessibility_error::noValue));
        QList<FakeElementPtr> children;
        for (int i = 1; i <= 60; ++i) children.append(scene.system.element(QStringLiteral("c%1").arg(i), source));
        FakeAccessibilitySystem::link(scene.window, children);
        EXPECT_EQ(scene.failure().reason(), Case::unsupported);
        qsizetype searched = 0;
        for (const QString& request : scene.system.requests)
            if (request.endsWith(QStringLiteral(" AXSelectedText"))) ++searched;
        EXPECT_EQ(searched, 3 * (2 + 40));  // the window and its parent application, then the search
        EXPECT_EQ(scene.system.count(QStringLiteral("c39 AXSelectedText")), 3);
        EXPECT_EQ(scene.system.count(QStringLiteral("c40 AXSelectedText")), 0);
        const qsizetype first = scene.system.requests.indexOf(QStringLiteral("c1 AXSelectedText"));
        EXPECT_LT(first, scene.system.requests.indexOf(QStringLiteral("c2 AXSelectedText")));
    }
}

// A program none of whose windows has the focus (the person went on to a terminal) keeps its
// selection: its windows are searched, and a password field holding a selection there is noted even
// when it gives none of its text (GTK 4's, shown with the peek icon), wherever the ordinary one lies.
TEST(SelectedTextReader, TheWindowsOfAProgramWithoutFocusAreSearched) {
    // Whether the field holds a selection, comes first, and whether the view holds one.
    for (const auto& [held, first, viewed] : {std::tuple{false, true, true}, std::tuple{true, true, true},
                                             std::tuple{true, false, true}, std::tuple{true, true, false}}) {
        SCOPED_TRACE(::testing::Message() << held << first << viewed);
        Scene scene;
        scene.app->set(Attr::focusedUIElement, AccessibilityElementPtr());
        scene.app->set(Attr::focusedWindow, AccessibilityElementPtr());
        scene.app->setHit(AccessibilityReply::failed(accessibility_error::noValue));
        FakeElementPtr second = scene.system.element(QStringLiteral("second"), source);
        FakeElementPtr password = scene.system.element(QStringLiteral("password"), source);
        FakeElementPtr view = scene.system.element(QStringLiteral("view"), source);
        FakeAccessibilitySystem::link(scene.app, {scene.window, second});
        FakeAccessibilitySystem::link(second, first ? QList{password, view} : QList{view, password});
        password->set(Attr::role, secureTextFieldRole);
        password->set(Attr::selectedTextRange, AccessibilityRange{0, held ? 13 : 0});
        if (!viewed) {
            EXPECT_EQ(scene.failure().reason(), Case::protectedField);
            continue;
        }
        view->set(Attr::selectedText, QStringLiteral("Ordinary words"));
        const SelectionReadResult result = scene.read();
        EXPECT_EQ(result.text, QStringLiteral("Ordinary words"));
        EXPECT_EQ(result.besidePasswordField, held);
        EXPECT_TRUE(result.route.startsWith(SelectedTextReader::windowSearchRoute));
    }
}

TEST(SelectedTextReader, SelectedChildrenAreBounded) {
    Scene scene;
    QList<FakeElementPtr> rows;
    AccessibilityElementList selected;
    for (int i = 1; i <= 10; ++i) {
        rows.append(scene.system.element(QStringLiteral("row%1").arg(i), source));
        selected.append(rows.last());
    }
    scene.field->set(Attr::selectedChildren, selected);
    rows[8]->set(Attr::selectedText, QStringLiteral("ninth"));
    rows[7]->set(Attr::selectedText, QStringLiteral("eighth"));
    const SelectionReadResult result = scene.read();
    EXPECT_EQ(result.text, QStringLiteral("eighth"));
    EXPECT_TRUE(result.route.endsWith(QStringLiteral("candidates=11")));  // field twice, window and 8 rows
    EXPECT_EQ(scene.system.count(QStringLiteral("row9 AXRole")), 0);
}

TEST(SelectedTextReader, CancellationAndTrustLossEndTheRead) {
    {
        Scene scene;
        base::CancellationSource source;
        scene.system.onRequest = [&](const QString& request) {
            if (request == QStringLiteral("field AXRole")) source.cancel();
        };
        EXPECT_THROW(scene.read(source.token()), base::CancellationError);
    }
    {
        Scene scene;
        scene.system.onRequest = [&](const QString& request) {
            if (request == QStringLiteral("app AXFocusedWindow")) scene.system.trusted = false;
        };
        const SelectionReadFailure failure = scene.failure();
        EXPECT_EQ(failure.reason(), Case::permission);
        EXPECT_EQ(failure.diagnostics(), QStringLiteral("AX focus=0, hit=0, candidates=3"));
    }
}

// The copy's guard refuses only a focused password field; what the bus says of the focus tells the
// field apart from no answer at all.
TEST(SelectedTextReader, CompatibilityCopyGuardAndTheFocusedField) {
    using Field = SelectedTextReader::FocusedField;
    Scene scene;
    EXPECT_TRUE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    FakeElementPtr secure = scene.system.element(QStringLiteral("secure"), source);
    secure->set(Attr::role, secureTextFieldRole);
    scene.field->set(Attr::parent, AccessibilityElementPtr(secure));
    EXPECT_FALSE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    EXPECT_EQ(SelectedTextReader::focusedField(source, scene.system), Field::password);
    secure->setProcessIdentifier(1);  // an ancestor of another process ends the walk
    EXPECT_TRUE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    EXPECT_EQ(SelectedTextReader::focusedField(source, scene.system), Field::ordinary);
    // An answer that comes after the 0.4 s may have stopped below a password field.
    scene.field->setCost(std::chrono::milliseconds(450));
    EXPECT_EQ(SelectedTextReader::focusedField(source, scene.system), Field::unknown);
    EXPECT_TRUE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    scene.app->set(Attr::focusedUIElement, QStringLiteral("not an element"));
    EXPECT_TRUE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    EXPECT_EQ(SelectedTextReader::focusedField(source, scene.system), Field::unknown);
    scene.system.offTheBus.append(source);
    EXPECT_TRUE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
    scene.system.trusted = false;
    EXPECT_FALSE(SelectedTextReader::permitsCompatibilityCopy(source, scene.system));
}

// Which route may read a selection, by what was found out about the program and its selection:
// every way in (gesture, status menu, command, compatibility copy) asks this one rule.
#include <gtest/gtest.h>

#include "core/selection_read_rule.h"

using namespace tamsel;

namespace {

using Rule = SelectionReadRule;
using Case = DirectSelectionFailure::Case;
using Program = Rule::Program;
using Route = Rule::Route;
using Refusal = Rule::Refusal;

const QString password = QStringLiteral("hunter2secret");
const QString words = QStringLiteral("Ordinary words here");

struct Facts {
    Program program = Program::ordinary;
    std::optional<QString> shown;
    std::optional<Case> readFailure;
    std::optional<QString> primary;
    bool primaryOwned = false;  // also without a text asked of it
    bool copyEnabled = false;
    bool copyKeyReachable = true;
    bool sourceKnown = true;
    bool webBrowserRunsHere = false;
    bool sourceRemote = false;
    bool besidePasswordField = false;
    bool onBus = false;
    bool passwordFieldEmpty = false;
};

Rule::Evidence evidence(const Facts& facts) {
    Rule::Evidence evidence;
    evidence.program = facts.program;
    evidence.shown = facts.shown;
    evidence.readFailure = facts.readFailure;
    evidence.primaryOwned = facts.primaryOwned || facts.primary.has_value();
    evidence.primary = facts.primary;
    evidence.copyEnabled = facts.copyEnabled;
    evidence.copyKeyReachable = facts.copyKeyReachable;
    evidence.sourceKnown = facts.sourceKnown;
    evidence.webBrowserRunsHere = facts.webBrowserRunsHere;
    evidence.sourceRemote = facts.sourceRemote;
    evidence.shownBesidePasswordField = facts.besidePasswordField;
    evidence.sourceOnBus = facts.onBus;
    evidence.passwordFieldEmpty = facts.passwordFieldEmpty;
    return evidence;
}

}  // namespace

TEST(SelectionReadRule, DecidesWhatMayBeReadAndHow) {
    struct Row {
        const char* name;
        Rule::Asker asker;
        Facts facts;
        Rule::Verdict verdict;
    };
    const auto gesture = Rule::Asker::gesture;
    const auto command = Rule::Asker::command;
    const QList<Row> rows{
        // Gestures and the status menu's read.
        {"the bus shows it", gesture, {.shown = words, .primary = words}, {{Route::shown}, Refusal::readFailure}},
        {"the bus shows an older selection than PRIMARY's",
         gesture,
         {.shown = password, .primary = words},
         {{Route::primary}, Refusal::readFailure}},
        {"a browser shows an older selection than PRIMARY's",
         gesture,
         {.program = Program::webBrowser, .shown = words, .primary = password, .copyEnabled = true},
         {{Route::ownCopy}, Refusal::readFailure}},
        {"a password field on the bus",
         gesture,
         {.readFailure = Case::protectedField, .primary = password, .copyEnabled = true},
         {{}, Refusal::passwordField}},
        {"an empty selection in a password field: no copy key to it",
         gesture,
         {.readFailure = Case::protectedField, .primary = words, .copyEnabled = true, .passwordFieldEmpty = true},
         {{}, Refusal::noSelection}},
        {"a hidden entry: shown in clear, PRIMARY masked",
         gesture,
         {.shown = password, .primary = QStringLiteral("●●●●")},
         {{}, Refusal::passwordField}},
        {"PRIMARY another program's: the bus's text",
         gesture,
         {.shown = words},
         {{Route::shown}, Refusal::readFailure}},
        // Only PRIMARY's mask gives away a hidden entry the bus shows in clear.
        {"the program's PRIMARY did not come in time",
         gesture,
         {.shown = password, .primaryOwned = true, .copyEnabled = true},
         {{}, Refusal::primaryUnanswered}},
        {"off the bus: PRIMARY",
         gesture,
         {.readFailure = Case::unsupported, .primary = words},
         {{Route::primary}, Refusal::readFailure}},
        {"off the bus with the copy: PRIMARY, then the copy",
         gesture,
         {.readFailure = Case::unsupported, .primary = words, .copyEnabled = true},
         {{Route::primary, Route::ownCopy}, Refusal::readFailure}},
        {"timed out: the copy only, after PRIMARY",
         gesture,
         {.readFailure = Case::timedOut, .primary = words, .copyEnabled = true},
         {{Route::primary, Route::ownCopy}, Refusal::readFailure}},
        {"timed out without the copy",
         gesture,
         {.readFailure = Case::timedOut, .primary = words},
         {{}, Refusal::readFailure}},
        {"no copy key for a window outside X11",
         gesture,
         {.readFailure = Case::unsupported, .copyEnabled = true, .copyKeyReachable = false},
         {{}, Refusal::readFailure}},
        {"too long stays too long",
         gesture,
         {.readFailure = Case::tooLong, .primary = words, .copyEnabled = true},
         {{}, Refusal::readFailure}},
        {"a browser the bus shows",
         gesture,
         {.program = Program::webBrowser, .shown = words, .primary = words},
         {{Route::shown}, Refusal::readFailure}},
        // After a click elsewhere on the page PRIMARY still holds the password field's text.
        {"a browser, nothing shown: never its PRIMARY",
         gesture,
         {.program = Program::webBrowser, .readFailure = Case::unsupported, .primary = password},
         {{}, Refusal::unconfirmedBrowserField}},
        {"a browser, only text without a letter shown",
         gesture,
         {.program = Program::webBrowser, .readFailure = Case::noText, .primary = password, .copyEnabled = true},
         {{}, Refusal::unconfirmedBrowserField}},
        {"a browser off the bus with the copy",
         gesture,
         {.program = Program::webBrowser, .readFailure = Case::unsupported, .primary = password, .copyEnabled = true},
         {{Route::ownCopy}, Refusal::readFailure}},
        {"a native browser window: no copy key",
         gesture,
         {.program = Program::webBrowser,
          .readFailure = Case::unsupported,
          .primary = password,
          .copyEnabled = true,
          .copyKeyReachable = false},
         {{}, Refusal::unconfirmedBrowserFieldWithoutCopy}},
        {"LibreOffice off the bus: neither PRIMARY nor its copy",
         gesture,
         {.program = Program::clearPrimary, .readFailure = Case::unsupported, .primary = password, .copyEnabled = true},
         {{}, Refusal::unconfirmedProgramField}},
        {"Qt's web engine off the bus: not told Chromium's switch",
         gesture,
         {.program = Program::webView,
          .readFailure = Case::unsupported,
          .primary = password,
          .copyKeyReachable = false},
         {{}, Refusal::unconfirmedWebViewFieldWithoutCopy}},
        {"a program shown through ssh -X",
         gesture,
         {.program = Program::forwarder, .readFailure = Case::unsupported, .primary = password, .copyEnabled = true},
         {{}, Refusal::remoteSource}},
        {"a window naming another machine",
         gesture,
         {.readFailure = Case::unsupported, .primary = password, .copyEnabled = true, .sourceRemote = true},
         {{}, Refusal::remoteSource}},
        {"a program that cannot be told, even shown on the bus",
         gesture,
         {.program = Program::unknown, .shown = words, .primary = words},
         {{}, Refusal::unknownProgram}},
        {"LibreOffice on the bus",
         gesture,
         {.program = Program::clearPrimary, .shown = words, .primary = words},
         {{Route::shown}, Refusal::readFailure}},
        // A password field passed over may hold a selection of its own: only the very one PRIMARY holds.
        {"beside a password field, PRIMARY the same",
         gesture,
         {.program = Program::webBrowser, .shown = words, .primary = words, .besidePasswordField = true},
         {{Route::shown}, Refusal::readFailure}},
        {"beside a password field, PRIMARY another",
         gesture,
         {.shown = words, .primary = password, .copyEnabled = true, .besidePasswordField = true},
         {{}, Refusal::passwordField}},
        {"a browser whose page is on the bus, nothing shown: no switch to tell of",
         gesture,
         {.program = Program::webBrowser, .readFailure = Case::unsupported, .primary = password, .onBus = true},
         {{}, Refusal::unshownWebSelection}},

        // The study-selection command takes PRIMARY.
        {"nobody owns PRIMARY", command, {}, {{}, Refusal::noSelection}},
        {"an ordinary program",
         command,
         {.readFailure = Case::unsupported, .primary = words},
         {{Route::primary}, Refusal::noSelection}},
        {"a password field",
         command,
         {.readFailure = Case::protectedField, .primary = password},
         {{}, Refusal::passwordField}},
        {"mask characters",
         command,
         {.readFailure = Case::unsupported, .primary = QStringLiteral("•••• ")},
         {{}, Refusal::passwordField}},
        {"a browser showing the same selection",
         command,
         {.program = Program::webBrowser, .shown = QStringLiteral("Ordinary\nwords  here"), .primary = words},
         {{Route::primary}, Refusal::noSelection}},
        {"a browser showing another selection",
         command,
         {.program = Program::webBrowser, .shown = words, .primary = password},
         {{}, Refusal::unconfirmedBrowserField}},
        {"a browser whose page is on the bus showing another selection",
         command,
         {.program = Program::webBrowser, .shown = words, .primary = password, .onBus = true},
         {{}, Refusal::unshownWebSelectionWithoutCopy}},
        {"an ordinary program beside a password field, PRIMARY another",
         command,
         {.shown = words, .primary = password, .besidePasswordField = true},
         {{}, Refusal::passwordField}},
        {"a browser showing none",
         command,
         {.program = Program::webBrowser, .readFailure = Case::unsupported, .primary = password},
         {{}, Refusal::unconfirmedBrowserField}},
        {"LibreOffice showing none",
         command,
         {.program = Program::clearPrimary, .readFailure = Case::unsupported, .primary = password},
         {{}, Refusal::unconfirmedProgramField}},
        {"a native window nobody names, a browser here",
         command,
         {.readFailure = Case::unsupported, .primaryOwned = true, .sourceKnown = false, .webBrowserRunsHere = true},
         {{}, Refusal::unknownSource}},
        {"a native window nobody names, no browser",
         command,
         {.primary = words, .sourceKnown = false},
         {{Route::primary}, Refusal::noSelection}},
        // An owner window without a process property, named by the display server: its program decides.
        {"an owner found only through the server, a browser elsewhere",
         command,
         {.primary = words, .webBrowserRunsHere = true},
         {{Route::primary}, Refusal::noSelection}},
        {"LibreOffice's owner found only through the server, the bus off",
         command,
         {.program = Program::clearPrimary, .primary = password},
         {{}, Refusal::unconfirmedProgramField}},
        {"a client of another machine",
         command,
         {.primaryOwned = true, .sourceKnown = false, .sourceRemote = true},
         {{}, Refusal::remoteSource}},
        {"a client of another machine, a text and a browser",
         command,
         {.primary = words, .sourceKnown = false, .webBrowserRunsHere = true, .sourceRemote = true},
         {{}, Refusal::remoteSource}},
        {"Gecko showing none",
         command,
         {.program = Program::webView, .readFailure = Case::unsupported, .primary = password},
         {{}, Refusal::unconfirmedWebViewField}},
        {"a hidden entry's PRIMARY did not come",
         command,
         {.shown = password, .primaryOwned = true},
         {{}, Refusal::noSelection}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Rule::decide(row.asker, evidence(row.facts)), row.verdict);
    }
}

TEST(SelectionReadRule, MaskCharactersAndSameSelections) {
    for (const QString& masked :
         {QStringLiteral("●●●●●●"), QStringLiteral("•••• "), QStringLiteral("****"), QStringLiteral("\u2731\u2731")})
        EXPECT_TRUE(Rule::isMaskedText(masked)) << masked.toStdString();
    for (const QString& text : {QStringLiteral("● first point"), QStringLiteral("3 * 4"), QStringLiteral("  ")})
        EXPECT_FALSE(Rule::isMaskedText(text)) << text.toStdString();
    EXPECT_TRUE(Rule::sameSelection(QStringLiteral(" one\ntwo "), QStringLiteral("one two")));
    EXPECT_TRUE(Rule::sameSelection(QStringLiteral("cafe\u0301"), QStringLiteral("caf\u00e9")));
    EXPECT_FALSE(Rule::sameSelection(QStringLiteral("one"), QStringLiteral("one two")));
    EXPECT_FALSE(Rule::sameSelection(QString(), QString()));
}

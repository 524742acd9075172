// The study-selection command's decisions over what PRIMARY held, and the entry's refusal method.
#include <gtest/gtest.h>

#include "core/direct_selection_rules.h"
#include "core/study.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_command_reader.h"

using namespace halvern;

namespace {

using Outcome = SelectionCommandReader::Outcome;
using Rule = tamsel::SelectionReadRule;

Rule::Evidence owned(std::optional<QString> text, Rule::Program program = Rule::Program::ordinary) {
    Rule::Evidence evidence;
    evidence.primaryOwned = true;
    evidence.primary = std::move(text);
    evidence.program = program;
    evidence.readFailure = tamsel::DirectSelectionFailure::Case::unsupported;
    return evidence;
}

}  // namespace

// What the rule refuses comes back as the command's refusal; what it allows is checked as the entry
// checks a text.
TEST(SelectionCommandReader, DecidesWhatIsHandedOver) {
    struct Row {
        const char* name;
        Rule::Evidence evidence;
        Outcome outcome;
    };
    const QString longText = QString(tamsel::SourceText::limit + 1, u'a');
    Rule::Evidence unnamed = owned(std::nullopt);
    unnamed.sourceKnown = false;
    unnamed.webBrowserRunsHere = true;
    const QList<Row> rows{
        {"nobody owns PRIMARY", {}, SelectionRefusal::noSelection},
        {"owner gave no text", owned(std::nullopt), SelectionRefusal::noSelection},
        {"only white space", owned(QStringLiteral(" \n\t")), SelectionRefusal::noSelection},
        {"a word, trimmed", owned(QStringLiteral("  terminal \n")), QStringLiteral("terminal")},
        {"GTK's bullets", owned(QStringLiteral("●●●●●●")), SelectionRefusal::protectedField},
        {"a browser's selection the bus does not show", owned(QStringLiteral("hunter2"), Rule::Program::webBrowser),
         SelectionRefusal::unconfirmedBrowserField},
        {"LibreOffice's", owned(QStringLiteral("hunter2"), Rule::Program::clearPrimary),
         SelectionRefusal::unconfirmedProgramField},
        {"the compositor's, nothing tells whose, a browser runs", unnamed, SelectionRefusal::unknownSource},
        {"no letter: still text here", owned(QStringLiteral("3 + 4")), QStringLiteral("3 + 4")},
        {"over the entry's limit", owned(longText), SelectionRefusal::tooLong},
        {"at the entry's limit", owned(longText.left(tamsel::SourceText::limit)),
         longText.left(tamsel::SourceText::limit)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SelectionCommandReader::decide(row.evidence), row.outcome);
    }
}

TEST(SelectionCommandReader, RefusalsTravelByNameAndShowTheirMessage) {
    QList<SelectionRefusal> shown;
    SelectionServiceProvider provider{[](const SelectionRequest&) {}};
    provider.setRefusalHandler([&shown](const RefusedSelection& refused) { shown.append(refused.refusal); });
    const QList<std::pair<SelectionRefusal, QString>> rows{
        {SelectionRefusal::noSelection,
         QStringLiteral("没有读到所选文字：请先选中文字，再按快捷键或运行 orvel --study-selection。")},
        {SelectionRefusal::protectedField,
         tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::protectedField).message()},
        {SelectionRefusal::tooLong, tamsel::StudyError(tamsel::StudyError::Case::inputTooLong).message()},
        {SelectionRefusal::unconfirmedBrowserField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy).message()},
        {SelectionRefusal::unknownSource, message(SelectionRefusal::unknownSource)},
        {SelectionRefusal::unconfirmedProgramField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedProgramField).message()},
    };
    for (const auto& [refusal, text] : rows) {
        EXPECT_EQ(selectionRefusalFromRawValue(rawValue(refusal)), refusal);
        EXPECT_EQ(message(refusal), text);
        EXPECT_EQ(provider.ReportUnreadableSelection(rawValue(refusal)), QString());
    }
    EXPECT_EQ(provider.ReportUnreadableSelection(QStringLiteral("NoSelection")),
              SelectionFailure(SelectionFailure::Case::unknownAction).message());
    EXPECT_EQ(shown,
              (QList<SelectionRefusal>{SelectionRefusal::noSelection, SelectionRefusal::protectedField,
                                       SelectionRefusal::tooLong, SelectionRefusal::unconfirmedBrowserField,
                                       SelectionRefusal::unknownSource, SelectionRefusal::unconfirmedProgramField}));
}

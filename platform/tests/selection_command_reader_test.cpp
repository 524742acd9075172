// The study-selection command's decisions over what PRIMARY held, and the entry's refusal method.
#include <gtest/gtest.h>

#include "core/direct_selection_rules.h"
#include "core/study.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_command_reader.h"

using namespace halvern;

namespace {

using Outcome = SelectionCommandReader::Outcome;

PrimarySelectionFindings owned(std::optional<QString> text, std::optional<qint32> process = 42,
                               bool passwordFocused = false, bool unconfirmedBrowserField = false,
                               bool unknownSource = false) {
    return {true, process, passwordFocused, unconfirmedBrowserField, unknownSource, std::move(text)};
}

}  // namespace

TEST(SelectionCommandReader, DecidesWhatIsHandedOver) {
    struct Row {
        const char* name;
        PrimarySelectionFindings findings;
        Outcome outcome;
    };
    const QString longText = QString(tamsel::SourceText::limit + 1, u'a');
    const QList<Row> rows{
        {"nobody owns PRIMARY", {}, SelectionRefusal::noSelection},
        {"owner gave no text", owned(std::nullopt), SelectionRefusal::noSelection},
        {"only white space", owned(QStringLiteral(" \n\t")), SelectionRefusal::noSelection},
        {"a word, trimmed", owned(QStringLiteral("  terminal \n")), QStringLiteral("terminal")},
        // A compositor's bridge window belongs to no process: still taken.
        {"owner of no process", owned(QStringLiteral("native words"), std::nullopt), QStringLiteral("native words")},
        {"password field focused", owned(std::nullopt, 42, true), SelectionRefusal::protectedField},
        {"a browser's field unknown", owned(std::nullopt, 42, false, true), SelectionRefusal::unconfirmedBrowserField},
        {"the compositor's, nothing tells whose, a browser runs", owned(std::nullopt, std::nullopt, false, false, true),
         SelectionRefusal::unknownSource},
        {"GTK's bullets", owned(QStringLiteral("●●●●●●")), SelectionRefusal::protectedField},
        {"bullets of another kind", owned(QStringLiteral("•••• ")), SelectionRefusal::protectedField},
        {"asterisks", owned(QStringLiteral("****")), SelectionRefusal::protectedField},
        {"a list with bullets", owned(QStringLiteral("● first point")), QStringLiteral("● first point")},
        {"no letter: still text here", owned(QStringLiteral("3 + 4")), QStringLiteral("3 + 4")},
        {"over the entry's limit", owned(longText), SelectionRefusal::tooLong},
        {"at the entry's limit", owned(longText.left(tamsel::SourceText::limit)),
         longText.left(tamsel::SourceText::limit)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SelectionCommandReader::decide(row.findings), row.outcome);
    }
}

TEST(SelectionCommandReader, RefusalsTravelByNameAndShowTheirMessage) {
    QList<SelectionRefusal> shown;
    SelectionServiceProvider provider{[](const SelectionRequest&) {}};
    provider.setRefusalHandler([&shown](SelectionRefusal refusal) { shown.append(refusal); });
    const QList<std::pair<SelectionRefusal, QString>> rows{
        {SelectionRefusal::noSelection,
         QStringLiteral("没有读到所选文字：请先选中文字，再按快捷键或运行 orvel --study-selection。")},
        {SelectionRefusal::protectedField,
         tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::protectedField).message()},
        {SelectionRefusal::tooLong, tamsel::StudyError(tamsel::StudyError::Case::inputTooLong).message()},
        {SelectionRefusal::unconfirmedBrowserField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy).message()},
        {SelectionRefusal::unknownSource, message(SelectionRefusal::unknownSource)},
    };
    for (const auto& [refusal, text] : rows) {
        EXPECT_EQ(selectionRefusalFromRawValue(rawValue(refusal)), refusal);
        EXPECT_EQ(message(refusal), text);
        EXPECT_EQ(provider.ReportUnreadableSelection(rawValue(refusal)), QString());
    }
    EXPECT_EQ(provider.ReportUnreadableSelection(QStringLiteral("NoSelection")),
              SelectionFailure(SelectionFailure::Case::unknownAction).message());
    EXPECT_EQ(shown, (QList<SelectionRefusal>{SelectionRefusal::noSelection, SelectionRefusal::protectedField,
                                              SelectionRefusal::tooLong, SelectionRefusal::unconfirmedBrowserField,
                                              SelectionRefusal::unknownSource}));
}

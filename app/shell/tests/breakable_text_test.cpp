// Long runs without a break become breakable; everything else, and what accessibility clients
// read, stays as it was.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/shell/breakable_text.h"

namespace velquin {
namespace {

TEST(BreakableText, OnlyLongRunsWithoutABreakGetBreaks) {
    const QChar zeroWidthSpace(0x200B);
    const QString accented = QString(30, u'e').replace(u'e', QStringLiteral("e\u0301"));
    const struct {
        const char* name;
        QString text;
        int breaks;
    } rows[] = {
        {"short", QStringLiteral("WWWW"), 0},
        {"a sentence", QStringLiteral("Could not read file: the folder is missing, try again later please."), 0},
        {"Chinese breaks anywhere already", QString(100, u'细'), 0},
        {"a path breaks after its last slash", QStringLiteral("/home/student/") + QString(186, u'W'), 185 / 4},
        {"a code of 25", QString(25, u'W'), 6},
        {"combining marks stay with their letter", accented, 7},
    };
    for (const auto& row : rows) {
        const QString shown = breakableText(row.text);
        EXPECT_EQ(shown.count(zeroWidthSpace), row.breaks) << row.name;
        EXPECT_EQ(QString(shown).remove(zeroWidthSpace), row.text) << row.name;
        EXPECT_FALSE(shown.contains(QString(zeroWidthSpace) + QChar(0x0301))) << row.name;
        // Accessibility clients read the text without the breaks.
        QLabel label;
        setBreakableText(&label, row.text);
        EXPECT_EQ(label.text(), shown) << row.name;
        EXPECT_EQ(label.accessibleName(), row.text) << row.name;
    }
}

}  // namespace
}  // namespace velquin

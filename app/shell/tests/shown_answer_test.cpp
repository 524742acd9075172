// What the answer views show of an answer: the beginning of a very long one, break opportunities in
// long unbroken runs, and selections mapped back to the answer's own characters.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QMimeData>
#include <QTextEdit>

#include "app/shell/shown_answer.h"

namespace velquin {
namespace {

// Copies the selection [from, to) of an edit that shows `shown`, as the view's copy does.
QString copied(QTextEdit& edit, const ShownAnswer& shown, int from, int to) {
    QTextCursor cursor(edit.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    std::unique_ptr<QMimeData> data(shown.selection(&edit));
    return data->text();
}

// A view of an answer, as the application's answer views are.
class AnswerView : public QTextEdit, public ShownAnswerView {
public:
    explicit AnswerView(const ShownAnswer& shown) : shown_(shown) { shown_.show(this, 5); }
    const ShownAnswer& shownAnswer() const override { return shown_; }

private:
    ShownAnswer shown_;
};

TEST(ShownAnswerTest, ShowsTheBeginningAndCopiesTheAnswersOwnCharacters) {
    const QString flag = QStringLiteral("\U0001F1EB\U0001F1F7");
    QString unbroken;
    for (int i = 0; i < 1000; ++i) unbroken += QChar(char16_t(u'a' + i % 26));
    struct Row {
        const char* name;
        QString answer;
        bool cut;
        QString shownEnd;           // how the shown text ends
        int inserted;               // zero-width spaces inserted
        qsizetype shownUnits = -1;  // UTF-16 units of the answer shown; -1: all
        int joined = 0;             // word joiners inserted (none where no line could break)
    };
    const QList<Row> rows{
        {"ordinary text, CR LF and a long word", QStringLiteral("Two lines\r\nDonaudampfschifffahrtsgesellschaft ok"),
         false, QStringLiteral("ok"), 0},
        {"an unbroken run", unbroken, false, unbroken.right(8), 124},
        {"words beyond the limit", QStringLiteral("word ").repeated(12000), true, QStringLiteral("word …"), 0,
         ShownAnswer::limit},
        {"flags beyond the limit: no cluster split", flag.repeated(ShownAnswer::limit + 3), true,
         flag + QStringLiteral("…"), 0, 4 * ShownAnswer::limit},
        {"paragraphs beyond the limit", QStringLiteral("line\r\n").repeated(ShownAnswer::paragraphLimit + 5), true,
         QStringLiteral("\nline…"), 0, 6 * (ShownAnswer::paragraphLimit - 1) + 4},
        {"an unbroken run with CR LF", unbroken + QStringLiteral("\r\n") + unbroken, false, unbroken.right(8), 249},
        {"command-line switches, and hyphens that are none",
         QStringLiteral("以 --force-renderer-accessibility 启动；(-platform xcb) well-known -5 - x --a_b=c-d --"),
         false, QStringLiteral("--"), 0, -1, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ShownAnswer shown(row.answer);
        EXPECT_EQ(shown.answer(), row.answer);
        EXPECT_EQ(shown.isCut(), row.cut);
        EXPECT_TRUE(shown.text().endsWith(row.shownEnd));
        EXPECT_EQ(shown.text().count(QChar(0x200B)), row.inserted);
        EXPECT_EQ(shown.text().count(QChar(0x2060)), row.joined);
        // The whole shown text copies as the answer's shown beginning.
        EXPECT_EQ(shown.source(0, shown.text().size()), row.answer.left(row.shownUnits));

        // Any selection copies the answer's characters behind it, without the inserted spaces, as
        // the view shows it in a document; a screen reader reads them, with its offsets in them.
        AnswerView edit(shown);
        ASSERT_EQ(edit.document()->characterCount() - 1, shown.text().size());
        QAccessibleTextInterface* reader = QAccessible::queryAccessibleInterface(&edit)->textInterface();
        const QString ellipsis = row.cut ? QStringLiteral("…") : QString();
        EXPECT_EQ(reader->text(0, reader->characterCount()), row.answer.left(row.shownUnits) + ellipsis);
        const int end = int(shown.text().size());
        for (const auto& [from, to] :
             QList<std::pair<int, int>>{{0, end}, {3, 40}, {7, 9}, {15, 300}, {end - 5, end}}) {
            if (to > end) continue;
            QString expected = edit.document()->toPlainText().mid(from, to - from);
            expected.remove(QChar(0x200B)).remove(QChar(0x2060));
            if (row.cut && to == end) expected.chop(1);  // the "…" is not the answer's
            const QString original = copied(edit, shown, from, to);
            int start = 0, finish = 0;
            reader->selection(0, &start, &finish);
            EXPECT_EQ(reader->text(start, finish), to == end ? original + ellipsis : original);
            reader->setSelection(0, start, finish);
            EXPECT_EQ(std::unique_ptr<QMimeData>(shown.selection(&edit))->text(), original);
            if (row.answer.contains(u'\r'))
                EXPECT_EQ(QString(original).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), expected);
            else
                EXPECT_EQ(original, expected);
            EXPECT_TRUE(row.answer.contains(original));
        }
    }
}

// A long unbroken run wraps within the width it is given, as words do.
TEST(ShownAnswerTest, UnbrokenRunsWrapWithinTheWidth) {
    QTextEdit edit;
    edit.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit.setLineWrapMode(QTextEdit::FixedPixelWidth);
    edit.setLineWrapColumnOrWidth(300);
    ShownAnswer(QString(20000, u'x')).show(&edit, 5);
    EXPECT_LE(edit.document()->idealWidth(), 300);
    EXPECT_GT(edit.document()->size().height(), 100 * QFontMetrics(edit.font()).lineSpacing());
}

}  // namespace
}  // namespace velquin

#pragma once

#include <QList>
#include <QString>

class QMimeData;
class QTextEdit;

namespace velquin {

// An answer as the answer views show it. Laying out an answer of megabytes holds the main thread
// for seconds to minutes, and nobody reads that much in a panel: a view shows at most `limit`
// characters (grapheme clusters) in at most `paragraphLimit` paragraphs and then "…", while copy
// and export take the whole answer. The
// text layout looks for a line's end from the start of a run without any line-break opportunity
// again for every line, so a long unbroken run (a hash, a number, letters without spaces) costs
// time by the square of its length: a run longer than `unbrokenRun` UTF-16 units gets a zero-width
// space after every `breakEvery` characters, which keeps it wrapping anywhere in linear time. A
// command-line switch ("--force-renderer-accessibility") is never broken at its hyphens: a word
// joiner follows each. A selection copied from the view gives the answer's own characters, without
// those spaces and joiners.
class ShownAnswer {
public:
    static constexpr qsizetype limit = 20000;
    static constexpr qsizetype paragraphLimit = 1000;
    static constexpr qsizetype unbrokenRun = 80;
    static constexpr qsizetype breakEvery = 8;
    // What a view says under a cut answer.
    static inline const QString cutNote = QStringLiteral("回答太长，这里只显示开头部分；“复制”可取得完整回答。");

    ShownAnswer() = default;
    explicit ShownAnswer(const QString& answer);

    // The whole answer, as it was given.
    const QString& answer() const { return answer_; }
    // What the view shows.
    const QString& text() const { return text_; }
    // Whether the answer goes on after what is shown.
    bool isCut() const { return cut_; }
    // The characters of the answer behind the shown range [from, to).
    QString source(qsizetype from, qsizetype to) const;
    // The answer as written behind what the view shows: the shown beginning, and "…" after a cut one.
    QString written() const;
    // A position in `text()` as a position in `written()`, and back.
    qsizetype writtenPosition(qsizetype shown) const;
    qsizetype shownPosition(qsizetype written) const;

    // Puts the shown text into `edit` as plain text, `lineSpacing` pixels between its lines.
    void show(QTextEdit* edit, int lineSpacing) const;
    // The selection of `edit` (which shows this answer) as the answer's own characters.
    QMimeData* selection(const QTextEdit* edit) const;

private:
    qsizetype sourcePosition(qsizetype shown) const;

    // From `shown` on, the shown text runs one to one with the answer from `source`.
    struct Anchor {
        qsizetype shown = 0;
        qsizetype source = 0;
    };

    QString answer_;
    QString text_;
    QList<Anchor> anchors_{Anchor{}};  // ascending; one after each inserted space and each "\r\n"
    qsizetype shownLength_ = 0;        // UTF-16 units of the answer that are shown
    bool cut_ = false;
};

// A text view (a QTextEdit) that shows a ShownAnswer. Screen readers get the answer as written
// from it: its text, and offsets counted in it, without the view's own break opportunities.
class ShownAnswerView {
public:
    ShownAnswerView();
    virtual ~ShownAnswerView() = default;
    virtual const ShownAnswer& shownAnswer() const = 0;
};

}  // namespace velquin

#include "app/shell/shown_answer.h"

#include <QAccessibleWidget>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

#include "base/text.h"

namespace velquin {

namespace {

constexpr QChar zeroWidthSpace(0x200B);
constexpr QChar wordJoiner(0x2060);

bool isSwitchCharacter(QChar c) { return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'='; }

bool mayPrecedeSwitch(QChar c) {
    return c.isSpace() || c.category() == QChar::Punctuation_Open || c.category() == QChar::Punctuation_InitialQuote ||
           c == u'"' || c == u'\'';
}

// The positions inside command-line switches ("--force-renderer-accessibility", "-platform") where
// a line could break: after each of their hyphens. A switch starts with one or two hyphens and a
// letter, at the start of the text or after a space or an opening bracket or quote.
QList<qsizetype> positionsInsideSwitches(const QString& text) {
    QList<qsizetype> inside;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'-') continue;
        if (i > 0 && !mayPrecedeSwitch(text[i - 1])) continue;
        qsizetype end = i + 1;
        if (end < text.size() && text[end] == u'-') ++end;
        if (end == text.size() || !text[end].isLetter()) continue;
        while (end < text.size() && isSwitchCharacter(text[end])) ++end;
        for (qsizetype at = i; at + 1 < end; ++at) {
            if (text[at] == u'-') inside.append(at + 1);
        }
        i = end - 1;
    }
    return inside;
}

}  // namespace

ShownAnswer::ShownAnswer(const QString& answer) : answer_(answer) {
    // A text of at most `limit` UTF-16 units has at most `limit` clusters: no walk needed.
    QString body = answer.size() <= limit || !base::text::graphemeCountExceeds(answer, limit)
                       ? answer
                       : base::text::graphemePrefix(answer, limit);
    // Each paragraph costs the layout about as much as a line of text: at most `paragraphLimit`.
    qsizetype paragraphs = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char16_t c = body[i].unicode();
        if (c == u'\r' && i + 1 < body.size() && body[i + 1] == u'\n') continue;
        if ((c == u'\n' || c == u'\r' || c == 0x2029) && ++paragraphs == paragraphLimit) {
            body.truncate(c == u'\n' && i > 0 && body[i - 1] == u'\r' ? i - 1 : i);
            break;
        }
    }
    cut_ = body.size() < answer.size();
    shownLength_ = body.size();
    text_.reserve(body.size() + body.size() / breakEvery / 4 + 1);

    // The document turns "\r\n" into one paragraph end: shown as "\n", so that the positions of
    // the view and of the shown text are the same.
    const auto appendPlain = [this](QStringView piece, qsizetype source) {
        for (qsizetype cr = piece.indexOf(u'\r'); cr != -1; cr = piece.indexOf(u'\r')) {
            if (cr + 1 < piece.size() && piece[cr + 1] == u'\n') {
                text_ += piece.first(cr);
                text_ += u'\n';
                anchors_.append({text_.size(), source + cr + 2});
                piece = piece.sliced(cr + 2);
                source += cr + 2;
            } else {
                text_ += piece.first(cr + 1);
                piece = piece.sliced(cr + 1);
                source += cr + 1;
            }
        }
        text_ += piece;
    };

    // A switch stays whole: a word joiner after each of its hyphens takes away the breaks there.
    const QList<qsizetype> joins = positionsInsideSwitches(body);
    auto join = joins.cbegin();
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, body);
    qsizetype previous = 0;
    for (qsizetype next = lines.toNextBoundary(); next != -1 && previous < body.size(); next = lines.toNextBoundary()) {
        const QStringView run = QStringView(body).mid(previous, next - previous);
        if (run.size() <= unbrokenRun) {
            appendPlain(run, previous);
        } else {
            const QList<qsizetype> clusters = base::text::graphemeBoundaries(run.toString());
            for (qsizetype i = 1; i < clusters.size(); ++i) {
                appendPlain(run.mid(clusters[i - 1], clusters[i] - clusters[i - 1]), previous + clusters[i - 1]);
                if (i % breakEvery == 0 && i + 1 < clusters.size()) {
                    text_ += zeroWidthSpace;
                    anchors_.append({text_.size(), previous + clusters[i]});
                }
            }
        }
        while (join != joins.cend() && *join < next) ++join;
        if (join != joins.cend() && *join == next) {
            text_ += wordJoiner;
            anchors_.append({text_.size(), next});
        }
        previous = next;
    }
    if (cut_) text_ += QStringLiteral("…");
}

qsizetype ShownAnswer::sourcePosition(qsizetype shown) const {
    // The last anchor at or before `shown`; the text runs on one to one from there.
    const auto after =
        std::upper_bound(anchors_.begin(), anchors_.end(), shown,
                         [](qsizetype position, const Anchor& anchor) { return position < anchor.shown; });
    const Anchor& anchor = *(after - 1);
    return std::clamp(anchor.source + (shown - anchor.shown), qsizetype(0), shownLength_);
}

QString ShownAnswer::source(qsizetype from, qsizetype to) const {
    const qsizetype start = sourcePosition(from);
    return answer_.mid(start, std::max(qsizetype(0), sourcePosition(to) - start));
}

QString ShownAnswer::written() const { return cut_ ? answer_.left(shownLength_) + QStringLiteral("…") : answer_; }

qsizetype ShownAnswer::writtenPosition(qsizetype shown) const {
    return cut_ && shown >= text_.size() ? shownLength_ + 1 : sourcePosition(shown);
}

qsizetype ShownAnswer::shownPosition(qsizetype written) const {
    const qsizetype end = text_.size() - (cut_ ? 1 : 0);
    if (written > shownLength_) return cut_ ? text_.size() : end;
    // The last anchor at or before `written` in the answer; the text runs on one to one from there.
    const auto after =
        std::upper_bound(anchors_.begin(), anchors_.end(), written,
                         [](qsizetype position, const Anchor& anchor) { return position < anchor.source; });
    const Anchor& anchor = *(after - 1);
    return std::clamp(anchor.shown + (written - anchor.source), qsizetype(0), end);
}

void ShownAnswer::show(QTextEdit* edit, int lineSpacing) const {
    edit->setPlainText(text_);
    QTextBlockFormat spacing;
    spacing.setLineHeight(lineSpacing, QTextBlockFormat::LineDistanceHeight);
    // A read-only view keeps no step to undo (one per paragraph).
    QTextDocument* document = edit->document();
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor all(document);
    all.select(QTextCursor::Document);
    all.mergeBlockFormat(spacing);
    document->setUndoRedoEnabled(undo);
}

QMimeData* ShownAnswer::selection(const QTextEdit* edit) const {
    const QTextCursor cursor = edit->textCursor();
    auto* data = new QMimeData();
    data->setText(source(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

namespace {

// What screen readers get of an answer view: the answer as written, with offsets in it mapped to
// and from the view's text.
class AccessibleShownAnswer : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit AccessibleShownAnswer(QTextEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectableText = true;
        state.multiLine = true;
        state.readOnly = edit()->isReadOnly();
        state.editable = !edit()->isReadOnly();
        return state;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? answer().written() : QAccessibleWidget::text(kind);
    }

    QString text(int start, int end) const override { return answer().written().mid(start, end - start); }
    int characterCount() const override { return int(answer().written().size()); }
    int cursorPosition() const override { return written(edit()->textCursor().position()); }
    void setCursorPosition(int position) override { select(position, position); }
    int selectionCount() const override { return edit()->textCursor().hasSelection() ? 1 : 0; }
    void selection(int index, int* start, int* end) const override {
        const QTextCursor cursor = edit()->textCursor();
        const bool any = index == 0 && cursor.hasSelection();
        *start = any ? written(cursor.selectionStart()) : 0;
        *end = any ? written(cursor.selectionEnd()) : 0;
    }
    void addSelection(int start, int end) override { select(start, end); }
    void setSelection(int, int start, int end) override { select(start, end); }
    void removeSelection(int) override { select(cursorPosition(), cursorPosition()); }

    QRect characterRect(int offset) const override {
        QRect rect = edit()->cursorRect(cursorAt(offset));
        const QRect next = edit()->cursorRect(cursorAt(offset + 1));
        if (next.top() == rect.top() && next.left() > rect.left()) rect.setRight(next.left() - 1);
        return QRect(edit()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return written(edit()->cursorForPosition(edit()->viewport()->mapFromGlobal(point)).position());
    }
    void scrollToSubstring(int start, int end) override {
        // Within the view's own scrolling, then within a scroll area around it.
        const QRect rect = edit()->cursorRect(cursorAt(start)).united(edit()->cursorRect(cursorAt(end)));
        QScrollBar* bar = edit()->verticalScrollBar();
        if (rect.top() < 0 || rect.bottom() > edit()->viewport()->height()) bar->setValue(bar->value() + rect.top());
        for (QWidget* around = edit()->parentWidget(); around; around = around->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(around); area && area->widget()) {
                const QPoint centre = edit()->viewport()->mapTo(area->widget(), rect.center());
                area->ensureVisible(centre.x(), centre.y());
                break;
            }
        }
    }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return QString();
    }

private:
    QTextEdit* edit() const { return static_cast<QTextEdit*>(widget()); }
    const ShownAnswer& answer() const {
        // None while the view is being destroyed.
        static const ShownAnswer none;
        const auto* view = dynamic_cast<const ShownAnswerView*>(object());
        return view ? view->shownAnswer() : none;
    }
    int written(int shown) const { return int(answer().writtenPosition(shown)); }
    QTextCursor cursorAt(int offset) const {
        QTextCursor cursor(edit()->document());
        cursor.setPosition(
            int(std::min(answer().shownPosition(offset), qsizetype(edit()->document()->characterCount() - 1))));
        return cursor;
    }
    void select(int start, int end) {
        QTextCursor cursor = cursorAt(start);
        cursor.setPosition(cursorAt(end).position(), QTextCursor::KeepAnchor);
        edit()->setTextCursor(cursor);
    }
};

QAccessibleInterface* accessibleShownAnswer(const QString& key, QObject* object) {
    // Asked first for the object's own class.
    if (key != QLatin1String(object->metaObject()->className())) return nullptr;
    auto* edit = qobject_cast<QTextEdit*>(object);
    return edit && dynamic_cast<const ShownAnswerView*>(object) ? new AccessibleShownAnswer(edit) : nullptr;
}

}  // namespace

ShownAnswerView::ShownAnswerView() {
    static const bool installed = (QAccessible::installFactory(accessibleShownAnswer), true);
    Q_UNUSED(installed);
}

}  // namespace velquin

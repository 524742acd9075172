#include "app/main-window/selectable_text.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTextBoundaryFinder>

#include <cmath>

#include "app/shell/shown_answer.h"
#include "app/shell/ui_strings.h"
#include "base/text.h"

namespace velquin {

namespace {
QTextOption wrapping() {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}
}  // namespace

SelectableText::SelectableText(QWidget* parent, const QFont& font) : QWidget(parent) {
    setFont(font);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString SelectableText::cut(const QString& text) {
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // As much as an answer view shows, cut at a character boundary.
    if (flat.size() <= ShownAnswer::limit || !base::text::graphemeCountExceeds(flat, ShownAnswer::limit)) return flat;
    return base::text::graphemePrefix(flat, ShownAnswer::limit) + QStringLiteral("…");
}

void SelectableText::setText(const QString& text) {
    const QString shown = cut(text);
    if (shown == shown_) return;
    shown_ = shown;
    // Read by screen readers as a label's text would be.
    setAccessibleDescription(shown_);
    anchor_ = cursor_ = 0;
    laidWidth_ = -1;
    updateGeometry();
    update();
}

QString SelectableText::selectedText() const {
    const int from = qMin(anchor_, cursor_), to = qMax(anchor_, cursor_);
    return shown_.mid(from, to - from);
}

int SelectableText::lay(QTextLayout& layout, int width) {
    layout.setTextOption(wrapping());
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return int(std::ceil(y));
}

int SelectableText::heightFor(const QString& text, const QFont& font, int width) {
    const QString shown = cut(text);
    if (shown.isEmpty()) return 0;
    QTextLayout layout(shown, font);
    return lay(layout, width);
}

void SelectableText::ensureLayout() const {
    const int width = qMax(1, this->width());
    if (laidWidth_ == width) return;
    layout_.setText(shown_);
    layout_.setFont(font());
    laidHeight_ = shown_.isEmpty() ? 0 : lay(layout_, width);
    laidWidth_ = width;
}

int SelectableText::heightForWidth(int width) const {
    if (width == this->width()) {
        ensureLayout();
        return laidHeight_;
    }
    return heightFor(shown_, font(), width);
}

QSize SelectableText::sizeHint() const { return QSize(200, heightForWidth(qMax(1, width()))); }

void SelectableText::paintEvent(QPaintEvent* event) {
    ensureLayout();
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    QList<QTextLayout::FormatRange> selections;
    if (anchor_ != cursor_) {
        QTextLayout::FormatRange range;
        range.start = qMin(anchor_, cursor_);
        range.length = qAbs(cursor_ - anchor_);
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        selections.append(range);
    }
    layout_.draw(&painter, QPointF(0, 0), selections, QRectF(event->rect()));
}

int SelectableText::positionAt(const QPoint& point) const {
    ensureLayout();
    const int lines = layout_.lineCount();
    if (lines == 0) return 0;
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = layout_.lineAt(i);
        if (point.y() < line.y() + line.height() || i == lines - 1) return line.xToCursor(point.x());
    }
    return int(shown_.size());
}

void SelectableText::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    anchor_ = cursor_ = positionAt(event->position().toPoint());
    update();
}

void SelectableText::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    cursor_ = positionAt(event->position().toPoint());
    update();
}

void SelectableText::mouseDoubleClickEvent(QMouseEvent* event) {
    const int at = positionAt(event->position().toPoint());
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, shown_);
    words.setPosition(at);
    anchor_ = int(words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
                      ? at
                      : qMax<qsizetype>(0, words.toPreviousBoundary()));
    words.setPosition(at);
    cursor_ = int(qMax<qsizetype>(at, words.toNextBoundary()));
    update();
}

void SelectableText::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        anchor_ = 0;
        cursor_ = int(shown_.size());
        update();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void SelectableText::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(UIStrings::text(QStringLiteral("复制")));
    copyAction->setEnabled(anchor_ != cursor_);
    QAction* all = menu.addAction(UIStrings::text(QStringLiteral("全选")));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copyAction) {
        copy();
    } else if (chosen == all) {
        anchor_ = 0;
        cursor_ = int(shown_.size());
        update();
    }
}

void SelectableText::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void SelectableText::copy() const {
    if (anchor_ != cursor_) QApplication::clipboard()->setText(selectedText());
}

}  // namespace velquin

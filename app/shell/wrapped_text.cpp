#include "app/shell/wrapped_text.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QTextBoundaryFinder>

#include <cmath>

#include "app/shell/shown_answer.h"
#include "app/shell/ui_strings.h"

namespace velquin {

namespace {

QTextOption wrapping(Qt::Alignment alignment) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(alignment);
    return option;
}

// Read by screen readers as a label: its name is the text.
class AccessibleWrappedText : public QAccessibleWidget {
public:
    explicit AccessibleWrappedText(WrappedText* text) : QAccessibleWidget(text, QAccessible::StaticText) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const WrappedText*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleWrappedText(const QString& key, QObject* object) {
    if (key == QLatin1String(WrappedText::staticMetaObject.className()) && object->isWidgetType())
        return new AccessibleWrappedText(static_cast<WrappedText*>(object));
    return nullptr;
}

// The text as the layout takes it: a line feed ends a line only as a line separator. One character
// for one, so that positions in the layout are positions in the text.
QString laidOut(QString text) {
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r') c = QChar::LineSeparator;
    return text;
}

}  // namespace

WrappedText::WrappedText(QWidget* parent, const QFont& font) : QWidget(parent) {
    static const bool installed = (QAccessible::installFactory(accessibleWrappedText), true);
    Q_UNUSED(installed);
    setFont(font);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString WrappedText::plainText(qsizetype from, qsizetype to) const {
    QString plain = answer_.source(from, to);
    if (answer_.isCut() && to == shown_.size() && from < to) plain += QStringLiteral("…");
    return plain;
}

void WrappedText::setText(const QString& text) {
    if (text == answer_.answer()) return;
    answer_ = ShownAnswer(text);
    shown_ = answer_.text();
    plain_ = plainText(0, shown_.size());
    anchor_ = cursor_ = 0;
    laidWidth_ = naturalWidth_ = -1;
    otherHeights_.clear();
    keepLinesWhole();
    updateGeometry();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void WrappedText::setSelectable(bool selectable) {
    selectable_ = selectable;
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
    if (selectable) {
        setCursor(Qt::IBeamCursor);
    } else {
        unsetCursor();
        anchor_ = cursor_ = 0;
        update();
    }
}

void WrappedText::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment & Qt::AlignHorizontal_Mask;
    laidWidth_ = -1;
    otherHeights_.clear();
    update();
}

QStringList WrappedText::shownLines() const {
    ensureLayout();
    QStringList lines;
    for (int i = 0; i < layout_.lineCount(); ++i) {
        const QTextLine line = layout_.lineAt(i);
        lines.append(plainText(line.textStart(), line.textStart() + line.textLength()));
    }
    return lines;
}

QString WrappedText::selectedText() const {
    const int from = qMin(anchor_, cursor_), to = qMax(anchor_, cursor_);
    return plainText(from, to);
}

int WrappedText::lay(QTextLayout& layout, int width, Qt::Alignment alignment, int maximumLines) {
    layout.setTextOption(wrapping(alignment));
    layout.beginLayout();
    qreal y = 0;
    // Text past the last line allowed is neither laid out nor shown.
    while (maximumLines <= 0 || layout.lineCount() < maximumLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(qMax(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return int(std::ceil(y));
}

int WrappedText::heightFor(const QString& text, const QFont& font, int width) {
    const QString shown = ShownAnswer(text).text();
    if (shown.isEmpty()) return 0;
    QTextLayout layout(laidOut(shown), font);
    return lay(layout, width);
}

void WrappedText::ensureLayout() const {
    const int width = qMax(1, this->width());
    if (laidWidth_ == width) return;
    layout_.setText(laidOut(shown_));
    layout_.setFont(font());
    laidHeight_ = shown_.isEmpty() ? 0 : lay(layout_, width, alignment_, maximumLines_);
    laidWidth_ = width;
}

int WrappedText::heightForWidth(int width) const {
    if (width == this->width()) {
        ensureLayout();
        return laidHeight_;
    }
    if (shown_.isEmpty()) return 0;
    if (width == laidWidth_) return laidHeight_;
    // A layout asks again for the same few widths while it is set up (a long text takes
    // milliseconds to lay out).
    if (const auto known = otherHeights_.constFind(width); known != otherHeights_.constEnd()) return *known;
    QTextLayout layout(laidOut(shown_), font());
    const int height = lay(layout, width, alignment_, maximumLines_);
    if (otherHeights_.size() >= 8) otherHeights_.clear();
    otherHeights_.insert(width, height);
    return height;
}

void WrappedText::setMaximumLines(int lines) {
    maximumLines_ = lines;
    laidWidth_ = -1;
    otherHeights_.clear();
    keepLinesWhole();
    updateGeometry();
    update();
}

void WrappedText::setMinimumHeightFollowsWidth(bool follows) {
    minimumHeightFollowsWidth_ = follows;
    keepLinesWhole();
}

void WrappedText::keepLinesWhole() {
    if (minimumHeightFollowsWidth_) setMinimumHeight(heightForWidth(qMax(1, width())));
}

void WrappedText::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) keepLinesWhole();
}

QSize WrappedText::sizeHint() const {
    if (naturalWidth_ < 0) {
        // The longest paragraph, measured up to the width asked for at most.
        naturalWidth_ = 0;
        const QFontMetrics metrics(font());
        for (const QString& paragraph : shown_.split(u'\n')) {
            naturalWidth_ = qMax(naturalWidth_, metrics.horizontalAdvance(paragraph.left(4 * preferredWidth)));
            if (naturalWidth_ >= preferredWidth) break;
        }
        naturalWidth_ = qMin(naturalWidth_ + 1, preferredWidth);
    }
    return QSize(naturalWidth_, heightForWidth(naturalWidth_));
}

void WrappedText::paintEvent(QPaintEvent* event) {
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

int WrappedText::positionAt(const QPoint& point) const {
    ensureLayout();
    const int lines = layout_.lineCount();
    if (lines == 0) return 0;
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = layout_.lineAt(i);
        if (point.y() < line.y() + line.height() || i == lines - 1) return line.xToCursor(point.x());
    }
    return int(shown_.size());
}

void WrappedText::mousePressEvent(QMouseEvent* event) {
    if (!selectable_ || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    anchor_ = cursor_ = positionAt(event->position().toPoint());
    update();
}

void WrappedText::mouseMoveEvent(QMouseEvent* event) {
    if (!selectable_) return QWidget::mouseMoveEvent(event);
    if (!(event->buttons() & Qt::LeftButton)) return;
    cursor_ = positionAt(event->position().toPoint());
    update();
}

void WrappedText::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!selectable_) return QWidget::mouseDoubleClickEvent(event);
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

void WrappedText::keyPressEvent(QKeyEvent* event) {
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

void WrappedText::contextMenuEvent(QContextMenuEvent* event) {
    if (!selectable_) return QWidget::contextMenuEvent(event);
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

void WrappedText::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void WrappedText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        laidWidth_ = naturalWidth_ = -1;
        otherHeights_.clear();
        keepLinesWhole();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

void WrappedText::copy() const {
    if (anchor_ != cursor_) QApplication::clipboard()->setText(selectedText());
}

}  // namespace velquin

#include "app/main-window/elided_label.h"

#include <QEvent>
#include <QPainter>

namespace velquin {

ElidedLabel::ElidedLabel(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    line_ = text;
    for (QChar& c : line_) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = u' ';
    }
    setAccessibleName(text);
    updateGeometry();
    update();
}

void ElidedLabel::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

QString ElidedLabel::shownText() const { return fontMetrics().elidedText(line_, Qt::ElideRight, width()); }

QSize ElidedLabel::sizeHint() const { return {fontMetrics().horizontalAdvance(line_), fontMetrics().height()}; }

QSize ElidedLabel::minimumSizeHint() const { return {0, fontMetrics().height()}; }

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(color_.isValid() ? color_ : palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignVCenter | alignment_, shownText());
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

}  // namespace velquin

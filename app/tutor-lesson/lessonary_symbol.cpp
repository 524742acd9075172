#include "app/tutor-lesson/lessonary_symbol.h"

#include <QPainter>

#include "app/shell/symbol_image.h"

#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin {

LessonarySymbol::LessonarySymbol(const QString& name, int pixelSize, QWidget* parent)
    : QWidget(parent), name_(name), pixelSize_(pixelSize) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(pixelSize, pixelSize);
}

void LessonarySymbol::setName(const QString& name) {
    if (name == name_) return;
    name_ = name;
    update();
}

void LessonarySymbol::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void LessonarySymbol::setBadge(int box, const QColor& fill, qreal radius) {
    box_ = box;
    fill_ = fill;
    radius_ = radius;
    setFixedSize(qMax(box, pixelSize_), qMax(box, pixelSize_));
    update();
}

QPixmap LessonarySymbol::pixmap(const QString& name, const QColor& color, int pixelSize, qreal devicePixelRatio) {
    return SymbolImage::pixmap(name, QSize(pixelSize, pixelSize), color, devicePixelRatio);
}

QIcon LessonarySymbol::icon(const QString& name, const QColor& color, int pixelSize, const QColor& disabledColor) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(pixmap(name, color, pixelSize, ratio), QIcon::Normal);
        if (disabledColor.isValid()) icon.addPixmap(pixmap(name, disabledColor, pixelSize, ratio), QIcon::Disabled);
    }
    return icon;
}

void LessonarySymbol::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (box_ > 0) {
        const QRectF badge((width() - box_) / 2.0, (height() - box_) / 2.0, box_, box_);
        LessonaryTheme::fillRounded(painter, badge, fill_, radius_);
    }
    const QPixmap image = pixmap(name_, color_.isValid() ? color_ : palette().color(QPalette::WindowText), pixelSize_,
                                 devicePixelRatioF());
    painter.drawPixmap(QPointF((width() - pixelSize_) / 2.0, (height() - pixelSize_) / 2.0), image);
}

}  // namespace velquin

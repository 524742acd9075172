#include "app/shell/application_style.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace velquin {

namespace {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

}  // namespace

ApplicationStyle::ApplicationStyle(const QString& base) {
    QStyle* wrapped = QStyleFactory::create(base);
    if (!wrapped) wrapped = QStyleFactory::create(QStringLiteral("Fusion"));
    setBaseStyle(wrapped);
    fusion_ = baseStyle()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) == 0;
}

void ApplicationStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const bool edged = element == PE_IndicatorCheckBox || element == PE_IndicatorRadioButton ||
                       (element == PE_FrameLineEdit && !(option->state & State_HasFocus));
    if (!edged || !fusion_ || !isDark(option->palette)) return;
    // Over Fusion's edge, on the same half-pixel grid.
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(option->palette.color(QPalette::PlaceholderText), 1));
    const QRectF edge = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (element == PE_IndicatorRadioButton)
        painter->drawEllipse(edge);
    else if (element == PE_FrameLineEdit)
        painter->drawRoundedRect(edge, 2, 2);
    else
        painter->drawRect(edge);
    painter->restore();
}

}  // namespace velquin

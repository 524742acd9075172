#include "app/main-window/home_style.h"

#include <QAbstractButton>
#include <QLayout>
#include <QPalette>
#include <QWidget>

#include "app/shell/orvel_brand.h"
#include "app/shell/symbol_image.h"
#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin::home_style {

ColorScheme scheme() { return ApplicationAppearance::shared().colorScheme(); }

QColor secondary(ColorScheme scheme) { return LessonaryTheme::inkSecondary(scheme); }

QColor tertiary(ColorScheme scheme) {
    QColor color = LessonaryTheme::inkSecondary(scheme);
    color.setAlphaF(0.6f);
    return color;
}

QIcon symbolIcon(const QString& name, const QColor& color, int size, qreal devicePixelRatio) {
    QIcon icon(SymbolImage::pixmap(name, QSize(size, size), color, devicePixelRatio));
    QColor disabled = color;
    disabled.setAlphaF(color.alphaF() * 0.35f);
    icon.addPixmap(SymbolImage::pixmap(name, QSize(size, size), disabled, devicePixelRatio), QIcon::Disabled);
    return icon;
}

void fitHeightToWidth(QWidget* sheet, int width) {
    QLayout* rows = sheet->layout();
    rows->activate();
    sheet->setFixedHeight(rows->totalHeightForWidth(width));
}

void clearBase(QWidget* widget) {
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, Qt::transparent);
    widget->setPalette(palette);
}

void styleBorderless(QAbstractButton* button, const QColor& color) {
    QColor pressed = color;
    pressed.setAlphaF(0.6f);
    button->setStyleSheet(QStringLiteral("QPushButton, QToolButton { border: none; background: transparent; "
                                         "padding: 0px 4px; color: %1; }"
                                         "QPushButton:pressed, QToolButton:pressed { color: %2; }"
                                         "QPushButton:disabled, QToolButton:disabled { color: palette(mid); }")
                              .arg(color.name(QColor::HexArgb), pressed.name(QColor::HexArgb)));
}

void styleProminent(QAbstractButton* button, int verticalPadding) {
    const QColor accent = OrvelBrand::accent();
    QColor pressed = accent.darker(115);
    QColor disabled = accent;
    disabled.setAlphaF(0.4f);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: 7px; padding: %1px 16px; "
                                         "background: %2; color: palette(bright-text); }"
                                         "QPushButton:pressed { background: %3; }"
                                         "QPushButton:disabled { background: %4; }")
                              .arg(verticalPadding)
                              .arg(accent.name(QColor::HexArgb), pressed.name(QColor::HexArgb),
                                   disabled.name(QColor::HexArgb)));
}

}  // namespace velquin::home_style

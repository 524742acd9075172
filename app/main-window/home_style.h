#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

#include "app/shell/application_appearance.h"

class QAbstractButton;
class QWidget;

// The text sizes and colours the home page and its sheets share.
namespace velquin::home_style {

// Pixel sizes of the text styles.
inline constexpr int title2 = 19;
inline constexpr int headline = 14;  // semibold
inline constexpr int subheadline = 13;
inline constexpr int callout = 13;
inline constexpr int body = 13;
inline constexpr int caption = 12;
inline constexpr int caption2 = 11;

ColorScheme scheme();
// Text that says less than the main text.
QColor secondary(ColorScheme scheme);
// Text that only hints (placeholders).
QColor tertiary(ColorScheme scheme);

// A line symbol in `color` as an icon, sharp at `devicePixelRatio`.
QIcon symbolIcon(const QString& name, const QColor& color, int size, qreal devicePixelRatio);

// Sets a sheet of fixed width to the height its rows need at that width.
void fitHeightToWidth(QWidget* sheet, int width);

// Lets the parent show through where the widget would fill with the palette's base colour.
void clearBase(QWidget* widget);

// A button without a border that shows its symbol and title in `color` (a darker shade while
// pressed, the palette's disabled text while disabled), no taller than its title.
void styleBorderless(QAbstractButton* button, const QColor& color);
// The prominent button: the accent behind a bright title.
void styleProminent(QAbstractButton* button, int verticalPadding);

}  // namespace velquin::home_style

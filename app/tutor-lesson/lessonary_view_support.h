#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>

#include "app/shell/application_appearance.h"

class QAbstractButton;
class QLabel;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Small helpers the lesson views share: the colour scheme they paint in, fonts in pixels, text
// colours, and following the interface language and the appearance.
namespace velquin::lessonary {

// The colour scheme the application shows now.
ColorScheme currentScheme();

// The application font at `pixelSize` device-independent pixels and `weight`.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);

// The accent of the question composer and the tutor session row: sRGB 0.91, 0.45, 0.33 (not the
// palette's coral, which is the brand accent).
QColor componentAccent();

// Sets the colour of a widget's text (labels, buttons, editors) for every state but disabled.
void setTextColor(QWidget* widget, const QColor& color);

// A plain-text label in `font`, optionally wrapping (then it takes the height its lines need).
QLabel* makeLabel(QWidget* parent, const QFont& font, bool wrap);

// Button looks: filled in `tint` with white text (prominent); outlined on the card colour with
// the ink text (bordered); text only, in `color` (borderless). Disabled buttons fade.
void styleProminent(QPushButton* button, const QColor& tint, ColorScheme scheme);
void styleBordered(QPushButton* button, ColorScheme scheme);
void styleBorderless(QPushButton* button, const QColor& color, ColorScheme scheme);

// Shows `title` on the button as it is (an "&" marks no shortcut key) and names the button by it.
void setButtonTitle(QAbstractButton* button, const QString& title);

// A plain-text editor with a rounded outline inside its edge in `border` and the ink text.
void styleEditor(QPlainTextEdit* editor, const QColor& border, qreal radius, ColorScheme scheme);

// A horizontal hairline in the `line` colour.
QWidget* makeDivider(QWidget* parent);

// Calls `retranslate` after every change of the shared interface language and `restyle` after
// every change of the application's colour scheme, for as long as `owner` lives. Neither is called
// now: the view calls both once at the end of its constructor.
void follow(QObject* owner, std::function<void()> retranslate, std::function<void()> restyle);

}  // namespace velquin::lessonary

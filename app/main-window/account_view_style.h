#pragma once

#include <QString>

class QAbstractButton;
class QPushButton;
class QWidget;

// What the account sheet and the history page share: their three-language texts and their plain
// buttons. (Text sizes and colours come from home_style, as on the home page.)
namespace velquin::account_style {

// UIStrings::choose over UTF-8 literals.
QString choose(const char* chinese, const char* english, const char* french);
// The button's title as written, which screen readers also read. An "&" in it is shown, never
// taken for a keyboard mnemonic ("Privacy & AI").
void setTitle(QAbstractButton* button, const QString& title);
// A push button named `name` that is never a default button, so Return in a field starts nothing.
QPushButton* makeButton(QWidget* parent, const QString& name);

}  // namespace velquin::account_style

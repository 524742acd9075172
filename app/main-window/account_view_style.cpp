#include "app/main-window/account_view_style.h"

#include <QPushButton>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin::account_style {

QString choose(const char* chinese, const char* english, const char* french) {
    return UIStrings::choose(QString::fromUtf8(chinese), QString::fromUtf8(english), QString::fromUtf8(french));
}

void setTitle(QAbstractButton* button, const QString& title) { lessonary::setButtonTitle(button, title); }

QPushButton* makeButton(QWidget* parent, const QString& name) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace velquin::account_style

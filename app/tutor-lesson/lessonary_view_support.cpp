#include "app/tutor-lesson/lessonary_view_support.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include "app/shell/interface_settings.h"

namespace velquin::lessonary {

ColorScheme currentScheme() { return ApplicationAppearance::shared().colorScheme(); }

QFont font(int pixelSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, color);
        palette.setColor(group, QPalette::Text, color);
        palette.setColor(group, QPalette::ButtonText, color);
    }
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const QFont& font, bool wrap) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(wrap);
    if (wrap) {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
    }
    return label;
}

void follow(QObject* owner, std::function<void()> retranslate, std::function<void()> restyle) {
    if (retranslate)
        QObject::connect(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange, owner,
                         [retranslate](InterfaceSettings* settings) {
                             if (settings == &InterfaceSettings::shared()) retranslate();
                         });
    if (restyle)
        QObject::connect(&ApplicationAppearance::shared(), &ApplicationAppearance::colorSchemeChanged, owner,
                         [restyle] { restyle(); });
}

}  // namespace velquin::lessonary

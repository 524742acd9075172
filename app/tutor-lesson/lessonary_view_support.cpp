#include "app/tutor-lesson/lessonary_view_support.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "app/shell/interface_settings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"

namespace velquin::lessonary {

ColorScheme currentScheme() { return ApplicationAppearance::shared().colorScheme(); }

QFont font(int pixelSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QColor componentAccent() { return QColor::fromRgbF(0.91f, 0.45f, 0.33f, 1.0f); }

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

namespace {

QString rgba(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QColor faded(QColor color, qreal opacity) {
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// The hairline between the parts of a column.
class Divider : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        follow(this, nullptr, [this] { update(); });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryMERIDPalette::line(currentScheme()));
    }
};

}  // namespace

void styleProminent(QPushButton* button, const QColor& tint, ColorScheme scheme) {
    const QColor text = Qt::white;
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px;"
                       " padding: 5px 12px; }"
                       "QPushButton:hover { background: %3; }"
                       "QPushButton:pressed { background: %4; }"
                       "QPushButton:disabled { background: %5; color: %6; }")
            .arg(rgba(tint), rgba(text), rgba(tint.lighter(108)), rgba(tint.darker(112)),
                 rgba(faded(LessonaryMERIDPalette::muted(scheme), 0.25)),
                 rgba(faded(LessonaryMERIDPalette::ink(scheme), 0.45))));
}

void styleBordered(QPushButton* button, ColorScheme scheme) {
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 6px;"
                       " padding: 4px 11px; }"
                       "QPushButton:hover { background: %4; }"
                       "QPushButton:disabled { color: %5; }")
            .arg(rgba(LessonaryMERIDPalette::card(scheme)), rgba(LessonaryMERIDPalette::ink(scheme)),
                 rgba(LessonaryMERIDPalette::line(scheme)), rgba(LessonaryMERIDPalette::subtle(scheme)),
                 rgba(faded(LessonaryMERIDPalette::ink(scheme), 0.45))));
}

void styleBorderless(QPushButton* button, const QColor& color, ColorScheme scheme) {
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { background: transparent; color: %1; border: none;"
                                         " padding: 2px 0px; }"
                                         "QPushButton:hover { text-decoration: underline; }"
                                         "QPushButton:disabled { color: %2; }")
                              .arg(rgba(color), rgba(faded(LessonaryMERIDPalette::muted(scheme), 0.6))));
}

void styleEditor(QPlainTextEdit* editor, const QColor& border, qreal radius, ColorScheme scheme) {
    editor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: %1; color: %2; border: 1px solid %3;"
                                         " border-radius: %4px; padding: 4px; }"
                                         "QPlainTextEdit:disabled { color: %5; }")
                              .arg(rgba(LessonaryMERIDPalette::card(scheme)), rgba(LessonaryMERIDPalette::ink(scheme)),
                                   rgba(border), QString::number(radius),
                                   rgba(faded(LessonaryMERIDPalette::ink(scheme), 0.55))));
}

QWidget* makeDivider(QWidget* parent) { return new Divider(parent); }

void setButtonTitle(QAbstractButton* button, const QString& title) {
    button->setText(QString(title).replace(u'&', QStringLiteral("&&")));
    button->setAccessibleName(title);
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

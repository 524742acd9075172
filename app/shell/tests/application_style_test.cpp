// The edges of check boxes, radio buttons and text fields stand out from the window in both
// schemes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyleOption>

#include <cmath>
#include <memory>

#include "app/shell/application_appearance.h"
#include "app/shell/application_style.h"

namespace velquin {
namespace {

double luminance(QColor color) {
    auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.red()) + 0.7152 * channel(color.green()) + 0.0722 * channel(color.blue());
}

double contrast(QColor a, QColor b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast to the window colour along the widget's edge: the left column of the
// part the style draws (a check box's square, a field's frame), halfway down.
double edgeContrast(QWidget& widget, QRect part) {
    widget.ensurePolished();
    const QImage picture = widget.grab().toImage();
    const QColor window = widget.palette().color(QPalette::Window);
    double best = 1;
    for (int x = part.left(); x <= part.left() + 2; ++x)
        best = std::max(best, contrast(picture.pixelColor(x, part.center().y()), window));
    return best;
}

TEST(ApplicationStyle, EdgesStandOutFromTheWindowInBothSchemes) {
    ApplicationStyle style(QStringLiteral("Fusion"));
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::dark ? "dark" : "light");
        const QPalette palette = ApplicationAppearance::palette(scheme);

        QCheckBox box(QStringLiteral("Notes only"));
        QRadioButton radio(QStringLiteral("One"));
        QLineEdit field;
        for (QWidget* widget : std::initializer_list<QWidget*>{&box, &radio, &field}) {
            widget->setStyle(&style);
            widget->setPalette(palette);
            widget->resize(widget->sizeHint().expandedTo(QSize(120, 0)));
        }
        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect square = style.subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        option.initFrom(&radio);
        const QRect circle = style.subElementRect(QStyle::SE_RadioButtonIndicator, &option, &radio);
        EXPECT_GE(edgeContrast(box, square), 1.5);
        EXPECT_GE(edgeContrast(radio, circle), 1.5);
        EXPECT_GE(edgeContrast(field, field.rect()), 1.5);
    }
}

}  // namespace
}  // namespace velquin

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/orvel_brand.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_paper_card.h"
#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin {
namespace {

using ColorFunction = QColor (*)(ColorScheme);

struct Token {
    const char* name;
    ColorFunction color;
    QRgb light;
    QRgb dark;
};

// Every token with its light and dark value.
const Token kTokens[] = {
    {"theme paper", LessonaryTheme::paper, 0xF8F5EF, 0x211F1D},
    {"theme surface", LessonaryTheme::surface, 0xFFFDF8, 0x2B2825},
    {"theme rail", LessonaryTheme::rail, 0xEEE7DD, 0x25221F},
    {"theme divider", LessonaryTheme::divider, 0xE1D7CA, 0x45403B},
    {"theme ink", LessonaryTheme::ink, 0x342C27, 0xF7F0E6},
    {"theme inkSecondary", LessonaryTheme::inkSecondary, 0x756B63, 0xCCC2B7},
    {"theme selected", LessonaryTheme::selected, 0xF9E5D9, 0x4A302A},
    {"paper", LessonaryMERIDPalette::paper, 0xF8F5EF, 0x211F1D},
    {"rail", LessonaryMERIDPalette::rail, 0xEEE7DD, 0x25221F},
    {"teacher", LessonaryMERIDPalette::teacher, 0xEEE7DD, 0x25221F},
    {"card", LessonaryMERIDPalette::card, 0xFFFDF8, 0x2B2825},
    {"subtle", LessonaryMERIDPalette::subtle, 0xF9E5D9, 0x4A302A},
    {"line", LessonaryMERIDPalette::line, 0xE1D7CA, 0x45403B},
    {"ink", LessonaryMERIDPalette::ink, 0x342C27, 0xF7F0E6},
    {"muted", LessonaryMERIDPalette::muted, 0x756B63, 0xCCC2B7},
    {"success", LessonaryMERIDPalette::success, 0x246E50, 0x69BE98},
    {"warning", LessonaryMERIDPalette::warning, 0x995319, 0xE3AC70},
};

TEST(LessonaryPalette, TokensHaveTheirValuesInBothSchemesOpaque) {
    for (const Token& token : kTokens) {
        for (const auto& [scheme, expected] : {std::pair{ColorScheme::light, token.light},
                                               std::pair{ColorScheme::dark, token.dark}}) {
            const QColor color = token.color(scheme);
            EXPECT_EQ(color.rgba(), qRgba(qRed(expected), qGreen(expected), qBlue(expected), 255))
                << token.name << (scheme == ColorScheme::dark ? " dark" : " light");
            EXPECT_EQ(color.spec(), QColor::Rgb) << token.name;
        }
    }
    // The accent is the brand's in both schemes.
    EXPECT_EQ(LessonaryMERIDPalette::coral(ColorScheme::light), OrvelBrand::accent());
    EXPECT_EQ(LessonaryMERIDPalette::coral(ColorScheme::dark), OrvelBrand::accent());
}

// Renders `widget` into an image of its own size.
QImage render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(LessonaryPalette, PaperCardFillsItsWidthAndDrawsItsBorderInside) {
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    QWidget host;
    auto* column = new QVBoxLayout(&host);
    column->setContentsMargins(0, 0, 0, 0);
    auto* empty = new LessonaryPaperCard(nullptr);
    column->addWidget(empty);
    column->addStretch(1);
    host.resize(300, 200);
    host.show();
    QApplication::processEvents();
    // Two paddings of 18, and the whole width offered.
    EXPECT_EQ(empty->height(), 36);
    EXPECT_EQ(empty->width(), 300);

    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        ApplicationAppearance::shared().apply(scheme == ColorScheme::dark ? InterfaceAppearance::dark
                                                                          : InterfaceAppearance::light);
        const QImage image = render(*empty);
        // The middle of the card is the card colour; the outermost row along a straight edge is the
        // border line, which lies inside the bounds.
        EXPECT_EQ(QColor(image.pixel(150, 18)), LessonaryMERIDPalette::card(scheme));
        EXPECT_EQ(QColor(image.pixel(150, 0)), LessonaryMERIDPalette::line(scheme));
        EXPECT_EQ(QColor(image.pixel(150, 35)), LessonaryMERIDPalette::line(scheme));
        EXPECT_EQ(QColor(image.pixel(0, 18)), LessonaryMERIDPalette::line(scheme));
        // The corner lies outside the rounded shape.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    }
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
}

TEST(LessonaryPalette, BorderFollowsTheRadiusWithAOnePixelLine) {
    for (const qreal radius : {14.0, 4.0}) {
        QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        if (radius == LessonaryTheme::defaultBorderRadius)
            LessonaryTheme::border(painter, QRectF(0, 0, 60, 60), ColorScheme::light);
        else
            LessonaryTheme::border(painter, QRectF(0, 0, 60, 60), ColorScheme::light, radius);
        painter.end();
        // One pixel wide along the edges.
        EXPECT_EQ(QColor(image.pixel(30, 0)), LessonaryTheme::divider(ColorScheme::light)) << radius;
        EXPECT_EQ(qAlpha(image.pixel(30, 1)), 0) << radius;
        // The point (3, 3) lies on a small radius's curve but well outside a radius of 14.
        if (radius < 5)
            EXPECT_GT(qAlpha(image.pixel(1, 2)) + qAlpha(image.pixel(2, 1)), 0) << radius;
        else
            EXPECT_EQ(qAlpha(image.pixel(2, 2)), 0) << radius;
    }
}

}  // namespace
}  // namespace velquin

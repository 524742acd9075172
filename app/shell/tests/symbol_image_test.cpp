#include <gtest/gtest.h>

#include <QImage>

#include "app/shell/symbol_image.h"

namespace velquin {
namespace {

// The first opaque pixel of a picture, row by row: the symbol's colour.
QColor inkOf(const QPixmap& picture) {
    const QImage image = picture.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255) return image.pixelColor(x, y);
    return {};
}

// Pictures asked for again come back the same; any difference in colour, size or screen ratio
// gives a picture of its own, also when the same symbol was drawn before.
TEST(SymbolImage, EachColourSizeAndRatioIsDrawnAsAsked) {
    struct Row {
        QSize size;
        QColor color;
        qreal ratio;
    };
    const QList<Row> rows{{{16, 16}, Qt::red, 1},
                          {{16, 16}, Qt::blue, 1},
                          {{24, 24}, Qt::red, 1},
                          {{16, 16}, Qt::red, 2},
                          {{16, 16}, Qt::red, 1}};
    for (const Row& row : rows) {
        const QPixmap picture = SymbolImage::pixmap(QStringLiteral("house"), row.size, row.color, row.ratio);
        EXPECT_EQ(picture.size(), row.size * row.ratio);
        EXPECT_EQ(picture.devicePixelRatio(), row.ratio);
        EXPECT_EQ(inkOf(picture).rgba(), row.color.rgba()) << row.size.width() << "@" << row.ratio;
        EXPECT_EQ(SymbolImage::pixmap(QStringLiteral("house"), row.size, row.color, row.ratio).toImage(),
                  picture.toImage());
    }
    const QPixmap missing = SymbolImage::pixmap(QStringLiteral("no.such.symbol"), {16, 16}, Qt::red);
    EXPECT_EQ(missing.size(), QSize(16, 16));
    EXPECT_FALSE(inkOf(missing).isValid());
}

}  // namespace
}  // namespace velquin

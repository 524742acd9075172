#include <gtest/gtest.h>

#include "app/shell/orvel_brand.h"

namespace velquin {
namespace {

TEST(OrvelBrand, AccentIsTheBrandColourEveryTime) {
    const QColor& first = OrvelBrand::accent();
    const QColor& second = OrvelBrand::accent();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.spec(), QColor::Rgb);
    // Stored with 16 bits per channel.
    EXPECT_NEAR(first.redF(), 0.96, 1.0 / 65535);
    EXPECT_NEAR(first.greenF(), 0.36, 1.0 / 65535);
    EXPECT_NEAR(first.blueF(), 0.23, 1.0 / 65535);
    EXPECT_EQ(first.alphaF(), 1.0);
}

TEST(OrvelBrand, IconComesFromTheResourcesWithTheThemeSizes) {
    const auto icon = OrvelBrand::icon();
    ASSERT_TRUE(icon.has_value());
    EXPECT_FALSE(icon->isNull());
    const QList<QSize> sizes = icon->availableSizes();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    const QImage drawn = icon->pixmap(18, 18).toImage();
    EXPECT_EQ(drawn.size(), QSize(18, 18));
    EXPECT_GT(qAlpha(drawn.pixel(9, 9)), 0);

    EXPECT_FALSE(OrvelBrand::imageNamed(QStringLiteral("NoSuchImage")).has_value());
    EXPECT_FALSE(OrvelBrand::imageNamed(QString()).has_value());
}

// The single picture read for one size is the one the whole icon draws there, pixel for pixel,
// on ordinary and doubled screens, and beyond the largest pixel-tuned picture.
TEST(OrvelBrand, IconPictureIsWhatTheIconDraws) {
    const auto icon = OrvelBrand::icon();
    ASSERT_TRUE(icon.has_value());
    for (const auto& [size, ratio] : QList<std::pair<int, qreal>>{{16, 1}, {18, 1}, {29, 1}, {34, 1}, {48, 1},
                                                                  {29, 2}, {34, 2}, {34, 1.5}, {300, 1}}) {
        const QPixmap picture = OrvelBrand::iconPicture(size, ratio);
        const QPixmap drawn = icon->pixmap(QSize(size, size), ratio);
        EXPECT_EQ(picture.devicePixelRatio(), drawn.devicePixelRatio()) << size << "@" << ratio;
        EXPECT_EQ(picture.toImage().convertToFormat(QImage::Format_ARGB32),
                  drawn.toImage().convertToFormat(QImage::Format_ARGB32))
            << size << "@" << ratio;
    }
}

}  // namespace
}  // namespace velquin

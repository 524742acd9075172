// The bulb's drawing, compared pixel by pixel with the pictures committed beside this test: the
// three phases at the answer panel's 34 and the icon's 36 points, light and dark, rendered at twice
// the resolution. A missing picture is written by the run (then look at it and commit it); a
// differing one fails, and what was drawn is left in the build tree.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include "app/select-anywhere/floating_bulb_artwork.h"

namespace {

using velquin::ColorScheme;
using velquin::FloatingBulbArtwork;
using velquin::FloatingBulbPhase;

QImage render(int side, ColorScheme scheme, FloatingBulbPhase phase) {
    QImage image(side * 2, side * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    FloatingBulbArtwork::paint(painter, QRectF(0, 0, side, side), scheme, phase);
    return image;
}

TEST(FloatingBulbArtwork, PhasesAndAppearancesMatchTheirPictures) {
    const QDir goldens(QStringLiteral(ORVEL_BULB_GOLDEN_DIR));
    const QDir drawn(QStringLiteral(ORVEL_BULB_DRAWN_DIR));
    ASSERT_TRUE(QDir().mkpath(goldens.path()) && QDir().mkpath(drawn.path()));
    QStringList written;
    for (const int side : {34, 36}) {
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            for (const FloatingBulbPhase phase : base::allCases<FloatingBulbPhase>()) {
                const QString appearance = scheme == ColorScheme::dark ? QStringLiteral("dark") : QStringLiteral("light");
                const QString name =
                    QStringLiteral("bulb-%1-%2-%3.png").arg(appearance, base::rawValue(phase)).arg(side);
                SCOPED_TRACE(name.toStdString());
                const QImage image = render(side, scheme, phase);
                const QString golden = goldens.filePath(name);
                if (!QFileInfo::exists(golden)) {
                    ASSERT_TRUE(image.save(golden));
                    written.append(name);
                    continue;
                }
                const QImage expected = QImage(golden).convertToFormat(QImage::Format_ARGB32_Premultiplied);
                QImage actual = image;
                actual.setDevicePixelRatio(1);
                if (actual != expected) {
                    image.save(drawn.filePath(name));
                    ADD_FAILURE() << "differs from its picture; drawn: " << drawn.filePath(name).toStdString();
                }
            }
        }
    }
    // One sheet for a person to look at: every picture enlarged, on the panel's light and dark paper.
    QImage sheet(6 * 160, 2 * 160, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&sheet);
    int column = 0;
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        for (const int side : {34, 36}) {
            for (const FloatingBulbPhase phase : base::allCases<FloatingBulbPhase>()) {
                const QRect cell((column % 6) * 160, (column / 6) * 160, 160, 160);
                painter.fillRect(cell, scheme == ColorScheme::dark ? QColor(33, 31, 29) : QColor(248, 245, 239));
                painter.drawImage(cell.adjusted(8, 8, -8, -8), render(side, scheme, phase));
                ++column;
            }
        }
    }
    painter.end();
    sheet.save(drawn.filePath(QStringLiteral("bulb-sheet.png")));
    if (!written.isEmpty()) std::cout << "written: " << written.join(u' ').toStdString() << std::endl;
}

// The phases differ only in their overlay, which stays inside the bulb's square; the idle bulb
// leaves the outer band of the picture empty.
TEST(FloatingBulbArtwork, OverlaysChangeThePictureAndNothingIsDrawnOutsideTheTarget) {
    const QImage idle = render(36, ColorScheme::light, FloatingBulbPhase::idle);
    EXPECT_NE(render(36, ColorScheme::light, FloatingBulbPhase::querying), idle);
    EXPECT_NE(render(36, ColorScheme::light, FloatingBulbPhase::done), idle);
    EXPECT_NE(render(36, ColorScheme::dark, FloatingBulbPhase::idle), idle);

    QImage framed(80, 80, QImage::Format_ARGB32_Premultiplied);
    framed.fill(Qt::transparent);
    {
        QPainter painter(&framed);
        FloatingBulbArtwork::paint(painter, QRectF(20, 20, 36, 36), ColorScheme::dark, FloatingBulbPhase::querying);
    }
    for (int y = 0; y < framed.height(); ++y)
        for (int x = 0; x < framed.width(); ++x)
            if (!QRect(19, 19, 38, 38).contains(x, y)) {
                ASSERT_EQ(qAlpha(framed.pixel(x, y)), 0) << x << "," << y;
            }
}

}  // namespace

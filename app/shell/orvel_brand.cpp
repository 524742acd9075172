#include "app/shell/orvel_brand.h"

#include <QFile>
#include <QImage>
#include <QtMath>

#include <array>

namespace velquin {

const QColor& OrvelBrand::accent() {
    static const QColor color = QColor::fromRgbF(0.96f, 0.36f, 0.23f, 1.0f);
    return color;
}

namespace {

// The pixel-tuned sizes of the icon, smallest first.
constexpr std::array kDrawnSizes{16, 22, 24, 32, 48, 64, 128, 256};

QString drawnPicture(int size) { return QStringLiteral(":/icons/hicolor/%1x%1/apps/orvel-formac.png").arg(size); }

}  // namespace

std::optional<QIcon> OrvelBrand::icon() { return imageNamed(QStringLiteral("OrvelIcon")); }

QPixmap OrvelBrand::iconPicture(int size, qreal devicePixelRatio) {
    // The icon draws from the smallest picture at least as large as the pixels asked for, scaled
    // down smoothly; larger than every pixel-tuned picture, it takes the vector.
    const int pixels = qRound(size * devicePixelRatio);
    for (int drawn : kDrawnSizes) {
        if (drawn < pixels) continue;
        QPixmap picture = QPixmap::fromImage(QImage(drawnPicture(drawn), "PNG"));
        if (picture.isNull()) break;
        if (drawn > pixels) picture = picture.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        picture.setDevicePixelRatio(devicePixelRatio);
        return picture;
    }
    const std::optional<QIcon> whole = icon();
    return whole ? whole->pixmap(QSize(size, size), devicePixelRatio) : QPixmap();
}

std::optional<QIcon> OrvelBrand::imageNamed(const QString& name) {
    const QString path = QStringLiteral(":/images/") + name + QStringLiteral(".svg");
    if (name.isEmpty() || !QFile::exists(path)) return std::nullopt;
    QIcon icon;
    // The drawn sizes first, so small icons use the pixel-tuned pictures; the vector for the rest.
    if (name == QLatin1String("OrvelIcon")) {
        for (int size : kDrawnSizes) {
            const QString png = drawnPicture(size);
            if (QFile::exists(png)) icon.addFile(png, QSize(size, size));
        }
    }
    icon.addFile(path);
    return icon;
}

}  // namespace velquin

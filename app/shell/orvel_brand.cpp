#include "app/shell/orvel_brand.h"

#include <QFile>

namespace velquin {

const QColor& OrvelBrand::accent() {
    static const QColor color = QColor::fromRgbF(0.96f, 0.36f, 0.23f, 1.0f);
    return color;
}

std::optional<QIcon> OrvelBrand::icon() { return imageNamed(QStringLiteral("OrvelIcon")); }

std::optional<QIcon> OrvelBrand::imageNamed(const QString& name) {
    const QString path = QStringLiteral(":/images/") + name + QStringLiteral(".svg");
    if (name.isEmpty() || !QFile::exists(path)) return std::nullopt;
    QIcon icon;
    // The drawn sizes first, so small icons use the pixel-tuned pictures; the vector for the rest.
    if (name == QLatin1String("OrvelIcon")) {
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString png =
                QStringLiteral(":/icons/hicolor/%1x%1/apps/orvel-formac.png").arg(size);
            if (QFile::exists(png)) icon.addFile(png, QSize(size, size));
        }
    }
    icon.addFile(path);
    return icon;
}

}  // namespace velquin

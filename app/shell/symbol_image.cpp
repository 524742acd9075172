#include "app/shell/symbol_image.h"

#include <QFile>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace velquin {

namespace {

QString pathOf(const QString& name) { return QStringLiteral(":/images/symbols/") + name + QStringLiteral(".svg"); }

}  // namespace

bool SymbolImage::exists(const QString& name) { return !name.isEmpty() && QFile::exists(pathOf(name)); }

QPixmap SymbolImage::pixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio) {
    // Views ask for the same few pictures again and again (each restyle, each paint of a row):
    // each is drawn from its vector once.
    const QString key = QStringLiteral("velquin.symbol/%1/%2x%3/%4/%5")
                            .arg(name)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(quint64(color.rgba64()), 16, 16, QLatin1Char('0'))
                            .arg(devicePixelRatio);
    QPixmap picture;
    if (QPixmapCache::find(key, &picture)) return picture;
    picture = draw(name, size, color, devicePixelRatio);
    QPixmapCache::insert(key, picture);
    return picture;
}

QPixmap SymbolImage::draw(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio) {
    QPixmap picture(size * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::transparent);
    if (!exists(name)) return picture;
    QSvgRenderer renderer(pathOf(name));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    // The drawing is the shape; the colour fills it.
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), color);
    return picture;
}

}  // namespace velquin

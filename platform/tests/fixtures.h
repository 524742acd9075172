#pragma once

#include <QByteArray>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>
#include <variant>

// Readable QString values in test failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

// Pictures and PDFs made on the spot for the import, recognition and capture tests.
namespace fixtures {

// Black lines of text on white, one below the other, in a font that has Latin and Chinese glyphs.
inline QImage textImage(const QStringList& lines, QSize size = {1000, 300}, int pixelSize = 40) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int y = pixelSize * 2;
    for (const QString& line : lines) {
        painter.drawText(pixelSize, y, line);
        y += pixelSize * 2;
    }
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A page of a generated PDF: a text layer, a picture of text (no text layer), or nothing at all.
struct TextPage {
    QString text;
};
struct PicturePage {
    QStringList lines;
};
struct BlankPage {};
using Page = std::variant<TextPage, PicturePage, BlankPage>;

inline void writePdf(const QString& path, const QList<Page>& pages) {
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    // DejaVu for the text layer (its digits map back to text exactly); Chinese falls back to Noto.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    painter.setFont(font);
    bool first = true;
    for (const Page& page : pages) {
        if (!first) writer.newPage();
        first = false;
        if (const auto* text = std::get_if<TextPage>(&page)) {
            painter.drawText(QRectF(36, 36, 520, 760), Qt::TextWordWrap, text->text);
        } else if (const auto* picture = std::get_if<PicturePage>(&page)) {
            const QImage image = textImage(picture->lines, {1000, 300}, 40);
            painter.drawImage(QRectF(36, 36, 500, 150), image);
        }
    }
    painter.end();
}

}  // namespace fixtures

#pragma once

// The benchmarks' text PDF: 20 A4 pages of ten lines each, English with a little Chinese.

#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include "base/process.h"

namespace benchdata {

inline void writeTwentyPagePdf(const QString& path) {
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    painter.setFont(font);
    for (int page = 1; page <= 20; ++page) {
        if (page > 1) writer.newPage();
        QString text;
        for (int line = 0; line < 10; ++line)
            text += QStringLiteral("Page %1, line %2: photosynthesis turns light into chemical energy, 光合作用。\n")
                        .arg(page)
                        .arg(line);
        painter.drawText(QRectF(36, 36, 500, 760), Qt::TextWordWrap, text);
    }
}

// What `pdftotext` prints for the pages 1 to 20 of the file: the peer both PDF benchmarks compare with.
inline QByteArray pdftotextTwentyPages(const QString& path) {
    return base::runProcess(QStringLiteral("pdftotext"),
                            {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("20"),
                             QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")})
        .output;
}

}  // namespace benchdata

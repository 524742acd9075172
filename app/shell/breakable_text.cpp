#include "app/shell/breakable_text.h"

#include <QFontMetrics>

namespace velquin {

QString brokenToFit(const QString& text, const QFontMetrics& metrics, int room) {
    if (metrics.horizontalAdvance(text) <= room) return text;
    for (qsizetype space = text.lastIndexOf(u' '); space > 0; space = text.lastIndexOf(u' ', space - 1)) {
        if (metrics.horizontalAdvance(text.left(space)) <= room) return text.left(space) + u'\n' + text.mid(space + 1);
    }
    return text;
}

}  // namespace velquin

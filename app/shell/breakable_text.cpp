#include "app/shell/breakable_text.h"

#include <QFontMetrics>
#include <QLabel>
#include <QList>
#include <QTextBoundaryFinder>

#include "base/text.h"

namespace velquin {

QString breakableText(const QString& text) {
    if (text.size() <= breakable_text::longestRun) return text;
    // The grapheme boundaries (the answer views' own walk), each with whether a line may break there.
    const QList<qsizetype> bounds = base::text::graphemeBoundaries(text);
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    QList<qsizetype> runStarts{0};
    for (qsizetype cluster = 1; cluster < bounds.size(); ++cluster) {
        lines.setPosition(bounds[cluster]);
        if (lines.isAtBoundary()) runStarts.append(cluster);
    }
    if (runStarts.last() != bounds.size() - 1) runStarts.append(bounds.size() - 1);
    QString shown;
    shown.reserve(text.size() + text.size() / breakable_text::breakEvery + 1);
    for (qsizetype run = 0; run + 1 < runStarts.size(); ++run) {
        const qsizetype first = runStarts[run];
        const qsizetype last = runStarts[run + 1];
        const bool tooLong = last - first > breakable_text::longestRun;
        for (qsizetype cluster = first; cluster < last; ++cluster) {
            shown += QStringView(text).sliced(bounds[cluster], bounds[cluster + 1] - bounds[cluster]);
            if (tooLong && (cluster - first + 1) % breakable_text::breakEvery == 0 && cluster + 1 < last)
                shown += QChar(0x200B);
        }
    }
    return shown;
}

void setBreakableText(QLabel* label, const QString& text) {
    label->setText(breakableText(text));
    label->setAccessibleName(text);
}

QString brokenToFit(const QString& text, const QFontMetrics& metrics, int room) {
    if (metrics.horizontalAdvance(text) <= room) return text;
    for (qsizetype space = text.lastIndexOf(u' '); space > 0; space = text.lastIndexOf(u' ', space - 1)) {
        if (metrics.horizontalAdvance(text.left(space)) <= room) return text.left(space) + u'\n' + text.mid(space + 1);
    }
    return text;
}

}  // namespace velquin

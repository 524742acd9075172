#include "base/text.h"

#include <QTextBoundaryFinder>

namespace base::text {

QList<qsizetype> graphemeBoundaries(const QString& text) {
    QList<qsizetype> bounds;
    bounds.append(0);
    if (text.isEmpty()) return bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() != -1) bounds.append(finder.position());
    if (bounds.last() != text.size()) bounds.append(text.size());
    return bounds;
}

qsizetype graphemeCount(const QString& text) {
    if (text.isEmpty()) return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

namespace {
// UTF-16 offset after `count` clusters from the start (text.size() when there are fewer).
qsizetype offsetAfter(const QString& text, qsizetype count) {
    if (count <= 0) return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype pos = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1) return text.size();
        pos = next;
    }
    return pos;
}
}  // namespace

QString graphemePrefix(const QString& text, qsizetype count) {
    if (count <= 0) return {};
    return text.left(offsetAfter(text, count));
}

QString graphemeSuffix(const QString& text, qsizetype count) {
    if (count <= 0) return {};
    const qsizetype total = graphemeCount(text);
    if (count >= total) return text;
    return text.mid(offsetAfter(text, total - count));
}

QString graphemeSlice(const QString& text, qsizetype start, qsizetype count) {
    if (count <= 0 || start < 0) return {};
    const qsizetype from = offsetAfter(text, start);
    if (from >= text.size()) return {};
    const QString rest = text.mid(from);
    return rest.left(offsetAfter(rest, count));
}

QStringList graphemeRuns(const QString& text, qsizetype runLength) {
    QStringList runs;
    if (text.isEmpty() || runLength <= 0) return runs;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype runStart = 0;
    qsizetype inRun = 0;
    qsizetype pos;
    while ((pos = finder.toNextBoundary()) != -1) {
        if (pos == 0) continue;
        if (++inRun == runLength) {
            runs.append(text.mid(runStart, pos - runStart));
            runStart = pos;
            inRun = 0;
        }
    }
    if (runStart < text.size()) runs.append(text.mid(runStart));
    return runs;
}

QString trimmed(const QString& text) {
    // QChar::isSpace covers U+0009..U+000D, U+0020, U+0085, U+00A0 and the separator categories,
    // which is exactly the white-space-and-newline set; U+200B and U+FEFF are not in it.
    return text.trimmed();
}

QString trimSpacesAndTabs(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin))) ++begin;
    while (end > begin && blank(text.at(end - 1))) --end;
    return text.mid(begin, end - begin);
}

bool isNewline(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isNewline(text.at(i).unicode())) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

QString upper(const QString& text) { return text.toUpper(); }
QString lower(const QString& text) { return text.toLower(); }

bool containsIgnoringCase(const QString& haystack, const QString& needle) {
    return haystack.toLower().contains(needle.toLower());
}

bool equalsIgnoringCase(const QString& a, const QString& b) { return a.toLower() == b.toLower(); }

bool isLetterOrDigit(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
        return true;
    default:
        return false;
    }
}

bool containsLetterOrDigit(const QString& text) {
    for (char32_t c : text.toUcs4())
        if (isLetterOrDigit(c)) return true;
    return false;
}

bool containsControlCharacter(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) return true;
    }
    return false;
}

}  // namespace base::text

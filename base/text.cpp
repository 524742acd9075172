#include "base/text.h"

#include <QTextBoundaryFinder>

namespace base::text {

namespace {

bool isRegionalIndicatorAt(const QString& text, qsizetype i) {
    if (i < 0 || i + 1 >= text.size()) return false;
    const QChar high = text.at(i);
    const QChar low = text.at(i + 1);
    if (!high.isHighSurrogate() || !low.isLowSurrogate()) return false;
    const char32_t c = QChar::surrogateToUcs4(high, low);
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Walks the grapheme boundaries after 0, the end included. QTextBoundaryFinder (Qt 6.4) pairs the
// regional indicators of flags wrongly after an emoji, so inside a run of regional indicators the
// breaks are set here: one after every pair, counted from the start of the run.
class BoundaryWalker {
public:
    explicit BoundaryWalker(const QString& text) : text_(text), finder_(QTextBoundaryFinder::Grapheme, text) {}

    // The next boundary, or -1 after the end.
    qsizetype next() {
        for (;;) {
            if (scan_ < qtNext_) {
                // Between the previous and the next boundary the finder gave: the pair breaks it missed.
                const qsizetype r = scan_;
                scan_ += text_.at(r).isHighSurrogate() ? 2 : 1;
                if (r > last_ && insideRun(r) && pairsBefore(r)) return last_ = r;
                continue;
            }
            if (qtNext_ == -1) return -1;
            if (qtNext_ > last_) {
                const qsizetype q = qtNext_;
                advanceFinder();
                if (!(insideRun(q) && !pairsBefore(q))) return last_ = q;
                continue;
            }
            advanceFinder();
        }
    }

private:
    void advanceFinder() {
        scan_ = std::max(qtNext_, last_);
        do qtNext_ = finder_.toNextBoundary();
        while (qtNext_ == 0);
        if (qtNext_ == -1) scan_ = text_.size();
    }

    bool insideRun(qsizetype pos) const { return isRegionalIndicatorAt(text_, pos - 2) && isRegionalIndicatorAt(text_, pos); }

    // Whether an even number of regional indicators stands right before `pos`.
    bool pairsBefore(qsizetype pos) const {
        qsizetype run = 0;
        for (qsizetype i = pos - 2; isRegionalIndicatorAt(text_, i); i -= 2) ++run;
        return run % 2 == 0;
    }

    const QString& text_;
    QTextBoundaryFinder finder_;
    qsizetype last_ = 0;    // the last boundary returned
    qsizetype qtNext_ = 0;  // the finder's next boundary not yet handled
    qsizetype scan_ = 0;    // next position to look at for a missed pair break
};

QList<qsizetype> boundariesAfterStart(const QString& text, qsizetype limit = -1) {
    QList<qsizetype> bounds;
    BoundaryWalker walker(text);
    qsizetype pos;
    while ((limit < 0 || bounds.size() < limit) && (pos = walker.next()) != -1) bounds.append(pos);
    return bounds;
}

// UTF-16 offset after `count` clusters from the start (text.size() when there are fewer).
qsizetype offsetAfter(const QString& text, qsizetype count) {
    if (count <= 0) return 0;
    const QList<qsizetype> bounds = boundariesAfterStart(text, count);
    return count <= bounds.size() ? bounds[count - 1] : text.size();
}

}  // namespace

QList<qsizetype> graphemeBoundaries(const QString& text) {
    QList<qsizetype> bounds{0};
    if (!text.isEmpty()) bounds.append(boundariesAfterStart(text));
    return bounds;
}

qsizetype graphemeCount(const QString& text) {
    if (text.isEmpty()) return 0;
    return boundariesAfterStart(text).size();
}

QString graphemePrefix(const QString& text, qsizetype count) {
    if (count <= 0) return {};
    return text.left(offsetAfter(text, count));
}

QString graphemeSuffix(const QString& text, qsizetype count) {
    if (count <= 0) return {};
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    const qsizetype total = bounds.size() - 1;
    if (count >= total) return text;
    return text.mid(bounds[total - count]);
}

QString graphemeSlice(const QString& text, qsizetype start, qsizetype count) {
    if (count <= 0 || start < 0) return {};
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    const qsizetype total = bounds.size() - 1;
    if (start >= total) return {};
    const qsizetype end = std::min(total, start + count);
    return text.mid(bounds[start], bounds[end] - bounds[start]);
}

QStringList graphemeRuns(const QString& text, qsizetype runLength) {
    QStringList runs;
    if (text.isEmpty() || runLength <= 0) return runs;
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    for (qsizetype i = 0; i + 1 < bounds.size(); i += runLength) {
        const qsizetype end = std::min(i + runLength, bounds.size() - 1);
        runs.append(text.mid(bounds[i], bounds[end] - bounds[i]));
    }
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

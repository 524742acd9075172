#include "base/text.h"

#include <QStringDecoder>
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

// Qt 6.4 tailors grapheme breaks for Indic scripts, Thai, Tibetan, Myanmar and Khmer, and applies that
// tailoring to every UTF-16 unit of a script run: emoji, CR LF, keycaps and other neighbours of such
// text come apart, surrogate pairs included. The tailored answer is kept only between two characters of
// those scripts; every other position takes the answer for a copy of the text in which those characters
// are replaced by neutral stand-ins of the same length and kind (letter, mark, spacing mark, prepended
// mark).
bool isTailoredScript(char32_t c) {
    // Quick answers for the common ranges: Latin and its neighbours, CJK and Yi (up to Latin Extended-D),
    // and the Hangul syllables. U+A800..U+ABFF lies between them: it holds Devanagari Extended and the
    // Myanmar extensions among other scripts.
    if (c < 0x0900 || (c >= 0x2E80 && c <= 0xA7FF) || (c >= 0xAC00 && c <= 0xD7FF)) return false;
    switch (QChar::script(c)) {
    case QChar::Script_Devanagari:
    case QChar::Script_Bengali:
    case QChar::Script_Gurmukhi:
    case QChar::Script_Gujarati:
    case QChar::Script_Oriya:
    case QChar::Script_Tamil:
    case QChar::Script_Telugu:
    case QChar::Script_Kannada:
    case QChar::Script_Malayalam:
    case QChar::Script_Sinhala:
    case QChar::Script_Thai:
    case QChar::Script_Tibetan:
    case QChar::Script_Myanmar:
    case QChar::Script_Khmer:
        return true;
    default:
        return false;
    }
}

bool isJoiner(QChar c) { return c == QChar(0x200C) || c == QChar(0x200D); }

char32_t codePointEndingAt(const QString& text, qsizetype end) {
    if (end <= 0) return 0;
    const QChar last = text.at(end - 1);
    if (last.isLowSurrogate() && end >= 2 && text.at(end - 2).isHighSurrogate())
        return QChar::surrogateToUcs4(text.at(end - 2), last);
    return last.unicode();
}

char32_t codePointAt(const QString& text, qsizetype pos) {
    if (pos >= text.size()) return 0;
    const QChar first = text.at(pos);
    if (first.isHighSurrogate() && pos + 1 < text.size() && text.at(pos + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(first, text.at(pos + 1));
    return first.unicode();
}

// The text with every character of a tailored script replaced by a stand-in of the same length.
QString withoutTailoredScripts(const QString& text, bool* changed) {
    *changed = false;
    QString plain;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t c = codePointAt(text, i);
        const qsizetype width = c > 0xFFFF ? 2 : 1;
        if (!isTailoredScript(c)) {
            i += width;
            continue;
        }
        if (!*changed) {
            plain = text;
            *changed = true;
        }
        char32_t standIn;
        if (c == 0x0D4E)
            standIn = 0x0600;  // a prepended mark
        else if (QChar::category(c) == QChar::Mark_SpacingCombining && width == 1)
            standIn = 0x1B04;  // a spacing mark of no tailored script
        else if (QChar::isMark(c))
            standIn = width == 2 ? 0x101FD : 0x0301;  // combining marks of no tailored script
        else
            standIn = width == 2 ? 0x10000 : u'a';
        const QString replacement = QString::fromUcs4(&standIn, 1);
        for (qsizetype k = 0; k < width; ++k) plain[i + k] = replacement.at(k);
        i += width;
    }
    return plain;
}

// QTextBoundaryFinder with the tailoring confined to the runs of the scripts it is meant for.
class GraphemeFinder {
public:
    explicit GraphemeFinder(const QString& text) : text_(text), tailored_(QTextBoundaryFinder::Grapheme, text) {
        const QString plain = withoutTailoredScripts(text, &hasPlain_);
        if (!hasPlain_) return;
        plain_ = QTextBoundaryFinder(QTextBoundaryFinder::Grapheme, plain);
        tailoredNext_ = tailored_.toNextBoundary();
        plainNext_ = plain_.toNextBoundary();
    }

    // The next boundary after the last one, or -1 after the end.
    qsizetype toNextBoundary() {
        if (!hasPlain_) return tailored_.toNextBoundary();
        for (;;) {
            if (tailoredNext_ == -1 && plainNext_ == -1) return -1;
            const qsizetype pos = tailoredNext_ == -1 ? plainNext_
                                : plainNext_ == -1    ? tailoredNext_
                                                      : std::min(tailoredNext_, plainNext_);
            const bool inTailored = tailoredNext_ == pos;
            const bool inPlain = plainNext_ == pos;
            if (inTailored) tailoredNext_ = tailored_.toNextBoundary();
            if (inPlain) plainNext_ = plain_.toNextBoundary();
            if (pos == text_.size() || (betweenTailored(pos) ? inTailored : inPlain)) return pos;
        }
    }

private:
    // Whether both neighbours of `pos` belong to a tailored script (one joiner on either side is skipped).
    bool betweenTailored(qsizetype pos) const {
        qsizetype left = pos;
        if (left > 0 && isJoiner(text_.at(left - 1))) --left;
        qsizetype right = pos;
        if (right < text_.size() && isJoiner(text_.at(right))) ++right;
        return left > 0 && right < text_.size() && isTailoredScript(codePointEndingAt(text_, left)) &&
               isTailoredScript(codePointAt(text_, right));
    }

    const QString& text_;
    QTextBoundaryFinder tailored_;
    QTextBoundaryFinder plain_;
    bool hasPlain_ = false;
    qsizetype tailoredNext_ = 0;
    qsizetype plainNext_ = 0;
};

// Walks the grapheme boundaries after 0, the end included. QTextBoundaryFinder (Qt 6.4) pairs the
// regional indicators of flags wrongly after an emoji, so inside a run of regional indicators the
// breaks are set here: one after every pair, counted from the start of the run.
class BoundaryWalker {
public:
    explicit BoundaryWalker(const QString& text) : text_(text), finder_(text) {}

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

    bool insideRun(qsizetype pos) const {
        return isRegionalIndicatorAt(text_, pos - 2) && isRegionalIndicatorAt(text_, pos);
    }

    // Whether an even number of regional indicators stands right before `pos`, which lies inside a run.
    // The run met last is remembered, so a run is measured once and the walk over it stays linear.
    bool pairsBefore(qsizetype pos) {
        const qsizetype previous = pos - 2;
        if (previous < runStart_ || previous >= runEnd_) {
            runStart_ = runEnd_ = previous;
            while (isRegionalIndicatorAt(text_, runStart_ - 2)) runStart_ -= 2;
            while (isRegionalIndicatorAt(text_, runEnd_)) runEnd_ += 2;
        }
        return (pos - runStart_) / 2 % 2 == 0;
    }

    const QString& text_;
    GraphemeFinder finder_;
    qsizetype last_ = 0;    // the last boundary returned
    qsizetype qtNext_ = 0;  // the finder's next boundary not yet handled
    qsizetype scan_ = 0;    // next position to look at for a missed pair break
    qsizetype runStart_ = 0;  // the regional-indicator run met last: [runStart_, runEnd_)
    qsizetype runEnd_ = 0;
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

bool graphemeCountExceeds(const QString& text, qsizetype limit) {
    if (limit < 0) return true;
    if (text.size() <= limit) return false;  // a cluster holds at least one UTF-16 unit
    return boundariesAfterStart(text, limit + 1).size() > limit;
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

std::optional<QString> decodeUnicode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError()) return text;

    const bool littleEndian = bytes.startsWith("\xFF\xFE");
    const bool bigEndian = bytes.startsWith("\xFE\xFF");
    if ((!littleEndian && !bigEndian) || bytes.size() % 2 != 0) return std::nullopt;
    QStringDecoder utf16(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    text = utf16(bytes.mid(2));
    if (utf16.hasError()) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) return std::nullopt;
    }
    return text;
}

}  // namespace base::text

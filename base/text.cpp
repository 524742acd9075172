#include "base/text.h"

#include <QStringDecoder>

#include <unicode/ubrk.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace base::text {

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};
using BreakIteratorPtr = std::unique_ptr<UBreakIterator, BreakIteratorCloser>;

// Opening a character break iterator reads ICU's rule data, which costs more than walking a short text,
// so each thread keeps one: a walk borrows it and gives it back; a walk inside a walk opens its own.
thread_local BreakIteratorPtr spareIterator;

BreakIteratorPtr borrowIterator() {
    if (spareIterator) return std::move(spareIterator);
    UErrorCode status = U_ZERO_ERROR;
    BreakIteratorPtr iterator(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_FAILURE(status)) qFatal("ICU character break iterator unavailable: %s", u_errorName(status));
    return iterator;
}

// ICU's break iterators take texts of at most INT32_MAX UTF-16 units.
constexpr qsizetype kMaxWindow = std::numeric_limits<int32_t>::max();

// Walks the extended grapheme cluster boundaries (UAX #29) after 0, the end included, with ICU's
// character break iterator over the string's own UTF-16 units. A text longer than ICU takes is walked
// in windows: a break depends on the text before it and one code point after it, so every boundary
// before a window's end holds for the whole text, and the next window starts at the last of them.
class BoundaryWalker {
public:
    explicit BoundaryWalker(const QString& text, qsizetype window = kMaxWindow)
        : text_(text), window_(std::clamp<qsizetype>(window, 2, kMaxWindow)), iterator_(borrowIterator()) {
        openWindow(0);
    }
    ~BoundaryWalker() {
        if (!spareIterator) spareIterator = std::move(iterator_);
    }
    BoundaryWalker(const BoundaryWalker&) = delete;
    BoundaryWalker& operator=(const BoundaryWalker&) = delete;

    // The next boundary, or -1 after the end.
    qsizetype next() {
        for (;;) {
            const int32_t offset = ubrk_next(iterator_.get());
            if (offset == UBRK_DONE) {
                if (end_ == text_.size()) return -1;
                openWindow(last_);
                continue;
            }
            const qsizetype pos = start_ + offset;
            // The window's end is no boundary of the text unless one cluster fills the whole window.
            if (pos == end_ && end_ < text_.size() && last_ > start_) {
                openWindow(last_);
                continue;
            }
            return last_ = pos;
        }
    }

private:
    void openWindow(qsizetype start) {
        start_ = start;
        end_ = std::min(text_.size(), start + window_);
        // A window never ends inside a surrogate pair (it holds at least two units, so one is left).
        if (end_ < text_.size() && text_.at(end_).isLowSurrogate() && text_.at(end_ - 1).isHighSurrogate()) --end_;
        UErrorCode status = U_ZERO_ERROR;
        const auto* units = reinterpret_cast<const UChar*>(text_.constData());
        ubrk_setText(iterator_.get(), units + start_, int32_t(end_ - start_), &status);
        if (U_FAILURE(status)) qFatal("ICU character break iterator: %s", u_errorName(status));
    }

    const QString& text_;
    const qsizetype window_;
    BreakIteratorPtr iterator_;
    qsizetype start_ = 0;  // the window walked now: [start_, end_)
    qsizetype end_ = 0;
    qsizetype last_ = 0;  // the last boundary returned
};

QList<qsizetype> boundaries(const QString& text, qsizetype window) {
    QList<qsizetype> bounds{0};
    if (text.isEmpty()) return bounds;
    BoundaryWalker walker(text, window);
    for (qsizetype pos; (pos = walker.next()) != -1;) bounds.append(pos);
    return bounds;
}

// UTF-16 offset after `count` clusters from the start (text.size() when there are fewer).
qsizetype offsetAfter(const QString& text, qsizetype count) {
    if (count <= 0) return 0;
    BoundaryWalker walker(text);
    qsizetype pos = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = walker.next();
        if (next == -1) return text.size();
        pos = next;
    }
    return pos;
}

// Number of boundaries after 0, counting no further than `limit` (none: -1).
qsizetype countBoundaries(const QString& text, qsizetype limit = -1) {
    BoundaryWalker walker(text);
    qsizetype count = 0;
    while ((limit < 0 || count < limit) && walker.next() != -1) ++count;
    return count;
}

}  // namespace

QList<qsizetype> graphemeBoundaries(const QString& text) { return boundaries(text, kMaxWindow); }

QList<qsizetype> detail::graphemeBoundariesInWindows(const QString& text, qsizetype window) {
    return boundaries(text, window);
}

qsizetype graphemeCount(const QString& text) {
    if (text.isEmpty()) return 0;
    return countBoundaries(text);
}

bool graphemeCountExceeds(const QString& text, qsizetype limit) {
    if (limit < 0) return true;
    if (text.size() <= limit) return false;  // a cluster holds at least one UTF-16 unit
    return countBoundaries(text, limit + 1) > limit;
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

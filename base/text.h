#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Text helpers shared by every module. Lengths, cuts and chunks count user-perceived
// characters (extended grapheme clusters), never UTF-16 units.
namespace base::text {

// Number of grapheme clusters in `text`.
qsizetype graphemeCount(const QString& text);

// Whether `text` has more than `limit` grapheme clusters. Counts no further than `limit` + 1, so a
// check of a long text against a small limit stops early.
bool graphemeCountExceeds(const QString& text, qsizetype limit);

// The first `count` grapheme clusters of `text` (the whole text when it is shorter).
QString graphemePrefix(const QString& text, qsizetype count);

// The last `count` grapheme clusters of `text`.
QString graphemeSuffix(const QString& text, qsizetype count);

// `count` grapheme clusters starting at cluster `start`.
QString graphemeSlice(const QString& text, qsizetype start, qsizetype count);

// The text cut into consecutive runs of `runLength` grapheme clusters (the last may be shorter).
// An empty text gives no runs. A cluster is never split.
QStringList graphemeRuns(const QString& text, qsizetype runLength);

// UTF-16 offsets of every grapheme boundary, 0 and text.size() included.
QList<qsizetype> graphemeBoundaries(const QString& text);

// Removes Unicode white space and line breaks (categories Z*, U+0009..U+000D, U+0085) at both ends.
QString trimmed(const QString& text);

// Removes only spaces (U+0020) and tabs at both ends; line breaks stay.
QString trimSpacesAndTabs(const QString& text);

// True for U+000A..U+000D, U+0085, U+2028, U+2029.
bool isNewline(char32_t codePoint);

// Splits at every newline character; "\r\n" gives an extra empty line between the two.
QStringList splitLines(const QString& text);

// Full Unicode case mapping, independent of the locale ("straße" -> "STRASSE").
QString upper(const QString& text);
QString lower(const QString& text);

// Case-insensitive containment and equality over the full lower-case mapping.
bool containsIgnoringCase(const QString& haystack, const QString& needle);
bool equalsIgnoringCase(const QString& a, const QString& b);

// Letter (categories L*) or decimal digit (Nd), for any script.
bool isLetterOrDigit(char32_t codePoint);

// True when any code point of `text` is a letter or a decimal digit.
bool containsLetterOrDigit(const QString& text);

// True when `text` holds any code point below U+0020 or U+007F..U+009F.
bool containsControlCharacter(const QString& text);

// The text of a file's bytes: UTF-8 (a leading byte-order mark dropped), or UTF-16 when the bytes
// begin with its byte-order mark. Nothing for anything else: invalid UTF-8 without a UTF-16 mark,
// an odd number of UTF-16 bytes, or a lone surrogate. Never guesses a legacy encoding.
std::optional<QString> decodeUnicode(const QByteArray& bytes);

namespace detail {
// graphemeBoundaries walked in windows of `window` UTF-16 units (at least 2), as texts longer than
// the break iterator takes are walked: the same boundaries for any window longer than the longest
// cluster (a cluster that fills a whole window is cut at its end). For tests.
QList<qsizetype> graphemeBoundariesInWindows(const QString& text, qsizetype window);
}  // namespace detail

}  // namespace base::text

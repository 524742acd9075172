#pragma once

#include <QString>

class QFontMetrics;
class QLabel;

namespace velquin {

// A text from a person, a file or a service (a path, a code, a name) as a wrapping label shows it:
// a run of more than `longestRun` characters (grapheme clusters) without a line-break opportunity
// gets a zero-width space after every `breakEvery` characters, so that it wraps inside the label
// instead of widening it. Words and texts with ordinary breaks are left as they are.
QString breakableText(const QString& text);
// Shows `text` through breakableText in a wrapping label whose accessible name is the text itself,
// so that screen readers and accessibility clients get it without the breaks.
void setBreakableText(QLabel* label, const QString& text);

// A short text of the interface on two lines, broken at the last space that lets its first line
// fit `room` pixels, where one line would be wider; as it is otherwise.
QString brokenToFit(const QString& text, const QFontMetrics& metrics, int room);

namespace breakable_text {
constexpr qsizetype longestRun = 24;
constexpr qsizetype breakEvery = 4;
}  // namespace breakable_text

}  // namespace velquin

#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// The host's side of the formula page's bridge, as plain functions: which texts go to the page,
// the render call sent to it, and which of its messages are taken. The web view applies them.
namespace velquin::MeridMathBridge {

// Heights the view takes, before and after the page reports.
inline constexpr qreal initialHeight = 40;
inline constexpr qreal minimumViewHeight = 24;
inline constexpr qreal maximumViewHeight = 8000;
// Font sizes the page is given.
inline constexpr qreal minimumFontSize = 11;
inline constexpr qreal maximumFontSize = 30;

// A text is typeset when it holds "\(", "\[" or "$$", or at least two "$" anywhere.
bool isFormulaCandidate(const QString& text);

// The page background for the appearance and card: six upper-case hexadecimal digits.
QString backgroundHex(bool dark, bool reminderCard);

// What identifies one render: the text, the font size as given, the appearance and the background,
// joined with NUL. The same key twice means the page already shows it.
QString renderKey(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex);

// `text` as a JSON string literal that is also a valid JavaScript string literal (the line and
// paragraph separators escaped); none when it cannot be encoded.
std::optional<QString> jsonStringLiteral(const QString& text);

// The shortest decimal that reads back as `value`, with ".0" after a whole number (14 -> "14.0").
QString decimal(qreal value);

// The script that calls the page: window.meridRender(<text>,<size>,<dark>,"#<background>");
// with the size clamped to 11..30 and no spaces. None when the text cannot be encoded.
std::optional<QString> renderScript(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex);

// A height message taken from the page: a finite number from 20 to 8,000 that differs from
// `current` by more than 1; none for anything else.
std::optional<qreal> acceptedHeight(const QVariant& body, qreal current);

// The height the view is given for a measured height: 24 to 8,000.
qreal viewHeight(qreal measured);

// The scroll position after a wheel message of `body` pixels (positive towards the end) from
// `current`, kept within 0..`maximum`; none when the body is no finite number or the position
// would move by 0.1 or less.
std::optional<int> wheelPosition(const QVariant& body, int current, int maximum);

}  // namespace velquin::MeridMathBridge

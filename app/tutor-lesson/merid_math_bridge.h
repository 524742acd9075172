#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// The program's side of the formula page's bridge, as plain functions: which texts go to the page
// and which of its messages are taken. The formula text applies them; the render call sent to the
// page is the web view's own (in the formula module).
namespace velquin::MeridMathBridge {

// Heights the view takes, before and after the page reports.
inline constexpr qreal initialHeight = 40;
inline constexpr qreal minimumViewHeight = 24;
inline constexpr qreal maximumViewHeight = 8000;

// A text is typeset when it holds "\(", "\[" or "$$", or at least two "$" anywhere.
bool isFormulaCandidate(const QString& text);

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

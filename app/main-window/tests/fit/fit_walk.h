#pragma once

#include <QStringList>

class QWidget;

namespace fitwalk {

// Every way the visible texts and controls of a top-level window fail to fit it, one line each
// ("QLabel title 'Orvel 账户': cut to 120x20 of 180x20"):
// - a label, button or field that its window or a visible parent cuts (inside a scroll area only
//   across, and only while the area has no horizontal scroll bar: what scrolls is not cut);
// - a label without word wrap narrower or lower than its text, a wrapping label lower than its
//   text needs at its width;
// - a button narrower than its text, or lower than the lines of a title that wraps.
// A label or button whose least size is below its text's (it elides or shrinks the text itself)
// may be as narrow as that least size.
// Child windows (the sheets of a window) are walked on their own.
QStringList faults(QWidget* window);

}  // namespace fitwalk

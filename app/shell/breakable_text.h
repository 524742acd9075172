#pragma once

#include <QString>

class QFontMetrics;

namespace velquin {

// A short text of the interface on two lines, broken at the last space that lets its first line
// fit `room` pixels, where one line would be wider; as it is otherwise.
QString brokenToFit(const QString& text, const QFontMetrics& metrics, int room);

}  // namespace velquin

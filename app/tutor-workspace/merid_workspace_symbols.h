#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace velquin {

// A button icon of the interface's line symbol `name` (SymbolImage) at `size` pixels: drawn in
// `color`, and in `disabledColor` while the button is disabled.
QIcon workspaceSymbol(const QString& name, const QColor& color, int size, const QColor& disabledColor);

// The same in the tutor palette's ink, muted while disabled, of the current colour scheme.
QIcon inkSymbol(const QString& name, int size);

}  // namespace velquin

#pragma once

#include <QIcon>
#include <QString>

namespace velquin {

// The symbol of the tutor panels called `name` (the names the lesson views use, "doc.text",
// "chevron.left", ...); an empty icon for a name it does not know.
QIcon workspaceSymbol(const QString& name);

}  // namespace velquin

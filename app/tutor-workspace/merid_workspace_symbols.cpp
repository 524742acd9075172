#include "app/tutor-workspace/merid_workspace_symbols.h"

#include <QApplication>
#include <QHash>
#include <QStyle>

namespace velquin {

QIcon workspaceSymbol(const QString& name) {
    static const QHash<QString, QStyle::StandardPixmap> standard{
        {QStringLiteral("doc.text"), QStyle::SP_FileIcon},
        {QStringLiteral("chevron.left"), QStyle::SP_ArrowLeft},
        {QStringLiteral("chevron.right"), QStyle::SP_ArrowRight},
        {QStringLiteral("folder.fill"), QStyle::SP_DirIcon},
        {QStringLiteral("externaldrive.badge.checkmark"), QStyle::SP_DriveHDIcon},
        {QStringLiteral("arrow.right"), QStyle::SP_ArrowRight},
    };
    const auto found = standard.constFind(name);
    if (found == standard.constEnd()) return QIcon();
    return QApplication::style()->standardIcon(*found);
}

}  // namespace velquin

#include "app/tutor-workspace/merid_workspace_symbols.h"

#include "app/shell/symbol_image.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

QIcon workspaceSymbol(const QString& name, const QColor& color, int size, const QColor& disabledColor) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(SymbolImage::pixmap(name, QSize(size, size), color, ratio), QIcon::Normal);
        icon.addPixmap(SymbolImage::pixmap(name, QSize(size, size), disabledColor, ratio), QIcon::Disabled);
    }
    return icon;
}

QIcon inkSymbol(const QString& name, int size) {
    const ColorScheme scheme = lessonary::currentScheme();
    QColor disabled = LessonaryMERIDPalette::muted(scheme);
    disabled.setAlphaF(0.5);
    return workspaceSymbol(name, LessonaryMERIDPalette::ink(scheme), size, disabled);
}

}  // namespace velquin

#include "app/main-window/tests/fit/fit_walk.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

#include "app/shell/wrapped_text.h"

namespace fitwalk {

namespace {

// The text a control shows, if it shows any.
QString shownText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* wrapped = qobject_cast<const velquin::WrappedText*>(widget)) return wrapped->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        const auto* tool = qobject_cast<const QToolButton*>(widget);
        return tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly ? QString() : button->text();
    }
    return {};
}

// Whether the walk looks at the widget: controls that show a text or take one.
bool isControl(const QWidget* widget) {
    return !shownText(widget).isEmpty() || qobject_cast<const QAbstractButton*>(widget) ||
           qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget);
}

QString describe(const QWidget* widget) {
    QString text = shownText(widget).simplified();
    if (text.size() > 40) text = text.left(39) + u'…';
    QString name = widget->objectName();
    if (name.isEmpty()) name = widget->accessibleName();
    return QStringLiteral("%1 %2 '%3'")
        .arg(QString::fromLatin1(widget->metaObject()->className()), name.isEmpty() ? QStringLiteral("-") : name, text);
}

QString size(QSize value) { return QStringLiteral("%1x%2").arg(value.width()).arg(value.height()); }

// The scroll area whose viewport `widget` is, if any.
const QAbstractScrollArea* scrollAreaOf(const QWidget* widget) {
    const auto* area = qobject_cast<const QAbstractScrollArea*>(widget->parentWidget());
    return area && area->viewport() == widget ? area : nullptr;
}

// The first ancestor up to the window that cuts the widget's rect. In a scroll area, only what the
// area cannot scroll to counts: across, unless its horizontal scroll bar shows; the part in view
// is then followed up to the window.
const QWidget* cuttingAncestor(const QWidget* widget, const QWidget* window) {
    QRect box(QPoint(0, 0), widget->size());
    const QWidget* child = widget;
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        box.translate(child->pos());
        if (const QAbstractScrollArea* area = scrollAreaOf(parent)) {
            const bool across = area->horizontalScrollBar()->isVisible();
            if (!across && (box.left() < 0 || box.right() > parent->rect().right())) return parent;
            // What shows of it must still lie inside the area's own parents.
            box &= parent->rect();
            if (box.isEmpty()) return nullptr;
        } else if (!parent->rect().contains(box)) {
            return parent;
        }
        if (parent == window) return nullptr;
        child = parent;
    }
    return nullptr;
}

// A widget that asks for less than its text (an eliding label, a row that shrinks its title) may
// be narrower than the text; any other must give the text its width.
int leastWidth(const QWidget* widget) {
    const QSize least = widget->minimumSizeHint();
    return least.isValid() ? std::min(least.width(), widget->sizeHint().width()) : widget->sizeHint().width();
}

QString textFault(const QWidget* widget) {
    const QString text = shownText(widget);
    if (text.isEmpty()) return {};
    // A wrapping text wraps inside words too: only its height can fall short of its lines.
    if (qobject_cast<const velquin::WrappedText*>(widget)) {
        const int needed = widget->heightForWidth(widget->width());
        if (needed > widget->height())
            return QStringLiteral("wrapped text needs %1 px of height at %2 px, has %3")
                .arg(needed)
                .arg(widget->width())
                .arg(widget->height());
        return {};
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->width());
            if (needed > label->height())
                return QStringLiteral("wrapped text needs %1 px of height at %2 px, has %3")
                    .arg(needed)
                    .arg(label->width())
                    .arg(label->height());
            return {};
        }
        const QSize hint(leastWidth(label), label->sizeHint().height());
        if (hint.width() > label->width() || hint.height() > label->height())
            return QStringLiteral("text needs %1, has %2 without wrapping or eliding")
                .arg(size(hint), size(label->size()));
        return {};
    }
    if (qobject_cast<const QAbstractButton*>(widget) && leastWidth(widget) > widget->width())
        return QStringLiteral("button text needs %1 px, has %2").arg(leastWidth(widget)).arg(widget->width());
    // A button title that wraps needs the height of its lines.
    if (qobject_cast<const QAbstractButton*>(widget) && widget->hasHeightForWidth() &&
        widget->heightForWidth(widget->width()) > widget->height())
        return QStringLiteral("button text needs %1 px of height, has %2")
            .arg(widget->heightForWidth(widget->width()))
            .arg(widget->height());
    return {};
}

}  // namespace

QStringList faults(QWidget* window) {
    QStringList found;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->window() != window || !widget->isVisibleTo(window) || !isControl(widget)) continue;
        if (const QWidget* cutter = cuttingAncestor(widget, window)) {
            const QRect box(widget->mapTo(cutter, QPoint(0, 0)), widget->size());
            found.append(QStringLiteral("%1: cut by %2 (%3 at %4,%5 in %6)")
                             .arg(describe(widget), describe(cutter), size(box.size()))
                             .arg(box.x())
                             .arg(box.y())
                             .arg(size(cutter->size())));
            continue;
        }
        if (const QString fault = textFault(widget); !fault.isEmpty())
            found.append(describe(widget) + QStringLiteral(": ") + fault);
    }
    return found;
}

}  // namespace fitwalk

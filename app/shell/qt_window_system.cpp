#include "app/shell/qt_window_system.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace velquin {

namespace {

bool isPanelWidget(const QWidget* widget) {
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Tool || type == Qt::ToolTip || type == Qt::Popup || type == Qt::SplashScreen;
}

bool isSheetWidget(const QWidget* widget) {
    return qobject_cast<const QDialog*>(widget) && widget->parentWidget() &&
           widget->windowModality() == Qt::WindowModal;
}

// Top-level widgets that Qt makes for itself and that are not the application's windows: the
// desktop, menus, tooltips, and the icon of the tray entry on an XEmbed system tray (a visible
// frameless top-level window that lives inside the desktop's panel).
bool isQtHelperWidget(const QWidget* widget) {
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Desktop || type == Qt::Popup || type == Qt::ToolTip || widget->inherits("QSystemTrayIconSys");
}

// The application's top-level widgets in the order their native windows were made; widgets never
// shown last.
QList<QWidget*> orderedTopLevelWidgets() {
    QList<QWidget*> widgets = QApplication::topLevelWidgets();
    widgets.removeIf(isQtHelperWidget);
    QList<QWidget*> ordered;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        for (QWidget* widget : widgets) {
            if (widget->windowHandle() == window && !ordered.contains(widget)) ordered.append(widget);
        }
    }
    for (QWidget* widget : widgets) {
        if (!ordered.contains(widget)) ordered.append(widget);
    }
    return ordered;
}

}  // namespace

std::shared_ptr<QtWindowSystem> QtWindowSystem::shared() {
    static const auto instance = std::make_shared<QtWindowSystem>();
    return instance;
}

QWidget* QtWindowSystem::widget(WindowId window) {
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (idOf(candidate) == window) return candidate;
    }
    return nullptr;
}

QList<WindowSystem::Window> QtWindowSystem::windows() {
    QList<Window> result;
    for (QWidget* widget : orderedTopLevelWidgets()) {
        Window window;
        window.id = idOf(widget);
        window.identifier = widget->objectName();
        window.isPanel = isPanelWidget(widget);
        window.isSheet = isSheetWidget(widget);
        window.canBecomeMain = !window.isPanel && !window.isSheet;
        const Qt::WindowType type = widget->windowType();
        window.isTitled =
            (type == Qt::Window || type == Qt::Dialog) && !widget->windowFlags().testFlag(Qt::FramelessWindowHint);
        window.isVisible = widget->isVisible() && !widget->isMinimized();
        window.isMinimized = widget->isMinimized();
        window.isFullScreen = widget->isFullScreen();
        window.title = widget->windowTitle();
        window.frame = QRectF(widget->frameGeometry());
        window.minimumContentSize = QSizeF(widget->minimumSize());
        result.append(window);
    }
    return result;
}

std::optional<QRectF> QtWindowSystem::visibleScreenFrame(WindowId window) {
    QScreen* screen = nullptr;
    if (QWidget* target = widget(window)) screen = target->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    return QRectF(screen->availableGeometry());
}

void QtWindowSystem::setFrame(WindowId window, const QRectF& frame) {
    QWidget* target = widget(window);
    if (!target) return;
    // The frame includes the decorations; the widget's geometry does not.
    const QRect outer = target->frameGeometry();
    const QRect inner = target->geometry();
    const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                           outer.bottom() - inner.bottom());
    target->setGeometry(frame.toRect().marginsRemoved(margins));
}

void QtWindowSystem::setContentSize(WindowId window, const QSizeF& size) {
    QWidget* target = widget(window);
    if (!target) return;
    target->resize(size.toSize());
    // A window that grows stays inside the screen's available area: moved up or left as far as it
    // needs, its left and top edges inside where it is larger.
    const QScreen* screen = target->isVisible() ? target->screen() : nullptr;
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = target->frameGeometry();
    frame.moveLeft(std::max(std::min(frame.left(), area.right() - frame.width() + 1), area.left()));
    frame.moveTop(std::max(std::min(frame.top(), area.bottom() - frame.height() + 1), area.top()));
    if (frame.topLeft() != target->frameGeometry().topLeft()) target->move(frame.topLeft());
}

void QtWindowSystem::setIdentifier(WindowId window, const QString& identifier) {
    if (QWidget* target = widget(window)) target->setObjectName(identifier);
}

void QtWindowSystem::raiseWindow(WindowId window) {
    QWidget* target = widget(window);
    if (!target) return;
    if (target->isMinimized()) target->showNormal();
    target->show();
    target->raise();
    target->activateWindow();
}

void QtWindowSystem::hideWindow(WindowId window) {
    if (QWidget* target = widget(window)) target->hide();
}

bool QtWindowSystem::isApplicationActive() { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

void QtWindowSystem::hideApplication() {
    if (hidden_) return;
    hidden_ = true;
    hiddenWidgets_.clear();
    for (QWidget* widget : orderedTopLevelWidgets()) {
        if (!widget->isVisible()) continue;
        hiddenWidgets_.append({widget, widget->geometry().topLeft()});
        widget->hide();
    }
}

void QtWindowSystem::showApplication() {
    if (!hidden_) return;
    hidden_ = false;
    const auto widgets = std::exchange(hiddenWidgets_, {});
    for (const HiddenWidget& hidden : widgets) {
        if (!hidden.widget) continue;
        // Qt asks the window manager for a position only for windows the program placed itself;
        // any other window shown again is placed anew, wherever the person had moved it. A move of
        // the widget to where Qt already has it changes nothing, so the native window is given
        // its client area's place before it is mapped again (a frame position lands the client
        // area there under openbox, the frame's height too high).
        if (QWindow* handle = hidden.widget->windowHandle()) handle->setPosition(hidden.position);
        hidden.widget->show();
    }
}

QWidget* QtWindowSystem::mainWindowWidget() {
    const auto main = window_rules::mainWorkspaceWindow(windows());
    return main ? widget(main->id) : nullptr;
}

void QtWindowSystem::activateApplication() {
    QWidget* target = QApplication::activeWindow();
    if (!target) target = mainWindowWidget();
    if (!target || !target->isVisible()) return;
    target->raise();
    target->activateWindow();
}

void QtWindowSystem::openWorkspace() {
    if (openWorkspaceHandler_) {
        openWorkspaceHandler_();
        return;
    }
    showApplication();
    if (QWidget* main = mainWindowWidget()) raiseWindow(idOf(main));
    activateApplication();
}

}  // namespace velquin

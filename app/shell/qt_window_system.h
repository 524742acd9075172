#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/shell/window_system.h"

namespace velquin {

// The window system over Qt's top-level widgets. A window's identifier is its objectName; a
// panel is a tool window; a sheet is a window-modal dialog with a parent. Hiding the application
// hides its visible top-level widgets and showing it again brings back those same widgets, each
// where it was.
// Main thread only.
class QtWindowSystem : public WindowSystem {
public:
    // The one instance the application's store and router share (the hidden state is kept here).
    static std::shared_ptr<QtWindowSystem> shared();

    QList<Window> windows() override;
    std::optional<QRectF> visibleScreenFrame(WindowId window) override;
    void setFrame(WindowId window, const QRectF& frame) override;
    void setContentSize(WindowId window, const QSizeF& size) override;
    void setIdentifier(WindowId window, const QString& identifier) override;
    void raiseWindow(WindowId window) override;
    void hideWindow(WindowId window) override;

    bool isApplicationHidden() override { return hidden_; }
    bool isApplicationActive() override;
    void hideApplication() override;
    void showApplication() override;
    void activateApplication() override;
    void openWorkspace() override;

    // Replaces what openWorkspace() does (the selection controller brings the main window back
    // its own way); without one, the main window is shown, raised and activated.
    void setOpenWorkspaceHandler(std::function<void()> handler) { openWorkspaceHandler_ = std::move(handler); }

    static WindowId idOf(const QWidget* widget) { return reinterpret_cast<WindowId>(widget); }
    // The live top-level widget with this id, or null.
    static QWidget* widget(WindowId window);

private:
    QWidget* mainWindowWidget();

    struct HiddenWidget {
        QPointer<QWidget> widget;
        QPoint position;  // the client area's top left corner when it was hidden
    };

    bool hidden_ = false;
    QList<HiddenWidget> hiddenWidgets_;
    std::function<void()> openWorkspaceHandler_;
};

}  // namespace velquin

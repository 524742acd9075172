#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// What the central store and the page router need of the desktop's windows: the application's
// top-level windows in order, their screens, moving and sizing them, raising them, hiding, showing
// and activating the application. One implementation drives Qt's widgets; tests use a fake.
namespace velquin {

// The identifier (the top-level widget's objectName) that marks the main window.
inline const QString workspaceWindowIdentifier = QStringLiteral("Orvel.workspace");

class WindowSystem {
public:
    using WindowId = quintptr;

    // A snapshot of one top-level window. Frames are in screen coordinates (points, origin at the
    // top left), including the window's decorations.
    struct Window {
        WindowId id = 0;
        QString identifier;
        bool isPanel = false;        // a floating tool panel
        bool isSheet = false;        // a dialog attached to another window
        bool isTitled = true;        // has a title bar (a frameless window has none)
        bool canBecomeMain = true;
        bool isVisible = false;  // shown and not minimised
        bool isMinimized = false;
        bool isFullScreen = false;
        QString title;
        QRectF frame;
        QSizeF minimumContentSize;
    };

    virtual ~WindowSystem();

    // The application's windows in its window order.
    virtual QList<Window> windows() = 0;
    // The visible area (without panels and docks) of the window's screen, or else of the main
    // screen; nothing when there is no screen at all.
    virtual std::optional<QRectF> visibleScreenFrame(WindowId window) = 0;
    virtual void setFrame(WindowId window, const QRectF& frame) = 0;
    virtual void setContentSize(WindowId window, const QSizeF& size) = 0;
    // Tags the window with an identifier (see `workspaceWindowIdentifier`).
    virtual void setIdentifier(WindowId window, const QString& identifier) = 0;
    // Shows the window (restoring it when minimised), raises it above the others and activates it
    // (it gets the keyboard).
    virtual void raiseWindow(WindowId window) = 0;
    // Takes the window off the screen; it is kept and comes back when raised.
    virtual void hideWindow(WindowId window) = 0;

    // Hiding the application hides its visible windows; showing it brings back those same windows.
    virtual bool isApplicationHidden() = 0;
    virtual void hideApplication() = 0;
    virtual void showApplication() = 0;
    // Whether one of the application's windows is the desktop's active window.
    virtual bool isApplicationActive() = 0;
    // Raises and activates the application's active window, else its main window, when visible,
    // even while another application is active.
    virtual void activateApplication() = 0;
    // Brings the main window back and activates the application.
    virtual void openWorkspace() = 0;
};

// The window rules shared by the store and the router.
namespace window_rules {

// The first window tagged as the main window; else the first one that can become main and is not
// a panel.
std::optional<WindowSystem::Window> mainWorkspaceWindow(const QList<WindowSystem::Window>& windows);
// The first window tagged as the main window that is neither a panel nor a sheet.
std::optional<WindowSystem::Window> taggedWorkspaceWindow(const QList<WindowSystem::Window>& windows);
// Whether some window tagged as the main window is visible.
bool hasVisibleWorkspaceWindow(const QList<WindowSystem::Window>& windows);

}  // namespace window_rules

}  // namespace velquin

#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSize>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace base {
class DefaultsStore;
}

namespace velquin {

class AppStore;
class ContentView;
class OrvelNativeCoach;
class SelectionController;
class SheetBinding;
class WorkspaceRouter;
struct ApplicationParts;

// The application's one main window: the study workspace, or the compact selection answer while
// the store presents a selection, each with its own minimum and ideal size; the five sheets bound
// to the store's flags; the menu bar. Closing it hides it. It carries the main window's
// identifier from the start and keeps its frame in the defaults store between runs. It stays
// inside the available area of its screen, and comes back where it was when shown again.
// Where the desktop's tray does not show the program's icon, closing it may end the program (see
// SelectionController::windowClose), and so may the end of a hand-over that hid it or that started
// the program without it (SelectionController::handOverEnd).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize workspaceMinimum{820, 650};
    static constexpr QSize workspaceIdeal{1040, 800};
    static constexpr QSize selectionMinimum{420, 420};
    static constexpr QSize selectionIdeal{480, 520};
    // Where the frame is kept: the prefix the first-setup step forgets, and the window's identifier.
    static QString frameKey();

    enum class Sheet { settings, privacyConsent, accountLogin, captureGuide, directSelectionSettings };

    MainWindow(AppStore& store, WorkspaceRouter& router, SelectionController& selection, OrvelNativeCoach& coach,
               const ApplicationParts& parts, base::DefaultsStore& defaults, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView* contentView() const { return content_; }
    // The compact selection answer's place in the window, built the first time it is shown.
    QWidget* selectionView() const { return selection_; }
    SheetBinding* sheet(Sheet which) const { return sheets_.at(static_cast<size_t>(which)); }

    QAction* settingsAction() const { return settingsAction_; }
    QAction* directSettingsAction() const { return directSettingsAction_; }
    QAction* captureAction() const { return captureAction_; }
    QAction* quitAction() const { return quitAction_; }

    // The ideal size of the window for the current presentation, menu bar included.
    QSize idealSize() const;
    // Puts the saved frame back, or the ideal size when none is saved or it lies off every screen;
    // either within the available area of its screen.
    void restoreFrame();
    // Keeps the frame for the next run: on the coach page the one the window returns to from it.
    void saveFrame();
    void setVisible(bool visible) override;

    void retranslate();
    // This run began with a hand-over (the study-selection command) and the window was never shown.
    void setStartedForHandOver() { startedForHandOver_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Says once that the program keeps running without a window, with the choice to quit instead.
    void explainBackground();
    void statusItemReachabilityChanged(bool reachable);
    void handOverEnded();
    void showPresentation();
    void updateMinimum();
    QSize contentMinimum() const;
    // In another interface language the home page's lines take another height: a window that still
    // has the size the program chose takes the ideal size of the new language.
    void fitChosenSize();
    // No larger than the available area of its screen, less the window manager's frame; with
    // `place`, moved inside it too.
    void keepOnScreen(bool place);

    AppStore& store_;
    WorkspaceRouter& router_;
    SelectionController& controller_;
    base::DefaultsStore& defaults_;
    // Holds the workspace and the compact view, inside the window's scroll area.
    QWidget* contentArea_ = nullptr;
    ContentView* content_ = nullptr;
    std::function<QWidget*(AppStore&, QWidget*)> makeSelectionView_;
    QWidget* selection_ = nullptr;
    std::array<SheetBinding*, 5> sheets_{};
    QMenu* menu_ = nullptr;
    QAction* settingsAction_ = nullptr;
    QAction* directSettingsAction_ = nullptr;
    QAction* captureAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QPointer<QWidget> backgroundNotice_;
    bool closeExplained_ = false;
    bool startedForHandOver_ = false;
    // Where the client area was when the program last hid the window.
    std::optional<QPoint> hiddenAt_;
    // Given its ideal size for want of a kept frame, and not shown since.
    bool openedAtIdeal_ = false;
    // The size the program chose for the window for want of a kept frame, while it still has it:
    // the person has not sized it since.
    std::optional<QSize> chosenSize_;
    // Shown, and not yet placed inside the screen with the window manager's frame known.
    bool placePending_ = false;
};

}  // namespace velquin

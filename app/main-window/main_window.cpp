#include "app/main-window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include <utility>

#include "app/main-window/application_parts.h"
#include "app/main-window/content_view.h"
#include "app/main-window/home_page.h"
#include "app/main-window/sheet_binding.h"
#include "app/main-window/sidebar.h"
#include "app/shell/app_store.h"
#include "app/shell/interface_settings.h"
#include "app/shell/selection_controller.h"
#include "app/shell/sheet_window.h"
#include "app/shell/ui_strings.h"
#include "app/shell/window_system.h"
#include "app/shell/workspace_router.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/defaults_store.h"

namespace velquin {

namespace {

struct SheetFlag {
    bool (AppStore::*read)() const;
    void (AppStore::*write)(bool);
    void (AppStore::*changed)();
    ApplicationParts::SheetFactory ApplicationParts::*factory;
};

// In the order the sheets are attached to the window.
constexpr std::array<SheetFlag, 5> kSheetFlags{{
    {&AppStore::showSettings, &AppStore::setShowSettings, &AppStore::showSettingsChanged,
     &ApplicationParts::settingsSheet},
    {&AppStore::showPrivacyConsent, &AppStore::setShowPrivacyConsent, &AppStore::showPrivacyConsentChanged,
     &ApplicationParts::privacyConsentSheet},
    {&AppStore::showAccountLogin, &AppStore::setShowAccountLogin, &AppStore::showAccountLoginChanged,
     &ApplicationParts::accountSheet},
    {&AppStore::showCaptureGuide, &AppStore::setShowCaptureGuide, &AppStore::showCaptureGuideChanged,
     &ApplicationParts::captureGuideSheet},
    {&AppStore::showDirectSelectionSettings, &AppStore::setShowDirectSelectionSettings,
     &AppStore::showDirectSelectionSettingsChanged, &ApplicationParts::directSelectionSettingsSheet},
}};

}  // namespace

QString MainWindow::frameKey() { return QStringLiteral("NSWindow Frame ") + workspaceWindowIdentifier; }

MainWindow::MainWindow(AppStore& store, WorkspaceRouter& router, SelectionController& selection,
                       OrvelNativeCoach& coach, const ApplicationParts& parts, base::DefaultsStore& defaults,
                       QWidget* parent)
    : QMainWindow(parent),
      store_(store),
      router_(router),
      controller_(selection),
      defaults_(defaults),
      makeSelectionView_(parts.selectionView) {
    setObjectName(workspaceWindowIdentifier);

    // The content scrolls only where the screen holds less than its least size; anywhere else the
    // window's minimum keeps the whole content in view.
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidgetResizable(true);
    scroller->viewport()->setAutoFillBackground(false);
    contentArea_ = new QWidget(scroller);
    auto* stack = new QVBoxLayout(contentArea_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    content_ = new ContentView(store_, router, controller_, coach, parts, contentArea_);
    stack->addWidget(content_);
    scroller->setWidget(contentArea_);
    setCentralWidget(scroller);
    connect(&store_, &AppStore::selectionPresentationChanged, this, &MainWindow::showPresentation);
    connect(content_, &ContentView::pageBuilt, this, &MainWindow::updateMinimum);
    showPresentation();

    for (size_t i = 0; i < kSheetFlags.size(); ++i) {
        const SheetFlag flag = kSheetFlags[i];
        const ApplicationParts::SheetFactory& factory = parts.*flag.factory;
        SheetBinding::Factory make;
        // The callbacks hold the store, not this window.
        AppStore* store = &store_;
        if (factory) make = [store, factory](QWidget* window) { return factory(*store, window); };
        sheets_[i] = new SheetBinding(
            this, [store, flag] { return (store->*flag.read)(); }, [store, flag] { (store->*flag.write)(false); },
            std::move(make), this);
        connect(&store_, flag.changed, sheets_[i], &SheetBinding::update);
    }

    menu_ = menuBar()->addMenu(QStringLiteral("Orvel"));
    settingsAction_ = menu_->addAction(QString(), this, [this] { store_.setShowSettings(true); });
    settingsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    directSettingsAction_ = menu_->addAction(QString(), this, [this] { controller_.openDirectSettings(); });
    captureAction_ = menu_->addAction(QString(), this, [this] { store_.openDocumentReader(); });
    captureAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    menu_->addSeparator();
    quitAction_ = menu_->addAction(QString(), qApp, &QCoreApplication::quit);
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction_->setMenuRole(QAction::QuitRole);
    const auto showBusy = [this] { captureAction_->setEnabled(!store_.isBusy()); };
    connect(&store_, &AppStore::isBusyChanged, this, showBusy);
    showBusy();

    connect(&controller_, &SelectionController::statusItemReachableChanged, this,
            &MainWindow::statusItemReachabilityChanged);
    // Looked at once the event that ended the hand-over is through: its panel's way into this window
    // shows the window only after the panel has closed.
    connect(&controller_, &SelectionController::handOverEnded, this, &MainWindow::handOverEnded, Qt::QueuedConnection);

    lessonary::follow(this,
                      [this] {
                          retranslate();
                          // Once the pages have their new texts.
                          QMetaObject::invokeMethod(this, &MainWindow::fitChosenSize, Qt::QueuedConnection);
                      },
                      {});
    retranslate();
}

MainWindow::~MainWindow() {
    // The bindings call back into this window when a sheet closes, and the window's own teardown
    // closes the sheets still open: they go first, with their sheets, while this is still whole.
    for (SheetBinding*& binding : sheets_) delete std::exchange(binding, nullptr);
}

void MainWindow::retranslate() {
    settingsAction_->setText(UIStrings::text(QStringLiteral("设置…")));
    directSettingsAction_->setText(UIStrings::text(QStringLiteral("直接划词设置…")));
    captureAction_->setText(UIStrings::text(QStringLiteral("截图取字…")));
    quitAction_->setText(UIStrings::text(QStringLiteral("退出 Orvel")));
}

QSize MainWindow::contentMinimum() const {
    // The window's limit and the shown content's own, whichever is larger.
    const bool compact = store_.selectionPresentation();
    QWidget* shown = compact ? selection_ : static_cast<QWidget*>(content_);
    const QSize own = shown ? shown->minimumSize().expandedTo(shown->minimumSizeHint()) : QSize();
    return (compact ? selectionMinimum : workspaceMinimum).expandedTo(own);
}

void MainWindow::showPresentation() {
    const bool compact = store_.selectionPresentation();
    if (compact && !selection_) {
        selection_ = makeSelectionView_ ? makeSelectionView_(store_, contentArea_) : nullptr;
        if (!selection_) selection_ = new QWidget(contentArea_);
        contentArea_->layout()->addWidget(selection_);
    }
    // A hidden widget takes no room, so only the shown content's own minimum counts.
    content_->setVisible(!compact);
    if (selection_) selection_->setVisible(compact);
    updateMinimum();
}

void MainWindow::updateMinimum() {
    const QSize least = contentMinimum();
    contentArea_->setMinimumSize(least);
    // Never more than the screen holds: what does not fit scrolls.
    QSize shown = least;
    if (maximumWidth() < QWIDGETSIZE_MAX || maximumHeight() < QWIDGETSIZE_MAX) {
        const int menu = menuBar()->isVisibleTo(this) ? menuBar()->sizeHint().height() : 0;
        shown = least.boundedTo(QSize(maximumWidth(), std::max(0, maximumHeight() - menu)));
    }
    centralWidget()->setMinimumSize(shown);
    // The window's own minimum follows at once, so that it can be made as small as that.
    if (layout()) layout()->activate();
}

namespace {

// What the window manager's frame adds around the client area (nothing before it framed it).
QMargins frameMargins(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// `frame` moved inside `area`; where it is larger, its left and top edges stay inside (the title
// stays within reach).
QRect movedInside(QRect frame, const QRect& area) {
    frame.moveLeft(std::max(std::min(frame.left(), area.right() - frame.width() + 1), area.left()));
    frame.moveTop(std::max(std::min(frame.top(), area.bottom() - frame.height() + 1), area.top()));
    return frame;
}

}  // namespace

void MainWindow::keepOnScreen(bool place) {
    const QScreen* screen = this->screen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize room = area.marginsRemoved(frameMargins(this)).size();
    // A window larger than that is made smaller by Qt at once.
    if (maximumSize() != room) {
        const bool chosen = chosenSize_ == size();
        setMaximumSize(room);
        updateMinimum();
        if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
        if (chosen) chosenSize_ = size();
    }
    if (!place) return;
    const QRect placed = movedInside(frameGeometry(), area);
    if (placed.topLeft() != frameGeometry().topLeft()) move(placed.topLeft());
}

QSize MainWindow::idealSize() const {
    const bool compact = store_.selectionPresentation();
    QSize content = compact ? selectionIdeal : workspaceIdeal;
    // Where the fonts' lines are taller (a Chinese font), the home page may need more height than
    // the ideal to show its sections whole: the window then opens as tall as that.
    if (!compact && content_->homePage() && router_.page() != WorkspaceRouter::Page::coach) {
        const int pageWidth = content.width() - Sidebar::width - content_->sidebarDivider()->sizeHint().width();
        content.setHeight(std::max(content.height(), content_->homePage()->neededHeight(pageWidth)));
    }
    const QSize wanted = content.expandedTo(contentMinimum());
    return {wanted.width(), wanted.height() + (menuBar()->isVisibleTo(this) ? menuBar()->sizeHint().height() : 0)};
}

void MainWindow::restoreFrame() {
    const QStringList parts = defaults_.string(frameKey()).split(u' ', Qt::SkipEmptyParts);
    std::optional<QRect> frame;
    if (parts.size() == 4) {
        bool ok[4] = {};
        const QRect saved(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]),
                          parts[3].toInt(&ok[3]));
        const bool numbers = ok[0] && ok[1] && ok[2] && ok[3];
        bool onScreen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersects(saved);
        if (numbers && onScreen && saved.width() > 0 && saved.height() > 0)
            frame = QRect(saved.topLeft(), saved.size().expandedTo(minimumSizeHint()));
    }
    // The screen the window opens on: the one holding most of the saved frame, else the one it is on.
    const QScreen* screen = this->screen();
    if (frame) {
        int most = 0;
        for (const QScreen* candidate : QGuiApplication::screens()) {
            const QRect shared = candidate->availableGeometry().intersected(*frame);
            if (shared.width() * shared.height() > most) {
                most = shared.width() * shared.height();
                screen = candidate;
            }
        }
    }
    // The client area's room: the screen's available area less the frame (once the window manager
    // framed the window; a window shown later is fitted again then).
    const QRect area = screen ? screen->availableGeometry().marginsRemoved(frameMargins(this)) : QRect();
    if (!frame) {
        resize(screen ? idealSize().boundedTo(area.size()) : idealSize());
        // The pages know the height their texts need only once they are laid out for showing.
        openedAtIdeal_ = true;
        chosenSize_ = size();
        return;
    }
    openedAtIdeal_ = false;
    chosenSize_.reset();
    if (screen) {
        frame->setSize(frame->size().boundedTo(area.size()));
        *frame = movedInside(*frame, area);
    }
    setGeometry(*frame);
}

void MainWindow::saveFrame() {
    if (!isVisible()) return;
    QRect frame = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    // The router's frames include the window manager's frame; the kept one is the client area's.
    if (const auto kept = router_.frameToKeep()) frame = kept->toRect().marginsRemoved(frameMargins(this));
    defaults_.setString(
        frameKey(), QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()));
}

void MainWindow::setVisible(bool visible) {
    // Shown again, the window goes back where it was. Qt asks the window manager for a place only
    // for a window the program placed itself; any other is placed anew, wherever the person had
    // moved it. Its client area is given its place before it is mapped (see
    // QtWindowSystem::showApplication).
    if (visible && !isVisible() && hiddenAt_) {
        if (QWindow* handle = windowHandle()) handle->setPosition(*hiddenAt_);
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    // A close the program makes itself (quitting closes every window) only hides the window; the
    // person's close depends on whether the tray shows the program's icon.
    const SelectionController::WindowClose outcome =
        event->spontaneous() ? SelectionController::windowClose(controller_.statusItemReachable(),
                                                                controller_.isEnabled(), closeExplained_)
                             : SelectionController::WindowClose::hide;
    switch (outcome) {
    case SelectionController::WindowClose::hide: QMainWindow::closeEvent(event); return;
    case SelectionController::WindowClose::quit:
        QMainWindow::closeEvent(event);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    case SelectionController::WindowClose::explainThenHide:
        event->ignore();
        explainBackground();
        return;
    }
}

void MainWindow::explainBackground() {
    if (backgroundNotice_) return;
    closeExplained_ = true;
    auto* notice = new QMessageBox(
        QMessageBox::Information, UIStrings::text(QStringLiteral("Orvel 仍在运行")),
        UIStrings::text(QStringLiteral("关闭窗口后，Orvel 仍在后台读取你选中的文字。再次启动 Orvel 即可回到这个窗口；"
                                       "要结束它，请选择窗口 Orvel 菜单中的“退出 Orvel”。")),
        QMessageBox::NoButton, this);
    notice->setObjectName(QStringLiteral("orvel.background-notice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* keep = notice->addButton(UIStrings::text(QStringLiteral("在后台继续运行")), QMessageBox::AcceptRole);
    QPushButton* quit = notice->addButton(UIStrings::text(QStringLiteral("退出 Orvel")), QMessageBox::DestructiveRole);
    notice->setDefaultButton(keep);
    notice->setEscapeButton(keep);
    connect(keep, &QPushButton::clicked, this, &QWidget::hide);
    connect(quit, &QPushButton::clicked, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    backgroundNotice_ = notice;
    openSheet(notice);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Shown once, the window is the person's: the end of a hand-over no longer ends the program.
    startedForHandOver_ = false;
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    // On the first showing, before the window is mapped, its pages are laid out: the height they
    // need counts now, once.
    if (std::exchange(openedAtIdeal_, false)) {
        resize(idealSize());
        chosenSize_ = size();
    }
    keepOnScreen(false);
    // Once more when the window manager has framed it (its frame's size counts then).
    placePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!placePending_) return;
            keepOnScreen(true);
            if (!frameMargins(this).isNull()) placePending_ = false;
        },
        Qt::QueuedConnection);
}

void MainWindow::fitChosenSize() {
    if (!isVisible() || chosenSize_ != size() || isMaximized() || isFullScreen() || store_.selectionPresentation())
        return;
    // No larger than the window's maximum, the room its screen has; kept inside the screen.
    resize(idealSize());
    chosenSize_ = size();
    keepOnScreen(true);
}

void MainWindow::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) hiddenAt_ = geometry().topLeft();
    QMainWindow::hideEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!isVisible()) return;
    // The frame the window manager adds, or another screen, changes the room there is; the place is
    // the person's once the window has been put inside the screen after it showed.
    const bool place = placePending_ && !frameMargins(this).isNull();
    if (place) placePending_ = false;
    keepOnScreen(place);
}

void MainWindow::handOverEnded() {
    // A window of the program still shows (this one, a sheet, the tour): the person can reach it.
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (widget->isVisible() && (type == Qt::Window || type == Qt::Dialog)) return;
    }
    switch (SelectionController::handOverEnd(controller_.statusItemReachable(), startedForHandOver_,
                                             controller_.isEnabled(), closeExplained_)) {
    case SelectionController::HandOverEnd::stay: return;
    case SelectionController::HandOverEnd::showWindow: show(); return;
    case SelectionController::HandOverEnd::explainThenHide:
        show();
        explainBackground();
        return;
    case SelectionController::HandOverEnd::quit: QCoreApplication::quit(); return;
    }
}

void MainWindow::statusItemReachabilityChanged(bool reachable) {
    // The tray went away while the window was closed: nothing would show that the program runs.
    if (!reachable && !isVisible()) show();
}

}  // namespace velquin

#include "app/shell/workspace_router.h"

#include <QPointer>

#include <algorithm>

#include "app/shell/app_store.h"
#include "app/shell/qt_window_system.h"

namespace velquin {

WorkspaceRouter::WorkspaceRouter(std::shared_ptr<WindowSystem> windows, std::shared_ptr<base::WorkScheduler> scheduler,
                                 std::function<bool()> selectionPresentation, QObject* parent)
    : QObject(parent),
      windows_(std::move(windows)),
      scheduler_(std::move(scheduler)),
      selectionPresentation_(std::move(selectionPresentation)) {}

WorkspaceRouter& WorkspaceRouter::shared() {
    static WorkspaceRouter* instance =
        new WorkspaceRouter(QtWindowSystem::shared(), std::make_shared<base::QtWorkScheduler>(),
                            [] { return AppStore::shared().selectionPresentation(); });
    return *instance;
}

std::optional<WindowSystem::Window> WorkspaceRouter::workspaceWindow() const {
    return window_rules::taggedWorkspaceWindow(windows_->windows());
}

void WorkspaceRouter::open(Page target) {
    if (page_ == target) return;

    const bool compactView = selectionPresentation_ && selectionPresentation_();
    if (compactView || !window_rules::hasVisibleWorkspaceWindow(windows_->windows()) ||
        windows_->isApplicationHidden()) {
        windows_->openWorkspace();
    } else if (!windows_->isApplicationActive()) {
        windows_->activateApplication();
    }

    const bool wasCoach = page_ == Page::coach;
    if (target == Page::coach && !wasCoach) {
        const auto window = workspaceWindow();
        preTutorWindowFrame_ = window ? std::optional<QRectF>(window->frame) : std::nullopt;
    }
    page_ = target;
    emit pageChanged();

    // The page's views are built before the window changes size; a later switch decides anew.
    QPointer<WorkspaceRouter> guard(this);
    scheduler_->post([guard, target, wasCoach]() {
        if (!guard) return;
        if (target == Page::coach) {
            if (guard->page_ == Page::coach) guard->enlargeForCoach();
        } else if (wasCoach && guard->page_ != Page::coach && guard->preTutorWindowFrame_) {
            const QRectF saved = *guard->preTutorWindowFrame_;
            guard->preTutorWindowFrame_.reset();
            guard->restoreAfterCoach(saved);
        }
    });
}

void WorkspaceRouter::enlargeForCoach() {
    const auto window = workspaceWindow();
    if (!window || window->isFullScreen) return;
    const auto screen = windows_->visibleScreenFrame(window->id);
    if (!screen) return;
    const QRectF area = screen->adjusted(horizontalInset, verticalInset, -horizontalInset, -verticalInset);
    const double width = std::min(area.width(), largestCoachWidth);
    const double height = std::min(area.height(), largestCoachHeight);
    if (width < smallestCoachWidth || height < smallestCoachHeight) return;
    if (window->frame.width() >= width - tolerance && window->frame.height() >= height - tolerance) return;
    const QPointF middle = area.center();
    windows_->setFrame(window->id, QRectF(middle.x() - width / 2, middle.y() - height / 2, width, height));
}

std::optional<std::pair<WindowSystem::WindowId, QRectF>> WorkspaceRouter::restoredFrame(const QRectF& saved) const {
    const auto window = workspaceWindow();
    if (!window || window->isFullScreen) return std::nullopt;
    const auto screen = windows_->visibleScreenFrame(window->id);
    if (!screen) return std::nullopt;
    const QRectF visible = *screen;
    const double width = std::min(visible.width(), std::max(smallestRestoredWidth, saved.width()));
    const double height = std::min(visible.height(), std::max(smallestRestoredHeight, saved.height()));
    const double x = std::min(visible.x() + visible.width() - width, std::max(saved.x(), visible.x()));
    const double y = std::min(visible.y() + visible.height() - height, std::max(saved.y(), visible.y()));
    return std::make_pair(window->id, QRectF(x, y, width, height));
}

void WorkspaceRouter::restoreAfterCoach(const QRectF& saved) {
    if (const auto restored = restoredFrame(saved)) windows_->setFrame(restored->first, restored->second);
}

std::optional<QRectF> WorkspaceRouter::frameToKeep() const {
    if (page_ != Page::coach || !preTutorWindowFrame_) return std::nullopt;
    const auto restored = restoredFrame(*preTutorWindowFrame_);
    return restored ? std::optional<QRectF>(restored->second) : std::nullopt;
}

AuxiliaryWindowController& AuxiliaryWindowController::shared() {
    static AuxiliaryWindowController instance;
    return instance;
}

void AuxiliaryWindowController::showCoach(AppStore&) { WorkspaceRouter::shared().open(WorkspaceRouter::Page::coach); }

}  // namespace velquin

#pragma once

#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/shell/window_system.h"
#include "base/raw_value.h"
#include "base/work_scheduler.h"

namespace velquin {

class AppStore;

// Which page the main window shows, and the main window's size around the coach page: entering
// it widens the window to a large centred frame, leaving it puts the window back where it was.
// Main thread only; the window work of a switch runs on a later turn of the main queue.
class WorkspaceRouter : public QObject {
    Q_OBJECT
public:
    enum class Page { home, history, coach };

    // The coach area: the screen's visible frame inset by these.
    static constexpr double horizontalInset = 16;
    static constexpr double verticalInset = 14;
    static constexpr double largestCoachWidth = 1340;
    static constexpr double largestCoachHeight = 810;
    static constexpr double smallestCoachWidth = 830;
    static constexpr double smallestCoachHeight = 620;
    // A window this close to the wanted size counts as large enough.
    static constexpr double tolerance = 8;
    static constexpr double smallestRestoredWidth = 840;
    static constexpr double smallestRestoredHeight = 560;

    // `selectionPresentation` tells whether the main window shows the compact selection view.
    WorkspaceRouter(std::shared_ptr<WindowSystem> windows, std::shared_ptr<base::WorkScheduler> scheduler,
                    std::function<bool()> selectionPresentation, QObject* parent = nullptr);

    // The application's router over the shared window system and store, made on first use.
    static WorkspaceRouter& shared();

    Page page() const { return page_; }
    void open(Page target);
    void returnHome() { open(Page::home); }
    // On the coach page, the frame the main window would be put back at on leaving it (what a
    // restart should open at, rather than the enlarged frame); else none.
    std::optional<QRectF> frameToKeep() const;

Q_SIGNALS:
    void pageChanged();

private:
    std::optional<WindowSystem::Window> workspaceWindow() const;
    void enlargeForCoach();
    void restoreAfterCoach(const QRectF& saved);
    // Where the window goes back to from `saved`: no smaller than the least restored size, inside
    // the visible frame of its screen; none without a window or a screen, or in full screen.
    std::optional<std::pair<WindowSystem::WindowId, QRectF>> restoredFrame(const QRectF& saved) const;

    std::shared_ptr<WindowSystem> windows_;
    std::shared_ptr<base::WorkScheduler> scheduler_;
    std::function<bool()> selectionPresentation_;
    Page page_ = Page::home;
    std::optional<QRectF> preTutorWindowFrame_;
};

constexpr auto rawValueTable(WorkspaceRouter::Page) {
    using enum WorkspaceRouter::Page;
    return base::rawValues<WorkspaceRouter::Page>({{home, u"home"}, {history, u"history"}, {coach, u"coach"}});
}

// Names the coach window for the selection controller's main-window test, and opens the coach page.
class AuxiliaryWindowController {
public:
    static inline const QString coachIdentifier = QStringLiteral("Orvel.DizUvizi");

    static AuxiliaryWindowController& shared();
    // Opens the coach page of the shared router; the store is not used.
    void showCoach(AppStore& store);
};

}  // namespace velquin

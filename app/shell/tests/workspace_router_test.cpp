// Page routing and the main window's geometry around the coach page, on a fake screen.
#include <gtest/gtest.h>

#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/workspace_router.h"

using namespace storetest;
using Page = WorkspaceRouter::Page;

namespace {

constexpr WindowSystem::WindowId kMain = 1;

class WorkspaceRouterTest : public ::testing::Test {
protected:
    WorkspaceRouterTest() : router(windows, scheduler, [this] { return compactView; }) {}

    // The main window at `frame` on a screen whose visible frame is `visible`.
    void setUp(const QRectF& visible, const QRectF& frame) {
        windows->screen = visible;
        windows->list.clear();
        windows->add(kMain, workspaceWindowIdentifier, frame);
        windows->calls.clear();
    }
    QRectF frame() { return windows->find(kMain)->frame; }
    void openAndSettle(Page page) {
        router.open(page);
        scheduler->runPosted();
    }

    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    bool compactView = false;
    WorkspaceRouter router;
};

}  // namespace

TEST_F(WorkspaceRouterTest, PagesHaveTheirRawValues) {
    EXPECT_EQ(base::allCases<WorkspaceRouter::Page>(), (QList<Page>{Page::home, Page::history, Page::coach}));
    for (const Page page : base::allCases<Page>()) EXPECT_EQ(base::fromRawValue<Page>(base::rawValue(page)), page);
    EXPECT_EQ(base::rawValue(Page::coach), QStringLiteral("coach"));
    EXPECT_FALSE(base::fromRawValue<WorkspaceRouter::Page>(QStringLiteral("Home")));
    EXPECT_EQ(AuxiliaryWindowController::coachIdentifier, QStringLiteral("Orvel.DizUvizi"));
}

TEST_F(WorkspaceRouterTest, OpeningTheCurrentPageTouchesNoWindow) {
    setUp(QRectF(0, 0, 1920, 1080), QRectF(100, 100, 1000, 700));
    windows->active = false;
    router.open(Page::home);
    EXPECT_EQ(scheduler->pendingPosts(), 0);
    EXPECT_TRUE(windows->calls.isEmpty());
    EXPECT_EQ(router.page(), Page::home);
}

TEST_F(WorkspaceRouterTest, SwitchingBringsTheMainWindowForward) {
    setUp(QRectF(0, 0, 1920, 1080), QRectF(100, 100, 1000, 700));
    openAndSettle(Page::history);  // visible and active: nothing to do
    EXPECT_TRUE(windows->calls.isEmpty());

    windows->active = false;
    openAndSettle(Page::home);
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("activate")});

    windows->calls.clear();
    compactView = true;
    openAndSettle(Page::history);
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("openWorkspace")});

    compactView = false;
    windows->calls.clear();
    windows->hidden = true;
    openAndSettle(Page::home);
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("openWorkspace")});

    windows->calls.clear();
    windows->hidden = false;
    windows->find(kMain)->isVisible = false;
    openAndSettle(Page::history);
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("openWorkspace")});
}

TEST_F(WorkspaceRouterTest, CoachGeometryFollowsTheTable) {
    struct Row {
        QRectF visible;
        QRectF window;
        QRectF expected;
    };
    const Row rows[] = {
        // Large screen: 1340 x 810 centred on the inset area.
        {QRectF(0, 25, 1920, 1055), QRectF(100, 100, 1000, 700), QRectF(290, 147.5, 1340, 810)},
        // Smaller screen: the window fills the inset area.
        {QRectF(0, 0, 1280, 800), QRectF(100, 100, 1000, 700), QRectF(16, 14, 1248, 772)},
        // Too small (818 x 612 after the insets): the frame stays.
        {QRectF(0, 0, 850, 640), QRectF(5, 10, 840, 560), QRectF(5, 10, 840, 560)},
        // Already within 8 points of the wanted size: the frame stays, even when larger.
        {QRectF(0, 0, 1920, 1080), QRectF(50, 60, 1335, 805), QRectF(50, 60, 1335, 805)},
        {QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1600, 1000), QRectF(0, 0, 1600, 1000)},
        // Larger in one direction only: both directions take the wanted size.
        {QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1600, 700), QRectF(290, 135, 1340, 810)},
    };
    for (const Row& row : rows) {
        setUp(row.visible, row.window);
        router.returnHome();
        scheduler->runPosted();
        windows->calls.clear();
        openAndSettle(Page::coach);
        EXPECT_EQ(frame(), row.expected) << "screen " << row.visible.width() << "x" << row.visible.height();
        openAndSettle(Page::home);
        EXPECT_EQ(frame(), row.window) << "back from the coach page";
    }
}

TEST_F(WorkspaceRouterTest, LeavingTheCoachPageRestoresTheSavedFrameWithinTheVisibleFrame) {
    struct Row {
        QRectF saved;
        QRectF expected;
    };
    const QRectF visible(0, 30, 1440, 870);
    const Row rows[] = {
        {QRectF(200, 100, 1000, 700), QRectF(200, 100, 1000, 700)},
        // Below the smallest restored size.
        {QRectF(200, 100, 600, 400), QRectF(200, 100, 840, 560)},
        // Sticking out past the right and bottom edges.
        {QRectF(1000, 600, 900, 600), QRectF(540, 300, 900, 600)},
        // Left of and above the visible frame.
        {QRectF(-300, -50, 900, 600), QRectF(0, 30, 900, 600)},
        // Larger than the visible frame.
        {QRectF(0, 0, 2000, 1200), QRectF(0, 30, 1440, 870)},
    };
    for (const Row& row : rows) {
        setUp(visible, row.saved);
        EXPECT_EQ(router.frameToKeep(), std::nullopt);
        openAndSettle(Page::coach);
        // What a quit on the coach page keeps for the next start.
        EXPECT_EQ(router.frameToKeep(), std::optional<QRectF>(row.expected));
        openAndSettle(Page::history);
        EXPECT_EQ(router.frameToKeep(), std::nullopt);
        EXPECT_EQ(frame(), row.expected) << "saved " << row.saved.x() << "," << row.saved.y();
        openAndSettle(Page::home);
    }
}

TEST_F(WorkspaceRouterTest, EnteringAndLeavingBeforeTheWindowWorkRunsOnlyRestores) {
    setUp(QRectF(0, 0, 1920, 1080), QRectF(100, 100, 600, 400));
    router.open(Page::coach);
    // Moved by the user meanwhile.
    windows->find(kMain)->frame = QRectF(300, 300, 700, 500);
    router.open(Page::home);
    scheduler->runPosted();
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("frame 1")});
    EXPECT_EQ(frame(), QRectF(100, 100, 840, 560));
    EXPECT_EQ(router.page(), Page::home);
}

TEST_F(WorkspaceRouterTest, FullScreenChangesNoFrameAndDropsTheSavedOne) {
    setUp(QRectF(0, 0, 1920, 1080), QRectF(100, 100, 1000, 700));
    windows->find(kMain)->isFullScreen = true;
    openAndSettle(Page::coach);
    openAndSettle(Page::home);
    EXPECT_TRUE(windows->calls.isEmpty());

    // The saved frame was used up: leaving the coach page again later restores nothing old.
    windows->find(kMain)->isFullScreen = false;
    windows->list.first().isSheet = true;  // no usable main window on entry: nothing is saved
    openAndSettle(Page::coach);
    windows->list.first().isSheet = false;
    openAndSettle(Page::history);
    EXPECT_TRUE(windows->calls.isEmpty());
}

TEST_F(WorkspaceRouterTest, ShowCoachOpensTheCoachPageOfTheSharedRouter) {
    AuxiliaryWindowController::shared().showCoach(AppStore::shared());
    EXPECT_EQ(WorkspaceRouter::shared().page(), Page::coach);
    WorkspaceRouter::shared().returnHome();
    EXPECT_EQ(WorkspaceRouter::shared().page(), Page::home);
}

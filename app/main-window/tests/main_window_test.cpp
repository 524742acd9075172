// The main window offscreen: its sizes per presentation, the sheets bound to the store, the menu,
// the sidebar's routing and switch, and the tour hooks of the workspace.
#include <gtest/gtest.h>

#include <QDialog>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/main-window/application_parts.h"
#include "app/main-window/coach_page.h"
#include "app/main-window/content_view.h"
#include "app/main-window/main_window.h"
#include "app/main-window/sheet_binding.h"
#include "app/main-window/sidebar.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/switch_toggle.h"
#include "app/shell/tests/fake_selection_controller.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/workspace_router.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"

namespace velquin {
namespace {

using Page = WorkspaceRouter::Page;
using Sheet = MainWindow::Sheet;

class MainWindowTest : public storetest::StoreFixture {
protected:
    MainWindowTest() : coach(defaults) {}

    // Sheets made by the test's factories, by flag order.
    void bindAllSheets() {
        for (auto factory :
             {&ApplicationParts::settingsSheet, &ApplicationParts::privacyConsentSheet, &ApplicationParts::accountSheet,
              &ApplicationParts::captureGuideSheet, &ApplicationParts::directSelectionSettingsSheet}) {
            parts.*factory = [this](AppStore&, QWidget* parent) {
                ++sheetsMade;
                return new QDialog(parent);
            };
        }
    }

    MainWindow& window() {
        if (!window_) {
            router = std::make_unique<WorkspaceRouter>(windows, scheduler,
                                                       [this] { return store().selectionPresentation(); });
            window_ = std::make_unique<MainWindow>(store(), *router, selection, coach, parts, defaults);
        }
        return *window_;
    }
    Sidebar& sidebar() { return *window().contentView()->sidebar(); }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    OrvelNativeCoach coach;
    storetest::FakeSelectionController selection;
    ApplicationParts parts;
    std::unique_ptr<WorkspaceRouter> router;
    int sheetsMade = 0;

private:
    std::unique_ptr<MainWindow> window_;
};

struct FlagRow {
    Sheet sheet;
    bool (AppStore::*read)() const;
    void (AppStore::*write)(bool);
};

const QList<FlagRow> kFlags{
    {Sheet::settings, &AppStore::showSettings, &AppStore::setShowSettings},
    {Sheet::privacyConsent, &AppStore::showPrivacyConsent, &AppStore::setShowPrivacyConsent},
    {Sheet::accountLogin, &AppStore::showAccountLogin, &AppStore::setShowAccountLogin},
    {Sheet::captureGuide, &AppStore::showCaptureGuide, &AppStore::setShowCaptureGuide},
    {Sheet::directSelectionSettings, &AppStore::showDirectSelectionSettings, &AppStore::setShowDirectSelectionSettings},
};

// Each flag opens its own window-modal sheet on the main window; closing the sheet clears the
// flag, clearing the flag closes the sheet; an unbuilt sheet leaves its flag alone.
TEST_F(MainWindowTest, SheetsFollowTheirStoreFlags) {
    bindAllSheets();
    parts.accountSheet = nullptr;
    window().show();
    for (const FlagRow& row : kFlags) {
        SCOPED_TRACE(int(row.sheet));
        SheetBinding* binding = window().sheet(row.sheet);
        (store().*row.write)(true);
        if (row.sheet == Sheet::accountLogin) {
            EXPECT_FALSE(binding->isBound());
            EXPECT_EQ(binding->sheet(), nullptr);
            EXPECT_TRUE((store().*row.read)());
            (store().*row.write)(false);
            continue;
        }
        QPointer<QDialog> sheet = binding->sheet();
        ASSERT_TRUE(sheet);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(sheet->parentWidget(), &window());
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        sheet->reject();  // Escape, a close button, the window's close
        EXPECT_FALSE((store().*row.read)());
        EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }));

        (store().*row.write)(true);
        sheet = binding->sheet();
        ASSERT_TRUE(sheet);
        (store().*row.write)(false);
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(binding->sheet(), nullptr);
        EXPECT_FALSE((store().*row.read)());
    }
    EXPECT_EQ(sheetsMade, 8);
}

// A closed sheet waiting for its deletion that closes once more leaves the flag and the sheet shown
// after it alone; a sheet still open when the window goes is closed without calling back into it.
TEST_F(MainWindowTest, OnlyASheetsFirstCloseClearsItsFlag) {
    bindAllSheets();
    window().show();
    SheetBinding* binding = window().sheet(Sheet::settings);
    store().setShowSettings(true);
    QPointer<QDialog> first = binding->sheet();
    ASSERT_TRUE(first);
    first->reject();
    store().setShowSettings(true);
    QPointer<QDialog> second = binding->sheet();
    ASSERT_TRUE(first && second && second != first);
    first->reject();
    EXPECT_TRUE(store().showSettings());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(binding->sheet(), second);
}

// The workspace and the compact selection view have their own minimum and ideal sizes; the
// window keeps its frame between runs and falls back to the ideal size.
TEST_F(MainWindowTest, SizesFollowThePresentationAndTheFrameIsKept) {
    window().show();
    const int menu = window().menuBar()->sizeHint().height();
    const auto shrink = [this] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        window().resize(10, 10);
    };
    EXPECT_EQ(window().idealSize(), QSize(1040, 800 + menu));
    shrink();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().centralWidget()->size() == QSize(840, 650); }))
        << window().centralWidget()->size().width() << "x" << window().centralWidget()->size().height();

    store().setSelectionPresentation(true);
    EXPECT_EQ(window().idealSize(), QSize(480, 520 + menu));
    EXPECT_FALSE(window().contentView()->isVisible());
    EXPECT_TRUE(window().selectionView()->isVisible());
    shrink();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().centralWidget()->size() == QSize(420, 420); }));
    store().setSelectionPresentation(false);
    EXPECT_TRUE(window().contentView()->isVisible());

    window().setGeometry(30, 40, 900, 700);
    window().saveFrame();
    EXPECT_EQ(defaults.string(MainWindow::frameKey()), QStringLiteral("30 40 900 700"));
    window().resize(1000, 1000);
    window().restoreFrame();
    EXPECT_EQ(window().geometry(), QRect(30, 40, 900, 700));
    for (const char* stored : {"nonsense", "-90000 -90000 900 700", "1 2 3"}) {
        defaults.setString(MainWindow::frameKey(), QString::fromLatin1(stored));
        window().restoreFrame();
        EXPECT_EQ(window().size(), window().idealSize()) << stored;
    }
    // That size is the program's: in Chinese, whose lines are taller, it takes the ideal size of
    // the language; a size the person gave the window stays whatever the language.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().height() > 800 + menu; })) << window().height();
    EXPECT_EQ(window().size(), window().idealSize());
    window().resize(1000, 700);
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    QCoreApplication::processEvents();
    EXPECT_EQ(window().size(), QSize(1000, 700));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);

    // On a laptop's screen, a frame kept from a larger one and a size larger than the screen stay
    // inside the screen's available area.
    const QScreen* laptop = nullptr;
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->name() == QLatin1String("laptop-1024x768")) laptop = screen;
    ASSERT_TRUE(laptop);
    const QRect area = laptop->availableGeometry();
    defaults.setString(MainWindow::frameKey(), QStringLiteral("%1 300 1040 819").arg(area.x() + 200));
    window().restoreFrame();
    QCoreApplication::processEvents();
    EXPECT_TRUE(area.contains(window().frameGeometry()));
    EXPECT_EQ(window().screen(), laptop);
    window().resize(1040, 840);
    EXPECT_TRUE(area.contains(window().frameGeometry()));
    EXPECT_GE(window().height(), window().minimumHeight());

    // On a screen smaller than the window's least size the window fits the screen and its content,
    // kept at its own least size, scrolls.
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() != QLatin1String("small-800x600")) continue;
        window().move(screen->availableGeometry().topLeft());
        window().resize(1040, 840);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_TRUE(screen->availableGeometry().contains(window().frameGeometry()));
        EXPECT_GE(window().contentView()->width(), ContentView::minimumWidth);
        EXPECT_GE(window().contentView()->height(), MainWindow::workspaceMinimum.height());
        auto* scroller = qobject_cast<QScrollArea*>(window().centralWidget());
        ASSERT_TRUE(scroller);
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return scroller->verticalScrollBar()->maximum() > 0 && scroller->horizontalScrollBar()->maximum() > 0;
        }));
    }
}

TEST_F(MainWindowTest, MenuCommands) {
    EXPECT_EQ(window().settingsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(window().captureAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    EXPECT_EQ(window().quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    window().settingsAction()->trigger();
    EXPECT_TRUE(store().showSettings());
    window().directSettingsAction()->trigger();
    EXPECT_EQ(selection.calls, QStringList{"directSettings"});

    store().captureScreenText();
    ASSERT_TRUE(store().isBusy());
    EXPECT_FALSE(window().captureAction()->isEnabled());
    EXPECT_TRUE(window().directSettingsAction()->isEnabled());
    store().cancel();
    EXPECT_TRUE(window().captureAction()->isEnabled());
    window().captureAction()->trigger();
    EXPECT_TRUE(store().showCaptureGuide());
    EXPECT_FALSE(store().showSettings());
}

// The coach page is built when first opened; the window keeps the workspace's least size then,
// the tutor's host taking what the page's header leaves of it although its screen asks for more.
TEST_F(MainWindowTest, CoachPageBuiltOnFirstUseKeepsTheLeastSize) {
    parts.coachHost = [](AppStore&, std::function<void()>, QWidget* parent) {
        auto* host = new QWidget(parent);
        (new QVBoxLayout(host))->addWidget(new QWidget(host));
        host->layout()->itemAt(0)->widget()->setMinimumHeight(600);
        return host;
    };
    window().show();
    EXPECT_EQ(window().centralWidget()->minimumHeight(), MainWindow::workspaceMinimum.height());
    router->open(Page::coach);
    ASSERT_TRUE(window().contentView()->coachPage()->isVisible());
    EXPECT_EQ(window().centralWidget()->minimumHeight(), MainWindow::workspaceMinimum.height());
    window().resize(10, 10);
    const QWidget* host = window().contentView()->coachPage()->layout()->itemAt(1)->widget();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return host->height() == MainWindow::workspaceMinimum.height() - CoachPage::headerHeight;
    })) << host->height();
}

// The sidebar's rows route and open sheets; the coach page has no sidebar and leads back itself.
TEST_F(MainWindowTest, SidebarRoutesAndCoachPageLeadsBack) {
    window().show();
    ContentView& content = *window().contentView();
    const auto selectedRows = [&] {
        QStringList titles;
        for (SidebarRow* row : sidebar().rows())
            if (row->property("selected").toBool()) titles.append(row->sourceTitle());
        return titles;
    };
    EXPECT_EQ(selectedRows(), QStringList{"学习首页"});

    click(sidebar().row(QStringLiteral("学习历史")));
    EXPECT_EQ(router->page(), Page::history);
    EXPECT_EQ(selectedRows(), QStringList{"学习历史"});
    EXPECT_EQ(content.pages()->currentWidget(), reinterpret_cast<QWidget*>(content.historyPage()));

    click(sidebar().row(QStringLiteral("AI 老师")));
    EXPECT_EQ(router->page(), Page::coach);
    EXPECT_FALSE(content.sidebar()->isVisible());
    EXPECT_FALSE(content.sidebarDivider()->isVisible());
    click(content.coachPage()->historyButton());
    EXPECT_EQ(router->page(), Page::history);
    EXPECT_TRUE(content.sidebar()->isVisible());
    click(sidebar().row(QStringLiteral("AI 老师")));
    click(content.coachPage()->backButton());
    EXPECT_EQ(router->page(), Page::home);
    EXPECT_TRUE(content.sidebarDivider()->isVisible());
    click(sidebar().row(QStringLiteral("AI 老师")));
    click(content.coachPage()->accountButton());
    EXPECT_TRUE(store().showAccountLogin());
    store().setShowAccountLogin(false);

    const QList<std::pair<QString, bool (AppStore::*)() const>> auxiliary{
        {QStringLiteral("划词设置"), &AppStore::showDirectSelectionSettings},
        {QStringLiteral("个人账户"), &AppStore::showAccountLogin},
        {QStringLiteral("设置"), &AppStore::showSettings},
    };
    click(content.coachPage()->backButton());
    for (const auto& [title, flag] : auxiliary) {
        click(sidebar().row(title));
        EXPECT_TRUE((store().*flag)()) << title.toStdString();
        EXPECT_FALSE(sidebar().row(title)->isSelected());
    }
    EXPECT_EQ(router->page(), Page::home);
}

struct SwitchRow {
    const char* name;
    bool enabledBefore;
    bool trusted;
    bool opensSettings;
};

// The switch turns automatic selection on or off first; only turning it on without the
// accessibility permission opens the select-anywhere settings. The orange hint shows exactly
// while selection is on without the permission. A change made elsewhere is shown, not sent back.
TEST_F(MainWindowTest, SelectionSwitchAndPermissionHint) {
    const QList<SwitchRow> rows{
        {"on without permission", false, false, true},
        {"on with permission", false, true, false},
        {"off without permission", true, false, false},
        {"off with permission", true, true, false},
    };
    window().show();
    for (const SwitchRow& row : rows) {
        SCOPED_TRACE(row.name);
        selection.calls.clear();
        selection.enabled = row.enabledBefore;
        selection.setTrusted(row.trusted);
        emit selection.isEnabledChanged(row.enabledBefore);
        EXPECT_TRUE(selection.calls.isEmpty());
        store().setShowDirectSelectionSettings(false);
        EXPECT_EQ(sidebar().permissionHint()->isVisible(), row.enabledBefore && !row.trusted);

        click(sidebar().selectionSwitch());
        EXPECT_EQ(selection.calls, QStringList{row.enabledBefore ? "enable off" : "enable on"});
        EXPECT_EQ(store().showDirectSelectionSettings(), row.opensSettings);
        EXPECT_EQ(sidebar().selectionSwitch()->isChecked(), !row.enabledBefore);
        EXPECT_EQ(sidebar().permissionHint()->isVisible(), !row.enabledBefore && !row.trusted);
    }
    store().setShowDirectSelectionSettings(false);
    click(sidebar().permissionHint());
    EXPECT_TRUE(store().showDirectSelectionSettings());
}

// The tour moves on with what happens in the window, and its tip shows only at its first two
// steps; each time the workspace comes on screen the account refresh runs.
TEST_F(MainWindowTest, TourFollowsTheWorkspace) {
    int refreshes = 0;
    parts.refreshSignedInAccount = [&refreshes] { ++refreshes; };
    coach.startOnFirstSetup();
    window().show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return refreshes == 1; }));
    ASSERT_NE(sidebar().tip(), nullptr);

    selection.enabled = true;
    emit selection.isEnabledChanged(true);
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::selection) << "no permission yet";
    selection.setTrusted(true);
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::selectSentence);
    ASSERT_NE(sidebar().tip(), nullptr);
    const QString selectTip = sidebar().tip()->message();

    store().setAnswer(tamsel::ModelAnswer{QStringLiteral("An answer"), std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::selectSentence) << "an answer without a source";
    store().setSource(QStringLiteral("Opportunity cost"));
    store().setAnswer(
        tamsel::ModelAnswer{QStringLiteral("The next best alternative."), std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::handoff);
    EXPECT_EQ(sidebar().tip(), nullptr);

    router->open(Page::coach);
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::classroom);

    store().setSelectionPresentation(true);
    store().setSelectionPresentation(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return refreshes == 2; }));
    EXPECT_EQ(refreshes, 2);
    EXPECT_FALSE(selectTip.isEmpty());
}

}  // namespace
}  // namespace velquin

// The controller's start, monitors, switches, status menu and main-window recognition.
#include <gtest/gtest.h>

#include "app/select-anywhere/tests/selection_test_doubles.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"
#include "platform/selection_service_provider.h"

using namespace selectiontest;
using namespace std::chrono_literals;
using Phase = tamsel::SelectionInteraction::Phase;

namespace {

const QString retryStatus = QStringLiteral("开关已开启，但鼠标监听未启动；可点“重试监听一次”");

using ControllerTest = ControllerFixture;

// Offers an icon for a read selection, as a gesture in the editor does.
void offerIcon(ControllerFixture& f) {
    f.drag({0, 100}, {80, 100});
    f.timeline->advance(200ms);
    ASSERT_EQ(f.controller().interaction().phase, Phase::icon);
}

}  // namespace

TEST_F(ControllerTest, StartOnceLoadsTheSwitchesAndInstallsTheMonitors) {
    EXPECT_EQ(controller().activityStatus(), DirectSelectionController::initialActivityStatus);
    controller().refreshAuthorization();  // before start: nothing
    EXPECT_EQ(monitors->globalStarts, 0);
    EXPECT_TRUE(statusItem->menu.isEmpty());

    started();
    controller().start();
    EXPECT_EQ(monitors->globalStarts, 1);
    EXPECT_TRUE(monitors->local);
    EXPECT_TRUE(statusItem->shown);
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_TRUE(controller().authorizationTrusted());
    EXPECT_TRUE(controller().browserSelectionEnabled());
    // A store without the compatibility switch gets it on, with the migration marker.
    EXPECT_TRUE(controller().compatibilityCopyEnabled());
    EXPECT_EQ(defaults.integer(halvern::SelectionClipboardReader::migrationVersionKey), 1);
    EXPECT_EQ(controller().permissionStatus(), QStringLiteral("划词 AI 图标已开启"));
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("鼠标监听已创建。请先单击文本编辑器，再拖选一段文字。"));

    controller().stop();
    EXPECT_FALSE(statusItem->shown);
    EXPECT_FALSE(monitors->global);
    EXPECT_FALSE(monitors->local);
    timeline->advance(5s);
    EXPECT_EQ(monitors->globalStarts, 1);
}

TEST_F(ControllerTest, AFailedMonitorIsRetriedOnlyOnRequestAndExactlyOnce) {
    monitors->globalWorks = false;
    started();
    EXPECT_EQ(monitors->globalStarts, 1);
    EXPECT_EQ(controller().activityStatus(),
              QStringLiteral("监听启动失败，已停止自动重试；开关保持开启。可手动点“重试监听一次”。"));
    EXPECT_EQ(controller().permissionStatus(), retryStatus);
    // Neither the timer nor an activation tries again.
    timeline->advance(5s);
    desktop->activation(terminal);
    timeline->runPosted();
    EXPECT_EQ(monitors->globalStarts, 1);

    controller().retryMonitoringOnce();
    EXPECT_EQ(monitors->globalStarts, 2);
    timeline->advance(5s);
    EXPECT_EQ(monitors->globalStarts, 2);

    monitors->globalWorks = true;
    controller().setEnabled(false);
    controller().setEnabled(true);  // switching off and on allows one attempt again
    EXPECT_EQ(monitors->globalStarts, 3);
    EXPECT_EQ(controller().automaticState().monitorStartAttempts, 3);

    controller().setEnabled(false);
    controller().retryMonitoringOnce();
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("请先开启自动划词。"));
    EXPECT_EQ(monitors->globalStarts, 3);
}

TEST_F(ControllerTest, LosingTrustRemovesTheMonitorAndDismissesOnlyAnAutomaticSelection) {
    started();
    offerIcon(*this);
    desktop->trusted = false;
    timeline->advance(1s);
    EXPECT_FALSE(monitors->global);
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("辅助功能尚未授权，无法读取选区。"));
    EXPECT_EQ(controller().diagnostics().presentationHistory.last(),
              QStringLiteral("结束：自动划词暂停、范围或权限变化"));

    // Trust comes back: the attempt already made keeps the monitor off until a retry.
    desktop->trusted = true;
    timeline->advance(1s);
    EXPECT_FALSE(monitors->global);
    EXPECT_EQ(controller().permissionStatus(), retryStatus);
    controller().retryMonitoringOnce();
    EXPECT_TRUE(monitors->global);

    // A selection shown from the menu stays when trust goes.
    controller().showPanelTest();
    desktop->trusted = false;
    timeline->advance(1s);
    EXPECT_FALSE(monitors->global);
    EXPECT_EQ(interaction().phase, Phase::result);
}

TEST_F(ControllerTest, SwitchingOnWithoutTrustWaitsForIt) {
    defaults.setBool(DirectSelectionController::enabledKey, false);
    desktop->trusted = false;
    started();
    controller().setEnabled(true);
    EXPECT_TRUE(defaults.boolean(DirectSelectionController::enabledKey));
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("辅助功能尚未授权，无法读取选区。"));
    EXPECT_EQ(monitors->globalStarts, 0);
    desktop->trusted = true;
    timeline->advance(1s);
    EXPECT_EQ(monitors->globalStarts, 1);
    EXPECT_EQ(controller().permissionStatus(), QStringLiteral("划词 AI 图标已开启"));
}

TEST_F(ControllerTest, TheSwitchesAreStoredAndCloseAnAutomaticSelection) {
    started();
    offerIcon(*this);
    controller().setEnabled(true);  // unchanged: nothing at all
    EXPECT_EQ(interaction().phase, Phase::icon);

    controller().setBrowserSelectionEnabled(false);
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_FALSE(defaults.boolean(tamsel::SelectionSourcePolicy::browserPreferenceKey));
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("浏览器划词已关闭；其他普通应用仍按自动划词开关工作。"));

    controller().setCompatibilityCopyEnabled(false);
    EXPECT_EQ(defaults.boolValue(halvern::SelectionClipboardReader::preferenceKey), std::optional<bool>(false));

    offerIcon(*this);
    controller().setEnabled(false);
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_FALSE(defaults.boolean(DirectSelectionController::enabledKey));
    EXPECT_FALSE(monitors->global);
}

TEST_F(ControllerTest, ActivationOfAnotherProgramClosesTheSelectionButNotOfThisOne) {
    started();
    offerIcon(*this);
    desktop->activation(SourceApplication{ownPID, QStringLiteral("Orvel"), QStringLiteral("orvel")});
    timeline->runPosted();
    EXPECT_EQ(interaction().phase, Phase::icon);
    desktop->activation(terminal);
    timeline->runPosted();
    EXPECT_EQ(interaction().phase, Phase::idle);

    // The manual read then takes the last other program that was active.
    desktop->frontmost = SourceApplication{ownPID, QStringLiteral("Orvel"), QStringLiteral("orvel")};
    controller().readSelection(false);
    timeline->runPosted();
    EXPECT_EQ(readers->accessibilityReads.last(), terminal.processIdentifier);
}

// No active window (on a Wayland session: a native window was activated, whose clicks the monitor
// does not see) closes what was shown for a source once it lasts; a moment without one, as a window
// manager leaves while it moves the focus, closes nothing.
TEST_F(ControllerTest, NoActiveWindowClosesTheSelectionOnlyWhenItLasts) {
    const SourceApplication orvel{ownPID, QStringLiteral("Orvel"), QStringLiteral("orvel")};
    struct Row {
        const char* name;
        std::function<void(ControllerTest&)> show;
        std::optional<SourceApplication> activeAfterwards;  // before the moment is over
        Phase expected;
    };
    const QList<Row> rows{
        {"the bulb, then a native window", [](ControllerTest& t) { offerIcon(t); }, std::nullopt, Phase::idle},
        {"the answer panel, then a native window",
         [&orvel](ControllerTest& t) {
             offerIcon(t);
             t.controller().openSelectionIcon();
             t.desktop->activation(orvel);
         },
         std::nullopt, Phase::idle},
        {"the bulb, the focus passing back to the source", [](ControllerTest& t) { offerIcon(t); }, editor,
         Phase::icon},
        {"the bulb, the focus passing to this program's panel", [](ControllerTest& t) { offerIcon(t); }, orvel,
         Phase::icon},
        {"a text handed over through the command (no source)",
         [](ControllerTest& t) {
             t.controller().receiveServiceSelection(
                 halvern::SelectionRequest{QStringLiteral("handed over"), tamsel::StudyMode::explain});
         },
         std::nullopt, Phase::result},
    };
    started();
    for (const Row& row : rows) {
        controller().dismiss();
        desktop->frontmost = editor;
        row.show(*this);
        timeline->runPosted();
        const Phase shown = interaction().phase;
        desktop->frontmost.reset();
        desktop->activation(std::nullopt);
        timeline->advance(DirectSelectionController::noActiveWindowSettle / 2);
        EXPECT_EQ(interaction().phase, shown) << row.name << ": closed at once";
        desktop->frontmost = row.activeAfterwards;
        timeline->advance(DirectSelectionController::noActiveWindowSettle);
        EXPECT_EQ(interaction().phase, row.expected) << row.name;
    }

    // A new selection made meanwhile is not the one the moment was about.
    controller().dismiss();
    desktop->frontmost = editor;
    offerIcon(*this);
    desktop->activation(std::nullopt);
    timeline->runPosted();
    offerIcon(*this);
    desktop->frontmost.reset();
    timeline->advance(DirectSelectionController::noActiveWindowSettle);
    EXPECT_EQ(interaction().phase, Phase::icon);
}

// A source that ends takes what is pending or shown for it along, though no other window became
// active (the X server may give a new program's window the ended one's id); another program's end
// closes nothing.
TEST(SourceEnd, ASourceThatEndsTakesItsSelectionAlong) {
    struct Row {
        const char* name;
        std::function<void(ControllerHarness&)> show;
        qint32 ending;
        Phase expected;
    };
    const QList<Row> rows{
        {"the wait",
         [](ControllerHarness& t) {
             t.drag({0, 100}, {80, 100});
         },
         editor.processIdentifier, Phase::idle},
        {"the read",
         [](ControllerHarness& t) {
             t.timeline->blockingRunsAtOnce = false;
             t.drag({0, 100}, {80, 100});
             t.timeline->advance(200ms);
         },
         editor.processIdentifier, Phase::idle},
        {"the bulb", [](ControllerHarness& t) { offerIcon(t); }, editor.processIdentifier, Phase::idle},
        {"the terminal's bulb, the editor ending",
         [](ControllerHarness& t) {
             t.desktop->frontmost = terminal;
             t.drag({0, 100}, {80, 100}, terminal.processIdentifier);
             t.timeline->advance(200ms);
         },
         editor.processIdentifier, Phase::icon},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ControllerHarness test;
        test.started();
        row.show(test);
        test.desktop->end(row.ending);
        EXPECT_EQ(test.interaction().phase, row.expected);
        test.timeline->finishJobs();
        test.timeline->advance(200ms);  // nothing the source sent before its end comes back
        EXPECT_EQ(test.interaction().phase, row.expected);
        if (row.expected == Phase::idle) {
            EXPECT_EQ(test.controller().diagnostics().presentationHistory.last(),
                      QStringLiteral("结束：取字前后来源失焦或退出"));
        }
        test.controller().dismiss();
        EXPECT_EQ(test.desktop->watched, 0);
    }
}

// The menu's entries per state and language: titles, enabled flags, and what the toggle does.
TEST_F(ControllerTest, TheStatusMenuFollowsTheStateAndTheLanguage) {
    struct Row {
        InterfaceLanguage language;
        std::function<void(ControllerTest&)> state;
        QStringList titles;  // the status line, the toggle, then the last item
    };
    const QList<Row> rows{
        {InterfaceLanguage::chinese,
         [](ControllerTest&) {},
         {QStringLiteral("划词 AI 图标已开启"), QStringLiteral("暂停直接划词"), QStringLiteral("退出 Orvel")}},
        {InterfaceLanguage::english,
         [](ControllerTest& t) { t.controller().setEnabled(false); },
         {QStringLiteral("Select anywhere paused"), QStringLiteral("Enable highlighting"),
          QStringLiteral("Quit Orvel")}},
        {InterfaceLanguage::french,
         [](ControllerTest& t) {
             t.desktop->trusted = false;
             t.controller().setEnabled(true);
         },
         {UIStrings::shown(QStringLiteral("开关已开启，正在等待辅助功能授权；尚未监听"), InterfaceLanguage::french),
          QStringLiteral("Mettre le surlignage en pause"), QStringLiteral("Quitter Orvel")}},
        {InterfaceLanguage::french,
         [](ControllerTest& t) {
             t.desktop->trusted = true;
             t.desktop->wayland = true;  // with XWayland
             t.controller().refreshAuthorization();
         },
         {QStringLiteral("Icône IA de sélection activée (programmes X11 seulement dans une session Wayland)"),
          QStringLiteral("Mettre le surlignage en pause"), QStringLiteral("Quitter Orvel")}},
        {InterfaceLanguage::english,
         [](ControllerTest& t) {
             t.desktop->nativeAccess = halvern::ShellPointer::Access::disabled;  // GNOME, extension off
             t.controller().refreshAuthorization();
         },
         {QStringLiteral("Selection AI icon is on (native Wayland windows need the GNOME extension)"),
          QStringLiteral("Pause highlighting"), QStringLiteral("Quit Orvel")}},
        {InterfaceLanguage::english,
         [](ControllerTest& t) {
             t.desktop->nativeAccess = halvern::ShellPointer::Access::active;
             t.controller().refreshAuthorization();
         },
         {QStringLiteral("Selection AI icon is on"), QStringLiteral("Pause highlighting"),
          QStringLiteral("Quit Orvel")}},
        {InterfaceLanguage::english,
         [](ControllerTest& t) {
             t.desktop->monitoring = false;  // a Wayland session without XWayland
             t.controller().refreshAuthorization();
         },
         {QStringLiteral("Automatic selection isn't available in this desktop session (X11 or XWayland needed)"),
          QStringLiteral("Pause highlighting"), QStringLiteral("Quit Orvel")}},
    };
    started();
    for (const Row& row : rows) {
        InterfaceSettings::shared().setLanguage(row.language);
        row.state(*this);
        timeline->runPosted();
        const QList<SelectionMenuEntry>& menu = statusItem->menu;
        ASSERT_EQ(menu.size(), 11);
        EXPECT_EQ(menu[0].title, row.titles[0]);
        EXPECT_FALSE(menu[0].enabled);
        EXPECT_FALSE(menu[0].action);
        EXPECT_EQ(menu[1].title, row.titles[1]);
        EXPECT_TRUE(menu[9].isSeparator());
        EXPECT_EQ(menu[10].title, row.titles[2]);
        for (int i = 1; i <= 10; ++i)
            if (i != 9) {
                EXPECT_TRUE(menu[i].enabled && menu[i].action) << i;
            }
        EXPECT_EQ(statusItem->toolTip, QStringLiteral("Orvel · ") + row.titles[0]);
    }
    EXPECT_EQ(statusItem->menu[7].title, QStringLiteral("Highlight settings…"));
    EXPECT_EQ(statusItem->menu[4].title, QStringLiteral("Show test window (no model request)"));
    EXPECT_EQ(monitors->globalStarts, 2);  // XWayland: one more; no X11 display: no attempt
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    timeline->runPosted();
    EXPECT_EQ(statusItem->menu[1].title, QStringLiteral("暂停直接划词"));
    statusItem->menu[1].action();
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(statusItem->menu[1].title, QStringLiteral("开启直接划词"));
}

TEST_F(ControllerTest, TheMenuOpensTheMainWindowAndTheSettings) {
    windows->add(1, QString()).isPanel = true;  // a panel is never the main window
    windows->add(2, AuxiliaryWindowController::coachIdentifier);
    windows->add(3, QString()).isTitled = false;
    windows->add(4, QString());
    started();
    EXPECT_EQ(windows->find(4)->identifier, DirectSelectionController::workspaceIdentifier);
    EXPECT_TRUE(windows->find(1)->identifier.isEmpty());

    offerIcon(*this);
    statusItem->menu[7].action();  // settings
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_TRUE(store().showDirectSelectionSettings());
    EXPECT_EQ(windows->calls.mid(windows->calls.size() - 3),
              (QStringList{QStringLiteral("show"), QStringLiteral("raise 4"), QStringLiteral("activate")}));
    controller().handleReopen();
    EXPECT_EQ(controller().diagnostics().reopenCount, 1);
    EXPECT_EQ(windows->calls.last(), QStringLiteral("activate"));
}

TEST_F(ControllerTest, TheIconTestOpensItsSampleOnceAsALocalPreview) {
    started();
    controller().showIconTest();
    EXPECT_EQ(interaction().phase, Phase::icon);
    EXPECT_EQ(controller().windowStatus(), QStringLiteral("AI 图标已置为可见，等待点击"));
    controller().openSelectionIcon();
    controller().openSelectionIcon();  // the second click finds the panel open
    EXPECT_EQ(panels->calls.filter(QStringLiteral("preview Hello world.")).size(), 1);
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("本机显示已保存选区，没有调用模型。"));
    EXPECT_EQ(controller().diagnostics().panelShowCount, 1);

    // A panel the desktop does not show is reported and not counted.
    panels->answer = {};
    controller().showPanelTest();
    EXPECT_EQ(controller().windowStatus(), QStringLiteral("系统没有将小窗置为可见，请重新测试"));
    EXPECT_EQ(controller().diagnostics().panelShowCount, 1);
    // A press in this program's main window closes what is shown.
    monitors->local(QPointF(900, 900));
    timeline->runPosted();
    EXPECT_EQ(interaction().phase, Phase::idle);
}

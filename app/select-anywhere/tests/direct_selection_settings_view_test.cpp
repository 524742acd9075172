// The select-anywhere settings sheet over a controller of test doubles: its size, the shared mode
// picker, the keys that close it, the permission and repair rows and the delayed window tests.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/direct_selection_settings_view.h"
#include "app/select-anywhere/tests/selection_test_doubles.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"

using namespace selectiontest;
using namespace std::chrono_literals;
using velquin::DirectSelectionSettingsView;
using velquin::InterfaceAppearance;
using velquin::InterfaceLanguage;
using velquin::InterfaceSettings;

namespace {

class SettingsSheetTest : public ControllerFixture {
protected:
    void SetUp() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }
    void TearDown() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        InterfaceSettings::shared().setAppearance(InterfaceAppearance::system);
    }

    std::unique_ptr<DirectSelectionSettingsView> sheet(DirectSelectionSettingsView::Callbacks callbacks = {}) {
        started();
        auto view = std::make_unique<DirectSelectionSettingsView>(store(), controller(), defaults, callbacks);
        view->show();
        return view;
    }
    static void press(QWidget* target, int key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
    }
    static int modeIndex(tamsel::StudyMode mode) { return int(base::allCases<tamsel::StudyMode>().indexOf(mode)); }
};

}  // namespace

TEST(SettingsSheetSize, HeightFollowsTheScreenBetweenItsLimits) {
    const std::pair<std::optional<int>, int> rows[] = {{900, 700}, {750, 600}, {560, 480}, {std::nullopt, 700},
                                                       {2000, 700}, {300, 480}};
    for (const auto& [screen, height] : rows)
        EXPECT_EQ(DirectSelectionSettingsView::heightFor(screen), height) << screen.value_or(-1);
}

// The sheet's size follows the screen, not its content: the advanced group opens inside it, and
// its last row scrolls wholly into view.
TEST_F(SettingsSheetTest, KeepsItsSizeAndScrollsToItsLastRow) {
    auto view = sheet();
    const QSize size(DirectSelectionSettingsView::sheetWidth,
                     DirectSelectionSettingsView::heightFor(view->screen()->availableGeometry().height()));
    EXPECT_EQ(view->size(), size);
    EXPECT_FALSE(view->advancedGroup()->isVisible());
    view->advancedToggle()->click();
    EXPECT_TRUE(view->advancedGroup()->isVisible());
    auto* scroll = view->findChild<QScrollArea*>();
    ASSERT_TRUE(scroll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->maximum() > 0; }));
    EXPECT_EQ(view->size(), size);
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    const QPushButton* last = view->settingsButton();
    EXPECT_TRUE(scroll->viewport()->rect().contains(QRect(last->mapTo(scroll->viewport(), QPoint()), last->size())));
}

TEST_F(SettingsSheetTest, StoredModeShowsInBothPickersWithoutBeingRewritten) {
    const std::pair<std::optional<QString>, tamsel::StudyMode> rows[] = {
        {QStringLiteral("explain"), tamsel::StudyMode::explain},
        {QStringLiteral("practice"), tamsel::StudyMode::practice},
        {QStringLiteral("Explain"), tamsel::StudyMode::translate},
        {QString(), tamsel::StudyMode::translate},
        {std::nullopt, tamsel::StudyMode::translate},
    };
    for (const auto& [stored, shown] : rows) {
        if (stored) defaults.setString(velquin::DirectFloatModel::modeKey, *stored);
        else defaults.remove(velquin::DirectFloatModel::modeKey);
        DirectSelectionSettingsView view(store(), controller(), defaults);
        EXPECT_EQ(view.cardModePicker()->currentIndex(), modeIndex(shown)) << stored.value_or("none").toStdString();
        EXPECT_EQ(view.usageModePicker()->currentIndex(), modeIndex(shown));
        EXPECT_EQ(defaults.stringValue(velquin::DirectFloatModel::modeKey), stored);
    }
}

TEST_F(SettingsSheetTest, PickingAModeInOnePickerMovesTheOtherAndStoresIt) {
    defaults.setString(velquin::DirectFloatModel::modeKey, QStringLiteral("Explain"));
    auto view = sheet();
    view->advancedToggle()->click();
    emit view->usageModePicker()->activated(modeIndex(tamsel::StudyMode::practice));
    EXPECT_EQ(view->cardModePicker()->currentIndex(), modeIndex(tamsel::StudyMode::practice));
    EXPECT_EQ(defaults.string(velquin::DirectFloatModel::modeKey), QStringLiteral("practice"));
}

TEST_F(SettingsSheetTest, EscapeLeavesItOpenReturnClosesIt) {
    auto view = sheet();
    QSignalSpy finished(view.get(), &QDialog::finished);
    press(view.get(), Qt::Key_Escape);
    press(view->cardModePicker(), Qt::Key_Escape);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(finished.count(), 0);
    press(view.get(), Qt::Key_Return);
    EXPECT_FALSE(view->isVisible());
    EXPECT_EQ(finished.count(), 1);

    // With a close callback, "完成" calls only the callback.
    int closes = 0;
    auto withCallback = sheet({.onClose = [&closes] { ++closes; }});
    withCallback->doneButton()->click();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(withCallback->isVisible());
}

TEST_F(SettingsSheetTest, PermissionLinesFollowTheControllersCheck) {
    desktop->trusted = false;
    repair->installed = false;
    auto view = sheet();
    view->advancedToggle()->click();
    bool otherCopyShown = false;
    for (const QLabel* label : view->findChildren<QLabel*>())
        otherCopyShown =
            otherCopyShown ||
            label->text() == QStringLiteral("当前不是安装目录中的程序，请安装当前的 Debian 软件包 orvel 后再打开。");
    EXPECT_TRUE(otherCopyShown);
    EXPECT_FALSE(view->authorizationLine()->property("trusted").toBool());
    EXPECT_EQ(view->permissionButton()->text(), QStringLiteral("打开授权设置"));
    EXPECT_TRUE(view->permissionButton()->isEnabled());
    EXPECT_FALSE(view->permissionHint()->isHidden());
    EXPECT_FALSE(view->startButton()->isEnabled());

    desktop->trusted = true;
    timeline->advance(DirectSelectionController::permissionInterval);
    EXPECT_TRUE(view->authorizationLine()->property("trusted").toBool());
    EXPECT_EQ(view->permissionButton()->text(), QStringLiteral("授权已通过"));
    EXPECT_FALSE(view->permissionButton()->isEnabled());
    EXPECT_TRUE(view->permissionHint()->isHidden());
    EXPECT_TRUE(view->startButton()->isEnabled());

    // Automatic selection off: the retry is disabled, and both automatic switches show off.
    view->enabledSwitch()->click();
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_FALSE(view->iconSwitch()->isChecked());
    EXPECT_FALSE(view->retryButton()->isEnabled());

    // A screen reader's toggle turns a switch as a click does.
    QAccessible::queryAccessibleInterface(view->enabledSwitch())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(controller().isEnabled());
}

TEST_F(SettingsSheetTest, ARunningRepairDisablesBothButtonRowsUntilItFails) {
    timeline->blockingRunsAtOnce = false;
    repair->resetFailure = QStringLiteral("重置失败");
    auto view = sheet();
    view->advancedToggle()->click();
    EXPECT_TRUE(view->repairFeedback()->isHidden());  // no empty feedback row
    view->repairButton()->click();
    view->repairButton()->click();
    for (QPushButton* button : {view->permissionButton(), view->locateButton(), view->restartButton(),
                                view->repairButton()})
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    EXPECT_FALSE(view->enabledSwitch()->isEnabled());
    EXPECT_EQ(view->repairFeedback()->text(), QStringLiteral("正在清理本软件的旧辅助功能记录，完成后重新启动。"));
    EXPECT_EQ(timeline->pendingJobs(), 1);

    timeline->finishJobs();
    timeline->runPosted();
    for (QPushButton* button : {view->locateButton(), view->restartButton(), view->repairButton()})
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
    EXPECT_EQ(view->repairFeedback()->text(), QStringLiteral("重置失败"));
    EXPECT_FALSE(repair->calls.contains(QStringLiteral("restart")));
}

TEST_F(SettingsSheetTest, WindowTestsCloseTheSheetFirstAndRunAfterTheirDelay) {
    int closes = 0;
    auto view = sheet({.onClose = [&closes] { ++closes; }});
    panels->calls.clear();
    view->advancedToggle()->click();
    view->panelTestButton()->click();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(panels->calls.isEmpty());
    view.reset();  // the test does not need the sheet
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panels->calls.filter(QStringLiteral("preview ")).isEmpty(); }));
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("已请求显示本机测试小窗，没有读取选区或调用模型。"));
}

TEST_F(SettingsSheetTest, AccountSettingsOpenAfterThisSheetClosed) {
    auto view = sheet();
    view->advancedToggle()->click();
    view->settingsButton()->click();
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(store().showSettings());
    EXPECT_TRUE(QTest::qWaitFor([this] { return store().showSettings(); }));
}

TEST_F(SettingsSheetTest, ScreenshotsInThreeLanguagesLightAndDark) {
    QDir().mkpath(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    desktop->trusted = false;
    // The sample document's feedback shows under the repair rows.
    controller().openSampleDocument();
    ASSERT_TRUE(controller().repairFeedback().contains(QStringLiteral("orvel --study-selection explain")));
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    auto view = sheet();
    for (const auto& [language, code] : languages) {
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setLanguage(language);
            InterfaceSettings::shared().setAppearance(appearance);
            const QString name = QStringLiteral("selection-settings-%1-%2")
                                     .arg(QLatin1String(code), appearance == InterfaceAppearance::dark ? "dark" : "light");
            view->advancedToggle()->setChecked(false);
            QApplication::processEvents();
            EXPECT_TRUE(view->grab().save(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR "/%1.png").arg(name)));
            view->advancedToggle()->setChecked(true);
            QApplication::processEvents();
            QWidget* body = view->advancedGroup()->parentWidget();
            EXPECT_TRUE(body->grab().save(
                QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR "/%1-advanced.png").arg(name)));
        }
    }
}

// On a Wayland session with XWayland the status lines and the note under the switches say which windows
// are read and, without GNOME Shell's extension, what to do, in each language, in full (wrapped, not cut);
// the pictures are for a person to look at.
TEST_F(SettingsSheetTest, WaylandStatusLinesShowInFullInThreeLanguages) {
    QDir().mkpath(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    desktop->wayland = true;
    const std::pair<halvern::ShellPointer::Access, const char*> accesses[] = {
        {halvern::ShellPointer::Access::notGnome, "other-desktop"},
        {halvern::ShellPointer::Access::disabled, "gnome-extension-off"}};
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const auto& [access, situation] : accesses) {
        desktop->nativeAccess = access;
        auto view = sheet();
        view->advancedToggle()->setChecked(true);
        for (const auto& [language, code] : languages) {
            for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
                InterfaceSettings::shared().setLanguage(language);
                InterfaceSettings::shared().setAppearance(appearance);
                QApplication::processEvents();
                const QStringList statuses{controller().permissionStatus(), controller().activityStatus(),
                                           controller().nativeWindowStatus()};
                for (const QString& status : statuses) {
                    const QString shown = velquin::UIStrings::shown(status, language);
                    EXPECT_TRUE(shown.contains(QStringLiteral("Wayland"))) << shown.toStdString();
                    const QWidget* line = nullptr;
                    for (const QLabel* label : view->findChildren<QLabel*>())
                        if (label->text() == shown && label->isVisible()) line = label;
                    for (const WrappedText* text : view->findChildren<WrappedText*>())
                        if (text->text() == shown && text->isVisible()) line = text;
                    ASSERT_TRUE(line) << situation << " " << code << ": " << shown.toStdString();
                    // The language's texts settle over turns of the event loop: one is not always enough.
                    const auto whole = [line] { return line->height() >= line->heightForWidth(line->width()); };
                    EXPECT_TRUE(QTest::qWaitFor(whole)) << code << ": " << shown.toStdString();
                }
                QWidget* body = view->advancedGroup()->parentWidget();
                EXPECT_TRUE(body->grab().save(
                    QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR "/selection-settings-wayland-%1-%2-%3.png")
                        .arg(QLatin1String(situation), QLatin1String(code),
                             appearance == InterfaceAppearance::dark ? "dark" : "light")));
            }
        }
    }
}

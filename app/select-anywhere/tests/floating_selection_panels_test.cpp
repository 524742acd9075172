// The floating panels (offscreen): where they are placed, that each is made once and reused, what
// they call back, and the hand-over of the panel's text to the main window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>

#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/selection_icon_view.h"
#include "app/select-anywhere/tests/selection_test_doubles.h"

namespace {

using namespace velquin;

// 12 right of and below the point, 8 inside the work area; where it does not fit, the left and the
// bottom margins win.
TEST(FloatingSelectionPanels, PlacementKeepsThePanelInsideTheWorkArea) {
    struct Row {
        const char* name;
        QPointF point;
        QSize size;
        QRectF area;
        QPoint corner;
    };
    const QRectF screen(0, 30, 1920, 1050);  // a top bar of 30
    const QList<Row> rows{
        {"beside the pointer", {500, 400}, {36, 36}, screen, {512, 412}},
        {"near the right edge", {1900, 400}, {360, 390}, screen, {1552, 412}},
        {"near the bottom edge", {500, 1060}, {360, 390}, screen, {512, 682}},
        {"above the top bar", {500, 10}, {36, 36}, screen, {512, 38}},
        {"taller than the area", {500, 400}, {360, 1200}, screen, {512, 1080 - 1200 - 8}},
        {"second screen", {2500, 300}, {36, 36}, QRectF(1920, 0, 1280, 1024), {2512, 312}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FloatingSelectionPanels::placement(row.point, row.size, row.area), row.corner) << row.name;
}

// A controller over the test doubles with the program's floating panels.
class FloatingPanelsTest : public selectiontest::ControllerFixture {
protected:
    FloatingPanelsTest() { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }
    DirectSelectionController& controller() {
        if (!controller_) {
            floating = std::make_shared<FloatingSelectionPanels>(
                DirectFloatServices{&defaults, history.get(), scheduler, clock, clipboard, token}, &store());
            DirectSelectionServices services{&defaults, &store(), desktop, monitors, statusItem,
                                             readers,   timeline, floating, windows};
            controller_ = std::make_unique<DirectSelectionController>(services);
        }
        return *controller_;
    }
    std::shared_ptr<FloatingSelectionPanels> floating;
    std::unique_ptr<DirectSelectionController> controller_;
};

TEST_F(FloatingPanelsTest, PanelsAreMadeOnceAndCallTheControllerBack) {
    DirectSelectionController& selection = controller();
    selection.showIconTest();
    SelectionIconPanel* icon = floating->iconPanel();
    ASSERT_TRUE(icon && icon->isVisible());
    EXPECT_TRUE(icon->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(icon->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(icon->size(), QSize(36, 36));
    EXPECT_EQ(icon->iconView()->toolTip(), QStringLiteral("Orvel：点击打开选中文字"));
    EXPECT_TRUE(floating->contains(icon->frameGeometry().center()));

    // A press on the bulb opens the sample in the answer panel; a second press does nothing.
    QTest::mousePress(icon->iconView(), Qt::LeftButton);
    DirectResultPanel* answer = floating->answerPanel();
    ASSERT_TRUE(answer && answer->isVisible());
    EXPECT_FALSE(icon->isVisible());
    EXPECT_EQ(answer->size(), QSize(360, 390));
    EXPECT_EQ(answer->minimumSize(), QSize(320, 300));
    EXPECT_EQ(floating->model().text(), QStringLiteral("Hello world. Opportunity cost is the next best alternative."));
    EXPECT_TRUE(floating->model().isLocalPreview());
    EXPECT_EQ(selection.diagnostics().panelShowCount, 1);

    // Escape dismisses through the controller: both panels hide and are kept.
    QTest::keyClick(answer->windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(answer->isVisible());
    EXPECT_FALSE(selection.hasSelectionPresentation());

    const QWidget* content = answer->content();
    selection.showIconTest();
    EXPECT_EQ(floating->iconPanel(), icon);
    QTest::mousePress(icon->iconView(), Qt::LeftButton);
    EXPECT_EQ(floating->answerPanel(), answer);
    EXPECT_EQ(answer->content(), content);
    EXPECT_TRUE(answer->isVisible());
}

// The main-window button hands the text, mode and answer over, unless the text is blank.
TEST_F(FloatingPanelsTest, ContinueHandsTheTextToTheMainWindowUnlessItIsBlank) {
    DirectSelectionController& selection = controller();
    selection.showPanelTest();
    auto* button =
        floating->answerPanel()->findChild<QAbstractButton*>(QStringLiteral("orvel.reader.continue-in-workspace"));
    ASSERT_TRUE(button);

    floating->model().preview(QStringLiteral(" \n "), QStringLiteral("Notes"));
    button->click();
    EXPECT_TRUE(floating->answerPanel()->isVisible()) << "blank text: nothing happens";

    floating->model().preview(QStringLiteral("opportunity cost"), QStringLiteral("Notes"));
    button->click();
    EXPECT_FALSE(floating->answerPanel()->isVisible());
    EXPECT_EQ(store().source(), QStringLiteral("opportunity cost"));
    EXPECT_EQ(store().sourceNote(), QStringLiteral("来自 Notes · 可继续编辑后学习"));
}

}  // namespace

#include "app/select-anywhere/floating_selection_panels.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "app/select-anywhere/direct_float_view.h"
#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/selection_icon_view.h"
#include "app/shell/app_store.h"
#include "app/shell/ui_strings.h"
#include "base/text.h"
#include "core/selection_interaction.h"
#include "platform/x11_windows.h"

namespace velquin {

namespace {

const QString closedReason = QStringLiteral("用户关闭");

SelectionPanels::Shown shownState(const QWidget* panel) {
    SelectionPanels::Shown shown;
    if (!panel) {
        shown.exists = false;
        return shown;
    }
    shown.visible = panel->isVisible();
    shown.frame = panel->frameGeometry();
    shown.active = panel->isActiveWindow();
    shown.keptAbove = panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    const bool exposed = shown.visible && panel->windowHandle() && panel->windowHandle()->isExposed();
    // Where the desktop can be asked, it says where the window is and what covers it; elsewhere a
    // shown window is on the desktop the user is on and can be seen once the display exposed it.
    const auto presence =
        shown.visible ? halvern::x11::presence(halvern::x11::WindowId(panel->winId())) : std::nullopt;
    shown.onActiveSpace = presence ? presence->onCurrentDesktop : shown.visible;
    shown.occlusionVisible = exposed && (!presence || presence->partlyUncovered);
    if (presence) shown.keptAbove = presence->keptAbove;
    return shown;
}

}  // namespace

FloatingSelectionPanels::FloatingSelectionPanels(DirectFloatServices modelServices, AppStore* store,
                                                 bool offlineFixture)
    : modelServices_(std::move(modelServices)), store_(store), offlineFixture_(offlineFixture) {}

FloatingSelectionPanels::~FloatingSelectionPanels() {
    delete iconPanel_.data();
    delete answerPanel_.data();
}

void FloatingSelectionPanels::attach(DirectSelectionController& controller) { controller_ = &controller; }

DirectFloatModel& FloatingSelectionPanels::model() {
    if (!model_) model_ = std::make_unique<DirectFloatModel>(modelServices_, offlineFixture_);
    return *model_;
}

// ---- Placement ---------------------------------------------------------------------------------------

QRectF FloatingSelectionPanels::workAreaAt(QPointF point) {
    QScreen* screen = QGuiApplication::screenAt(point.toPoint());
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? QRectF(screen->availableGeometry()) : QRectF(0, 0, 1440, 900);
}

QPoint FloatingSelectionPanels::placement(QPointF point, QSize size, const QRectF& workArea) {
    // The placement rule counts y upwards: mirror the screen (y' = -y), place, and mirror back.
    const qreal width = size.width();
    const qreal height = size.height();
    const qreal bottom = workArea.top() + workArea.height();
    const tamsel::SelectionPoint corner =
        tamsel::SelectionPlacement::origin(tamsel::SelectionPoint{point.x(), -point.y()}, width, height, workArea.left(),
                                           -bottom, workArea.left() + workArea.width(), -workArea.top());
    return QPoint(qRound(corner.x), qRound(-(corner.y + height)));
}

// ---- Showing and hiding ----------------------------------------------------------------------------------

SelectionPanels::Shown FloatingSelectionPanels::showIcon(QPointF point, const QString& tooltip) {
    if (!iconPanel_) {
        iconPanel_ = new SelectionIconPanel();
        iconPanel_->iconView()->setClicked([this] {
            if (controller_) controller_->openSelectionIcon();
        });
    }
    iconPanel_->iconView()->setToolTip(UIStrings::text(tooltip));
    iconPanel_->move(placement(point, iconPanel_->size(), workAreaAt(point)));
    iconPanel_->show();
    iconPanel_->raise();
    halvern::x11::keepAbove(halvern::x11::WindowId(iconPanel_->winId()));
    return shownState(iconPanel_);
}

void FloatingSelectionPanels::hideIcon() {
    if (iconPanel_) iconPanel_->hide();
}

SelectionPanels::Shown FloatingSelectionPanels::showAnswer(QPointF point, bool activate) {
    if (!answerPanel_) {
        answerPanel_ = new DirectResultPanel();
        // The panels go with the program's controller; they only call it back.
        const auto dismiss = [this] {
            if (controller_) controller_->dismiss(closedReason);
        };
        answerPanel_->setDismissResult(dismiss);
        view_ = new DirectFloatView(
            model(), dismiss,
            [this] {
                if (controller_) controller_->openDirectSettings();
            },
            [this] { continueInWorkspace(); });
        answerPanel_->setContent(view_);
    }
    // A new presentation starts with the selected text collapsed.
    if (!answerPanel_->isVisible()) view_->collapseSelection();
    answerPanel_->move(placement(point, answerPanel_->size(), workAreaAt(point)));
    answerPanel_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    answerPanel_->show();
    answerPanel_->raise();
    halvern::x11::keepAbove(halvern::x11::WindowId(answerPanel_->winId()));
    if (activate) answerPanel_->activateWindow();
    return shownState(answerPanel_);
}

void FloatingSelectionPanels::hide() {
    hideIcon();
    if (answerPanel_) answerPanel_->hide();
}

bool FloatingSelectionPanels::contains(QPointF point) const {
    for (const QWidget* panel : {static_cast<QWidget*>(iconPanel_.data()), static_cast<QWidget*>(answerPanel_.data())})
        if (panel && panel->isVisible() && QRectF(panel->frameGeometry()).contains(point)) return true;
    return false;
}

SelectionPanels::Shown FloatingSelectionPanels::iconState() const { return shownState(iconPanel_); }

SelectionPanels::Shown FloatingSelectionPanels::answerState() const { return shownState(answerPanel_); }

// ---- The answer model --------------------------------------------------------------------------------------

void FloatingSelectionPanels::present(const QString& text, const QString& appName,
                                      std::optional<tamsel::StudyMode> mode, tamsel::SelectionTextPolicy policy) {
    model().present(text, appName, mode, policy);
}

void FloatingSelectionPanels::preview(const QString& text, const QString& appName) { model().preview(text, appName); }

void FloatingSelectionPanels::showError(const QString& message, const QString& appName,
                                        std::optional<tamsel::StudyMode> mode) {
    model().showError(message, appName, mode);
}

void FloatingSelectionPanels::cancel() {
    if (model_) model_->cancel();
}

int FloatingSelectionPanels::networkRequestCount() const { return model_ ? model_->networkRequestCount() : 0; }

void FloatingSelectionPanels::continueInWorkspace() {
    DirectFloatModel& answers = model();
    if (base::text::trimmed(answers.text()).isEmpty()) return;
    const QString description =
        answers.sourceApp().isEmpty()
            ? QStringLiteral("来自划词小窗 · 可继续编辑后学习")
            : QStringLiteral("来自 ") + answers.sourceApp() + QStringLiteral(" · 可继续编辑后学习");
    AppStore& store = store_ ? *store_ : AppStore::shared();
    store.stageInLessonary(answers.text(), answers.mode(), answers.answer(), description);
    if (controller_) controller_->openWorkspace();
}

std::shared_ptr<SelectionPanels> makeFloatingSelectionPanels() {
    return std::make_shared<FloatingSelectionPanels>();
}

}  // namespace velquin

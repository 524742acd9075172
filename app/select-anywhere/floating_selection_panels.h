#pragma once

#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <memory>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/selection_services.h"

namespace velquin {

class AppStore;
class DirectFloatView;
class DirectResultPanel;
class DirectSelectionController;
class SelectionIconPanel;

// The floating panels of select-anywhere on the desktop: the bulb beside a selection and the
// answer panel with its view over the answer model. Each panel is made the first time it is
// needed, kept for the life of the program and only shown and hidden. Both are placed 12 points
// right of and below the point and 8 points inside the work area of that point's screen; the bulb
// is shown without activating this program, the answer panel with activation only when asked.
// Main thread only.
class FloatingSelectionPanels : public SelectionPanels {
public:
    // `store` null: the shared store (read only when the panel hands text to the main window).
    // With `offlineFixture` the answer model answers every valid text locally (the window checks).
    explicit FloatingSelectionPanels(DirectFloatServices modelServices = {}, AppStore* store = nullptr,
                                     bool offlineFixture = false);
    ~FloatingSelectionPanels() override;

    void attach(DirectSelectionController& controller) override;

    Shown showIcon(QPointF point, const QString& tooltip) override;
    void hideIcon() override;
    Shown showAnswer(QPointF point, bool activate) override;
    void hide() override;
    bool contains(QPointF point) const override;
    Shown iconState() const override;
    Shown answerState() const override;

    void present(const QString& text, const QString& appName, std::optional<tamsel::StudyMode> mode,
                 tamsel::SelectionTextPolicy policy) override;
    void preview(const QString& text, const QString& appName) override;
    void showError(const QString& message, const QString& appName,
                   std::optional<tamsel::StudyMode> mode = std::nullopt) override;
    void cancel() override;
    int networkRequestCount() const override;

    // The answer model, made on first use.
    DirectFloatModel& model();
    // The panels, once made.
    SelectionIconPanel* iconPanel() const { return iconPanel_; }
    DirectResultPanel* answerPanel() const { return answerPanel_; }

    // The top-left corner of a window of `size` beside `point` inside `workArea` (screen
    // coordinates, y down): 12 right of and below the point, 8 inside the area; where the area is
    // too small the left and bottom margins win.
    static QPoint placement(QPointF point, QSize size, const QRectF& workArea);

private:
    // The work area of the screen holding `point`, else of the main screen, else 1440 x 900.
    static QRectF workAreaAt(QPointF point);
    // Hands the panel's text to the main window and brings that forward; blank text does nothing.
    void continueInWorkspace();

    DirectFloatServices modelServices_;
    AppStore* store_;
    bool offlineFixture_;
    std::unique_ptr<DirectFloatModel> model_;
    QPointer<DirectSelectionController> controller_;
    QPointer<SelectionIconPanel> iconPanel_;
    QPointer<DirectResultPanel> answerPanel_;
    QPointer<DirectFloatView> view_;
};

}  // namespace velquin

#include "app/main-window/content_view.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QShowEvent>
#include <QStackedWidget>

#include "app/main-window/application_parts.h"
#include "app/main-window/coach_page.h"
#include "app/main-window/history_page.h"
#include "app/main-window/home_page.h"
#include "app/main-window/sheet_binding.h"
#include "app/main-window/sidebar.h"
#include "app/shell/app_store.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/selection_controller.h"
#include "app/shell/workspace_router.h"

namespace velquin {

namespace {

using lessonary::currentScheme;

// The hairline between the sidebar and the page.
class VerticalRule : public QWidget {
public:
    explicit VerticalRule(QWidget* parent) : QWidget(parent) { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), LessonaryTheme::divider(currentScheme()));
    }
};

std::optional<QString> answerText(const AppStore& store) {
    if (!store.answer()) return std::nullopt;
    return store.answer()->text;
}

}  // namespace

ContentView::ContentView(AppStore& store, WorkspaceRouter& router, SelectionController& selection,
                         OrvelNativeCoach& coach, const ApplicationParts& parts, QWidget* parent)
    : QWidget(parent), store_(store), router_(router), selection_(selection), tour_(coach), parts_(parts) {
    setMinimumSize(minimumWidth, minimumHeight);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = new Sidebar(store_, router_, selection_, tour_, this);
    row->addWidget(sidebar_);
    divider_ = new VerticalRule(this);
    row->addWidget(divider_);

    // The history and coach pages are built the first time they are shown.
    pages_ = new QStackedWidget(this);
    homePage_ = new HomePage(store_, router_, tour_, {}, pages_);
    pages_->addWidget(homePage_);
    row->addWidget(pages_, 1);

    if (parts_.pdfRangeSheet) {
        pdfSheet_ = new SheetBinding(
            this, [this] { return store_.pdfChoice().has_value(); }, [this] { store_.discardPendingPDF(); },
            [this](QWidget* parent) { return parts_.pdfRangeSheet(store_, *store_.pdfChoice(), parent); }, this);
        connect(&store_, &AppStore::pdfChoiceChanged, pdfSheet_, &SheetBinding::update);
    }

    // The tour follows what happens, from now on.
    shownAnswer_ = answerText(store_);
    connect(&selection_, &SelectionController::isEnabledChanged, this,
            [this](bool enabled) { tour_.selectionIsReady(enabled && selection_.authorizationTrusted()); });
    connect(&selection_, &SelectionController::authorizationTrustedChanged, this,
            [this](bool trusted) { tour_.selectionIsReady(selection_.isEnabled() && trusted); });
    connect(&store_, &AppStore::answerChanged, this, &ContentView::answerChanged);
    connect(&router_, &WorkspaceRouter::pageChanged, this, [this] {
        showPage();
        if (router_.page() == WorkspaceRouter::Page::coach) tour_.enteredRealClassroom();
    });
    lessonary::follow(this, {}, [this] { update(); });
    showPage();
}

ContentView::~ContentView() = default;

void ContentView::showPage() {
    const WorkspaceRouter::Page page = router_.page();
    const bool coach = page == WorkspaceRouter::Page::coach;
    sidebar_->setVisible(!coach);
    divider_->setVisible(!coach);
    switch (page) {
    case WorkspaceRouter::Page::home: pages_->setCurrentWidget(homePage_); break;
    case WorkspaceRouter::Page::history: pages_->setCurrentWidget(historyPage()); break;
    case WorkspaceRouter::Page::coach: pages_->setCurrentWidget(coachPage()); break;
    }
}

HistoryPage* ContentView::historyPage() {
    if (!historyPage_) addPage(historyPage_ = new HistoryPage(store_, router_, pages_));
    return historyPage_;
}

CoachPage* ContentView::coachPage() {
    if (!coachPage_) addPage(coachPage_ = new CoachPage(store_, router_, parts_.coachHost, pages_));
    return coachPage_;
}

void ContentView::addPage(QWidget* page) {
    pages_->addWidget(page);
    // The stack is as large as its largest page, and this view's size hints follow it.
    pages_->updateGeometry();
    emit pageBuilt();
}

void ContentView::answerChanged() {
    const std::optional<QString> text = answerText(store_);
    if (text == shownAnswer_) return;
    shownAnswer_ = text;
    tour_.hasRealLearningResult(!store_.source().isEmpty() && store_.answer().has_value());
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Un-minimising is no coming on screen. The handler runs once the window is on its way to
    // the screen, so that what it starts does not hold the window back.
    if (!event->spontaneous()) QMetaObject::invokeMethod(this, &ContentView::comeOnScreen, Qt::QueuedConnection);
}

void ContentView::comeOnScreen() {
    tour_.selectionIsReady(selection_.isEnabled() && selection_.authorizationTrusted());
    tour_.hasRealLearningResult(!store_.source().isEmpty() && store_.answer().has_value());
    if (router_.page() == WorkspaceRouter::Page::coach) tour_.enteredRealClassroom();
    if (parts_.refreshSignedInAccount) parts_.refreshSignedInAccount();
    emit cameOnScreen();
}

void ContentView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), LessonaryTheme::paper(currentScheme()));
}

}  // namespace velquin

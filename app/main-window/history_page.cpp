#include "app/main-window/history_page.h"

#include <QVBoxLayout>

#include "app/main-window/history_view.h"
#include "app/shell/app_store.h"
#include "app/shell/workspace_router.h"

namespace velquin {

HistoryPage::HistoryPage(AppStore& store, WorkspaceRouter& router, QWidget* parent)
    : QWidget(parent), store_(store), router_(router) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new HistoryView(
        store_.history(), [this](const LearningRecord& record) { continueLearning(record); }, [this] { leave(); },
        this);
    layout->addWidget(view_);
}

void HistoryPage::continueLearning(const LearningRecord& record) {
    store_.reopenHistoryRecord(record);
    router_.open(WorkspaceRouter::Page::home);
}

void HistoryPage::leave() { router_.open(WorkspaceRouter::Page::home); }

}  // namespace velquin

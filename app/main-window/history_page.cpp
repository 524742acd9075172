#include "app/main-window/history_page.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/main-window/page_title.h"
#include "app/shell/app_store.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"

namespace velquin {

HistoryPage::HistoryPage(AppStore& store, WorkspaceRouter& router, QWidget* parent)
    : QWidget(parent), store_(store), router_(router) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(27, 23, 27, 24);
    layout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    title_ = makePageTitle(this);
    layout_->addWidget(title_);

    lessonary::follow(this, [this] { retranslate(); }, {});
    retranslate();
}

void HistoryPage::continueLearning(const LearningRecord& record) {
    store_.reopenHistoryRecord(record);
    router_.open(WorkspaceRouter::Page::home);
}

void HistoryPage::leave() { router_.open(WorkspaceRouter::Page::home); }

void HistoryPage::retranslate() { title_->setText(UIStrings::text(QStringLiteral("学习历史"))); }

}  // namespace velquin

#include "app/main-window/home_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/main-window/page_title.h"
#include "app/shell/app_store.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/shell/ui_strings.h"

namespace velquin {

HomePage::HomePage(AppStore& store, QWidget* parent) : QScrollArea(parent), store_(store) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);

    // The page: the column centred in its width and kept at the top.
    auto* page = new QWidget(this);
    page->setAutoFillBackground(false);
    auto* centring = new QHBoxLayout(page);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(0);
    columnWidget_ = new QWidget(page);
    columnWidget_->setMaximumWidth(maximumColumnWidth);
    columnWidget_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    column_ = new QVBoxLayout(columnWidget_);
    column_->setContentsMargins(27, 23, 27, 24);
    column_->setSpacing(17);
    column_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    centring->addWidget(columnWidget_, 1, Qt::AlignTop);
    centring->addStretch(0);
    setWidget(page);

    title_ = makePageTitle(columnWidget_);
    column_->addWidget(title_);

    lessonary::follow(this, [this] { retranslate(); }, {});
    retranslate();
}

void HomePage::retranslate() { title_->setText(UIStrings::text(QStringLiteral("学习首页"))); }

}  // namespace velquin

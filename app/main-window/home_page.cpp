#include "app/main-window/home_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/main-window/answer_section.h"
#include "app/main-window/control_bar.h"
#include "app/main-window/error_banner.h"
#include "app/main-window/home_footer.h"
#include "app/main-window/home_style.h"
#include "app/main-window/input_card.h"
#include "app/main-window/recent_history_section.h"
#include "app/shell/app_store.h"
#include "app/shell/file_chooser.h"
#include "app/shell/sheet_window.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kTitleFontSize = 19;
constexpr int kHeroFontSize = 27;

}  // namespace

HomePage::HomePage(AppStore& store, WorkspaceRouter& router, OrvelNativeCoach& coach,
                   std::shared_ptr<FileChooser> chooser, QWidget* parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);

    // The page: the column centred in its width and kept at the top.
    auto* page = new SheetScrollContent(this);
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
    column_->setAlignment(Qt::AlignTop);
    centring->addWidget(columnWidget_, 1, Qt::AlignTop);
    centring->addStretch(0);
    setWidget(page);

    // The header: the product's name and its line.
    auto* header = new QVBoxLayout();
    header->setSpacing(3);
    title_ = lessonary::makeLabel(columnWidget_, lessonary::font(kTitleFontSize, QFont::DemiBold), false);
    title_->setText(QStringLiteral("Orvel"));
    header->addWidget(title_);
    subtitle_ = lessonary::makeLabel(columnWidget_, lessonary::font(home_style::caption), true);
    header->addWidget(subtitle_);
    column_->addLayout(header);

    // The greeting, 7 further down.
    auto* hero = new QVBoxLayout();
    hero->setContentsMargins(0, 7, 0, 0);
    hero->setSpacing(5);
    heroTitle_ = lessonary::makeLabel(columnWidget_, lessonary::font(kHeroFontSize, QFont::DemiBold), true);
    hero->addWidget(heroTitle_);
    heroSubtitle_ = lessonary::makeLabel(columnWidget_, lessonary::font(home_style::callout), true);
    hero->addWidget(heroSubtitle_);
    column_->addLayout(hero);

    banner_ = new ErrorBanner(store, columnWidget_);
    column_->addWidget(banner_);
    input_ = new InputCard(store, chooser ? std::move(chooser) : QtFileChooser::shared(), columnWidget_);
    column_->addWidget(input_);
    controls_ = new ControlBar(store, columnWidget_);
    column_->addWidget(controls_);
    answer_ = new AnswerSection(store, router, coach, columnWidget_);
    column_->addWidget(answer_);
    recent_ = new RecentHistorySection(store, store.history(), router, columnWidget_);
    column_->addWidget(recent_);
    footer_ = new HomeFooter(store, columnWidget_);
    column_->addWidget(footer_);

    lessonary::follow(
        this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

int HomePage::neededHeight(int width) const {
    const QWidget* page = widget();
    const int height = page->hasHeightForWidth() ? page->heightForWidth(width) : page->sizeHint().height();
    return height + 2 * frameWidth();
}

void HomePage::retranslate() {
    subtitle_->setText(UIStrings::text(QStringLiteral("把一段文字，学明白。")));
    heroTitle_->setText(UIStrings::choose(QStringLiteral("今天，想理解什么？"),
                                          QStringLiteral("What would you like to understand today?"),
                                          QStringLiteral("Qu’aimeriez-vous comprendre aujourd’hui ?")));
    heroSubtitle_->setText(
        UIStrings::choose(QStringLiteral("选中一句话，或在这里写下想学会的内容。"),
                          QStringLiteral("Select a sentence, or write what you want to learn here."),
                          QStringLiteral("Sélectionnez une phrase ou saisissez ce que vous voulez apprendre.")));
}

void HomePage::restyle() {
    const ColorScheme scheme = home_style::scheme();
    for (QLabel* label : {title_, heroTitle_}) lessonary::setTextColor(label, LessonaryTheme::ink(scheme));
    for (QLabel* label : {subtitle_, heroSubtitle_}) lessonary::setTextColor(label, home_style::secondary(scheme));
}

}  // namespace velquin

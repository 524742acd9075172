#include "app/main-window/answer_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/main-window/answer_text.h"
#include "app/main-window/home_style.h"
#include "app/main-window/surface_card.h"
#include "app/shell/app_store.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/shown_answer.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"
#include "base/text.h"

namespace velquin {

namespace {

constexpr qreal kCardRadius = 14;
constexpr int kCardPadding = 17;
constexpr int kPlaceholderHeight = 125;
constexpr int kPlaceholderSymbolSize = 25;
constexpr int kAnswerFontSize = 15;
constexpr int kAnswerLineSpacing = 5;
constexpr int kButtonSymbolSize = 15;
constexpr int kWarningSymbolSize = 13;

}  // namespace

AnswerSection::AnswerSection(AppStore& store, WorkspaceRouter& router, OrvelNativeCoach& coach, QWidget* parent)
    : QWidget(parent), store_(store), router_(router), coach_(coach) {
    stack_ = new QVBoxLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->setSpacing(10);

    // The header row.
    auto* header = new QHBoxLayout();
    title_ = lessonary::makeLabel(this, lessonary::font(home_style::headline, QFont::DemiBold), false);
    header->addWidget(title_);
    header->addStretch(1);
    const auto makeButton = [this, header] {
        auto* button = new QPushButton(this);
        button->setCursor(Qt::PointingHandCursor);
        button->setFont(lessonary::font(home_style::body));
        button->setIconSize(QSize(kButtonSymbolSize, kButtonSymbolSize));
        header->addWidget(button);
        return button;
    };
    tutor_ = makeButton();
    tutor_->setObjectName(QStringLiteral("orvel.lessonary.open-in-merid"));
    copy_ = makeButton();
    export_ = makeButton();
    stack_->addLayout(header);
    connect(tutor_, &QPushButton::clicked, this, [this] {
        if (store_.stageCurrentSourceForTutor()) router_.open(WorkspaceRouter::Page::coach);
    });
    connect(copy_, &QPushButton::clicked, this, [this] { store_.copyAnswer(); });
    connect(export_, &QPushButton::clicked, this, [this] { store_.exportAnswer(); });

    // The answer card.
    answerCard_ = new SurfaceCard(kCardRadius, kCardPadding, 12, this);
    warningRow_ = new QWidget(answerCard_);
    auto* warningLayout = new QHBoxLayout(warningRow_);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->setSpacing(5);
    warningSymbol_ = new QLabel(warningRow_);
    warningSymbol_->setFixedSize(kWarningSymbolSize, kWarningSymbolSize);
    warningLayout->addWidget(warningSymbol_, 0, Qt::AlignTop);
    warning_ = lessonary::makeLabel(warningRow_, lessonary::font(home_style::caption), true);
    warningLayout->addWidget(warning_, 1);
    answerCard_->column()->addWidget(warningRow_);
    answerText_ = new AnswerText(kAnswerFontSize, kAnswerLineSpacing, answerCard_);
    answerCard_->column()->addWidget(answerText_);
    cutNote_ = lessonary::makeLabel(answerCard_, lessonary::font(home_style::caption), true);
    answerCard_->column()->addWidget(cutNote_);
    detail_ = lessonary::makeLabel(answerCard_, lessonary::font(home_style::caption2), true);
    answerCard_->column()->addWidget(detail_);
    stack_->addWidget(answerCard_);

    // The placeholder card.
    placeholderCard_ = new SurfaceCard(kCardRadius, kCardPadding, 8, this);
    placeholderCard_->setFixedHeight(kPlaceholderHeight);
    placeholderCard_->column()->addStretch(1);
    placeholderSymbol_ = new QLabel(placeholderCard_);
    placeholderSymbol_->setFixedSize(kPlaceholderSymbolSize, kPlaceholderSymbolSize);
    placeholderCard_->column()->addWidget(placeholderSymbol_, 0, Qt::AlignHCenter);
    placeholderText_ =
        lessonary::makeLabel(placeholderCard_, lessonary::font(home_style::callout, QFont::Medium), false);
    placeholderText_->setAlignment(Qt::AlignHCenter);
    placeholderCard_->column()->addWidget(placeholderText_, 0, Qt::AlignHCenter);
    placeholderCard_->column()->addStretch(1);
    stack_->addWidget(placeholderCard_);

    for (auto signal : {&AppStore::answerChanged, &AppStore::resultDetailChanged, &AppStore::isBusyChanged,
                        &AppStore::sourceChanged})
        connect(&store_, signal, this, &AnswerSection::showStore);
    connect(&coach_, &OrvelNativeCoach::stepChanged, this, &AnswerSection::showTip);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void AnswerSection::showStore() {
    const auto& answer = store_.answer();
    const bool busy = store_.isBusy();
    tutor_->setVisible(!base::text::trimmed(store_.source()).isEmpty());
    tutor_->setEnabled(!busy);
    copy_->setVisible(answer.has_value());
    export_->setVisible(answer.has_value());

    answerCard_->setVisible(answer.has_value());
    placeholderCard_->setVisible(!answer.has_value());
    if (answer) {
        warningRow_->setVisible(answer->warning.has_value());
        warning_->setText(answer->warning ? UIStrings::text(*answer->warning) : QString());
        answerText_->setAnswer(answer->text);
        cutNote_->setVisible(answerText_->isCut());
        cutNote_->setText(UIStrings::text(ShownAnswer::cutNote));
        detail_->setText(UIStrings::text(store_.resultDetail()));
    } else {
        const QString symbol = busy ? QStringLiteral("ellipsis.bubble") : QStringLiteral("sparkles");
        QColor tint = OrvelBrand::accent();
        tint.setAlphaF(0.85f);
        placeholderSymbol_->setPixmap(SymbolImage::pixmap(
            symbol, QSize(kPlaceholderSymbolSize, kPlaceholderSymbolSize), tint, devicePixelRatioF()));
        placeholderSymbol_->setProperty("symbol", symbol);
        placeholderText_->setText(UIStrings::text(busy ? QStringLiteral("正在处理，请稍候…")
                                                       : QStringLiteral("你的学习结果将显示在这里")));
    }
    showTip();
}

void AnswerSection::showTip() {
    const bool wanted = coach_.step() == OrvelNativeCoach::Step::handoff && store_.answer().has_value() &&
                        !store_.source().isEmpty();
    const QString message = UIStrings::choose(QStringLiteral("想深入学习？点上方「交给 AI 老师」。"),
                                              QStringLiteral("Want to go further? Choose Study with MERID above."),
                                              QStringLiteral("Pour approfondir, choisissez Étudier avec MERID."));
    if (tip_ && (!wanted || tip_->message() != message)) {
        delete tip_;
        tip_ = nullptr;
    }
    if (wanted && !tip_) {
        tip_ = new OrvelNativeCoachTip(message, this);
        connect(tip_, &OrvelNativeCoachTip::skipRequested, this, [this] { coach_.skip(); });
        stack_->insertWidget(1, tip_);
    }
}

void AnswerSection::retranslate() {
    title_->setText(UIStrings::choose(QStringLiteral("你的学习结果"), QStringLiteral("Your learning result"),
                                      QStringLiteral("Votre résultat d’apprentissage")));
    answerText_->setAccessibleName(title_->text());
    tutor_->setText(UIStrings::choose(QStringLiteral("交给 AI 老师"), QStringLiteral("Study with MERID"),
                                      QStringLiteral("Étudier avec MERID")));
    copy_->setText(UIStrings::text(QStringLiteral("复制")));
    export_->setText(UIStrings::text(QStringLiteral("导出")));
    showStore();
}

void AnswerSection::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const qreal ratio = devicePixelRatioF();
    const QColor accent = OrvelBrand::accent();
    const QColor orange = SystemColors::orange(scheme);
    lessonary::setTextColor(title_, LessonaryTheme::ink(scheme));
    for (QPushButton* button : {tutor_, copy_, export_}) home_style::styleBorderless(button, accent);
    tutor_->setIcon(home_style::symbolIcon(QStringLiteral("graduationcap"), accent, kButtonSymbolSize, ratio));
    copy_->setIcon(home_style::symbolIcon(QStringLiteral("doc.on.doc"), accent, kButtonSymbolSize, ratio));
    export_->setIcon(home_style::symbolIcon(QStringLiteral("square.and.arrow.up"), accent, kButtonSymbolSize, ratio));
    warningSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("exclamationmark.triangle"),
                                                  QSize(kWarningSymbolSize, kWarningSymbolSize), orange, ratio));
    lessonary::setTextColor(warning_, orange);
    lessonary::setTextColor(answerText_, LessonaryTheme::ink(scheme));
    lessonary::setTextColor(cutNote_, home_style::secondary(scheme));
    lessonary::setTextColor(detail_, home_style::secondary(scheme));
    lessonary::setTextColor(placeholderText_, home_style::secondary(scheme));
    showStore();
}

}  // namespace velquin

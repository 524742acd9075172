#include "app/tutor-lesson/merid_grading_feedback_card.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_lesson_canvas_model.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace velquin {

using meridcore::MeridAssessment;

MeridGradingFeedbackCard::MeridGradingFeedbackCard(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* card = new LessonaryPanel(LessonaryMERIDPalette::subtle, nullptr, 13, this);
    outer->addWidget(card);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(17, 17, 17, 17);
    column->setSpacing(9);

    auto* header = new QHBoxLayout();
    header->setSpacing(6);
    symbol_ = new LessonarySymbol(QStringLiteral("checkmark.seal"), 15, card);
    title_ = lessonary::makeLabel(card, lessonary::font(14, QFont::DemiBold), true);
    header->addWidget(symbol_, 0, Qt::AlignVCenter);
    header->addWidget(title_, 1);
    column->addLayout(header);
    verdict_ = lessonary::makeLabel(card, lessonary::font(12, QFont::DemiBold), true);
    column->addWidget(verdict_);
    // The texts sit on the tinted card: a formula page takes its colour.
    question_ = new MeridMathRichText(QString(), 13, QFont::Medium, true, card);
    column->addWidget(question_);
    answer_ = new MeridMathRichText(QString(), 13, QFont::Normal, true, card);
    column->addWidget(answer_);
    feedback_ = new MeridMathRichText(QString(), 13, QFont::Normal, true, card);
    column->addWidget(feedback_);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void MeridGradingFeedbackCard::setRecord(const meridcore::MeridQuizRecord& record) {
    record_ = record;
    question_->setText(record.question);
    feedback_->setVisible(record.feedback.has_value());
    feedback_->setText(MeridLessonCanvasModel::visibleFeedback(record.feedback.value_or(QString())));
    retranslate();
    restyle();
}

QString MeridGradingFeedbackCard::verdict(MeridAssessment assessment) {
    switch (assessment) {
    case MeridAssessment::unassessed:
        return UIStrings::choose(QStringLiteral("尚未批改"), QStringLiteral("Not assessed"), QStringLiteral("Non évaluée"));
    case MeridAssessment::correct:
        return UIStrings::choose(QStringLiteral("答对了！"), QStringLiteral("Nice work — correct!"),
                                 QStringLiteral("Bravo, c'est juste !"));
    case MeridAssessment::partial:
        return UIStrings::choose(QStringLiteral("方向对了，再完善一点"), QStringLiteral("Good start — one step to refine"),
                                 QStringLiteral("Bien parti, à préciser"));
    case MeridAssessment::incorrect:
        return UIStrings::choose(QStringLiteral("这一题我们再拆开看看"), QStringLiteral("Let's work through this one"),
                                 QStringLiteral("Reprenons cette question"));
    }
    return {};
}

void MeridGradingFeedbackCard::retranslate() {
    title_->setText(UIStrings::choose(QStringLiteral("看看这道题学到了什么"), QStringLiteral("What this question taught us"),
                                      QStringLiteral("Ce que cette question nous apprend")));
    const MeridAssessment assessment = record_ ? record_->assessment : MeridAssessment::unassessed;
    verdict_->setText(verdict(assessment));
    const bool answered = record_ && record_->answer;
    answer_->setVisible(answered);
    if (answered)
        answer_->setText(UIStrings::choose(QStringLiteral("你的答案："), QStringLiteral("Your answer: "),
                                           QStringLiteral("Votre réponse : ")) +
                         *record_->answer);
}

void MeridGradingFeedbackCard::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    symbol_->setColor(LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(title_, LessonaryMERIDPalette::ink(scheme));
    const bool correct = record_ && record_->assessment == MeridAssessment::correct;
    lessonary::setTextColor(verdict_, correct ? LessonaryMERIDPalette::success(scheme)
                                              : LessonaryMERIDPalette::warning(scheme));
    verdict_->setProperty("verdictTone", correct ? QStringLiteral("success") : QStringLiteral("warning"));
}

}  // namespace velquin

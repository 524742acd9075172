#include "app/tutor-lesson/merid_v12_guided_action_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

using meridcore::MeridAction;
using meridcore::MeridV12TeachingPhase;
using Phase = MeridV12TeachingPhase;

namespace {

QString phaseMessage(const meridcore::MeridV12Guidance& guidance) {
    switch (guidance.phase) {
    case Phase::ready:
        return UIStrings::choose(
            QStringLiteral("我们先学一个小概念。我会用直观的例子讲清楚，然后陪你做一道题。"),
            QStringLiteral("Let's learn one small concept with an example, then try a question together."),
            QStringLiteral("Découvrons une notion avec un exemple, puis un exercice."));
    case Phase::explaining:
        return UIStrings::choose(QStringLiteral("老师正在讲解当前知识点。"), QStringLiteral("Your tutor is explaining."),
                                 QStringLiteral("Le professeur explique le concept."));
    case Phase::checking:
        return UIStrings::choose(
            QStringLiteral("先不急着背下来。用一道小题看看，你已经理解了多少。"),
            QStringLiteral("No need to memorize it yet. Let's see what makes sense with one question."),
            QStringLiteral("Pas besoin de mémoriser tout de suite : essayons une question."));
    case Phase::remediating:
        if (guidance.evidence.consecutiveErrors >= 2)
            return UIStrings::choose(
                QStringLiteral("这一步值得再拆细一点。我们先换个更简单的例子，再慢慢试。"),
                QStringLiteral("Let's break this into smaller steps and try a simpler example."),
                QStringLiteral("Décomposons cette étape avec un exemple plus simple."));
        return UIStrings::choose(
            QStringLiteral("已经找到值得再练的一小步。我会换个角度讲，看看哪里能豁然开朗。"),
            QStringLiteral("We've found a step to revisit. Let's try a different angle."),
            QStringLiteral("Nous avons trouvé un point à revoir sous un autre angle."));
    case Phase::retesting:
        return UIStrings::choose(QStringLiteral("老师会换一道题，检查你能否独立运用。"),
                                 QStringLiteral("Your tutor will use a different question to verify understanding."),
                                 QStringLiteral("Une autre question vérifiera votre compréhension."));
    case Phase::reviewing:
        return UIStrings::choose(
            QStringLiteral("刚才的作答显示你有进步了！我们继续下一点，之后也会安排复习。"),
            QStringLiteral("Your answers show progress! Let's keep going and revisit this later."),
            QStringLiteral("Vos réponses montrent des progrès ! Continuons, puis révisons."));
    case Phase::awaitingAnswer:
        return UIStrings::choose(
            QStringLiteral("轮到你试试看啦。可以先写一点思路，想要提示随时问我。"),
            QStringLiteral("Your turn. Try your first step, and ask me for a hint whenever you need."),
            QStringLiteral("À vous d'essayer. Demandez-moi un indice si besoin."));
    case Phase::paused:
        return UIStrings::choose(QStringLiteral("课堂已保存。恢复时继续保留你的学习记录。"),
                                 QStringLiteral("Your lesson is saved and can be resumed."),
                                 QStringLiteral("Votre cours est enregistré et peut reprendre."));
    }
    return {};
}

QString primaryTitle(MeridAction action, Phase phase) {
    switch (action) {
    case MeridAction::continueLearning:
        if (phase == Phase::paused)
            return UIStrings::choose(QStringLiteral("恢复上课"), QStringLiteral("Resume lesson"), QStringLiteral("Reprendre"));
        if (phase == Phase::reviewing)
            return UIStrings::choose(QStringLiteral("老师带我学下一点"), QStringLiteral("Teach the next concept"),
                                     QStringLiteral("Concept suivant"));
        return UIStrings::choose(QStringLiteral("开始这一小节"), QStringLiteral("Start this lesson"),
                                 QStringLiteral("Commencer cette leçon"));
    case MeridAction::explainDifferently:
        return UIStrings::choose(QStringLiteral("从更基础的地方讲"), QStringLiteral("Teach it from the basics"),
                                 QStringLiteral("Repartir des bases"));
    case MeridAction::testMe:
        return UIStrings::choose(QStringLiteral("老师给我一道新题"), QStringLiteral("Give me the next question"),
                                 QStringLiteral("Prochain exercice"));
    case MeridAction::reinforceMistake:
        return UIStrings::choose(QStringLiteral("老师针对错因补课"), QStringLiteral("Help me fix this mistake"),
                                 QStringLiteral("Corriger cette erreur"));
    case MeridAction::gradeAnswer:
    case MeridAction::summarize:
    case MeridAction::sprint:
    case MeridAction::skipConcept:
    case MeridAction::pause:
        break;
    }
    return UIStrings::choose(QStringLiteral("跟随老师继续"), QStringLiteral("Continue with tutor"),
                             QStringLiteral("Continuer avec le professeur"));
}

// The panel's tinted, rounded background.
class GuidancePanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        LessonaryTheme::fillRounded(painter, QRectF(rect()), LessonaryMERIDPalette::subtle(lessonary::currentScheme()),
                                    13);
    }
};

}  // namespace

MeridV12GuidedActionView::Content MeridV12GuidedActionView::content(const meridcore::MeridV12Guidance& guidance) {
    Content content;
    content.message = phaseMessage(guidance);
    if (guidance.recommendedAction && !guidance.requiresStudentAnswer) {
        content.primaryAction = guidance.recommendedAction;
        content.primaryTitle = primaryTitle(*guidance.recommendedAction, guidance.phase);
    }
    content.showsExplainAnotherWay = guidance.phase != Phase::paused && guidance.phase != Phase::awaitingAnswer &&
                                     guidance.recommendedAction != MeridAction::explainDifferently;
    content.showsPause = guidance.phase != Phase::paused;
    return content;
}

QString MeridV12GuidedActionView::requestNote() {
    return UIStrings::choose(
        QStringLiteral("点击后本轮最多发送 3 次 AI 请求；会在需要你作答时停下，可随时停止。"),
        QStringLiteral("Up to 3 AI requests per click. The tutor stops for your answer; you can stop anytime."),
        QStringLiteral("Jusqu'à 3 requêtes IA par clic. Pause pour répondre, arrêt possible à tout moment."));
}

MeridV12GuidedActionView::MeridV12GuidedActionView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.v12-teacher-guidance"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = new GuidancePanel(this);
    outer->addWidget(panel);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto* messageRow = new QHBoxLayout();
    messageRow->setSpacing(10);
    symbol_ = new LessonarySymbol(QStringLiteral("graduationcap.fill"), 16, panel);
    message_ = lessonary::makeLabel(panel, lessonary::font(13), true);
    messageRow->addWidget(symbol_, 0, Qt::AlignTop);
    messageRow->addWidget(message_, 1);
    column->addLayout(messageRow);
    note_ = lessonary::makeLabel(panel, lessonary::font(11), true);
    column->addWidget(note_);

    primary_ = new QPushButton(panel);
    primary_->setObjectName(QStringLiteral("orvel.merid.v12-teacher-next"));
    primary_->setCursor(Qt::PointingHandCursor);
    primary_->setLayoutDirection(Qt::RightToLeft);  // the arrow after the title
    primary_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    column->addWidget(primary_);

    auto* secondary = new QHBoxLayout();
    secondary->setSpacing(12);
    explain_ = new QPushButton(panel);
    pause_ = new QPushButton(panel);
    for (QPushButton* button : {explain_, pause_}) {
        button->setFont(lessonary::font(12));
        button->setCursor(Qt::PointingHandCursor);
    }
    secondary->addWidget(explain_);
    secondary->addStretch(1);
    secondary->addWidget(pause_);
    column->addLayout(secondary);

    connect(primary_, &QPushButton::clicked, this, [this] {
        if (guidance_.recommendedAction) Q_EMIT actionRequested(*guidance_.recommendedAction);
    });
    connect(explain_, &QPushButton::clicked, this, [this] { Q_EMIT actionRequested(MeridAction::explainDifferently); });
    connect(pause_, &QPushButton::clicked, this, [this] { Q_EMIT actionRequested(MeridAction::pause); });

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void MeridV12GuidedActionView::setGuidance(const meridcore::MeridV12Guidance& guidance, bool busy) {
    guidance_ = guidance;
    busy_ = busy;
    retranslate();
}

void MeridV12GuidedActionView::retranslate() {
    const Content shown = content(guidance_);
    message_->setText(shown.message);
    note_->setText(requestNote());
    primary_->setVisible(shown.primaryTitle.has_value());
    primary_->setText(shown.primaryTitle.value_or(QString()));
    explain_->setVisible(shown.showsExplainAnotherWay);
    explain_->setText(UIStrings::choose(QStringLiteral("没听懂，换种讲法"), QStringLiteral("Explain another way"),
                                        QStringLiteral("Autre explication")));
    pause_->setVisible(shown.showsPause);
    lessonary::setButtonTitle(pause_, UIStrings::choose(QStringLiteral("保存并暂停"), QStringLiteral("Save & pause"),
                                                        QStringLiteral("Enregistrer et pause")));
    for (QPushButton* button : {primary_, explain_, pause_}) button->setEnabled(!busy_);
}

void MeridV12GuidedActionView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor coral = LessonaryMERIDPalette::coral(scheme);
    symbol_->setColor(coral);
    lessonary::setTextColor(message_, LessonaryMERIDPalette::ink(scheme));
    lessonary::setTextColor(note_, LessonaryMERIDPalette::muted(scheme));
    lessonary::styleProminent(primary_, coral, scheme);
    primary_->setIcon(LessonarySymbol::icon(QStringLiteral("arrow.right"), Qt::white, 12, QColor(255, 255, 255, 140)));
    lessonary::styleBorderless(explain_, coral, scheme);
    lessonary::styleBorderless(pause_, coral, scheme);
    update();
}

}  // namespace velquin

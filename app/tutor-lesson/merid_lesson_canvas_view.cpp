#include "app/tutor-lesson/merid_lesson_canvas_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/shell/orvel_native_coach.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_paper_card.h"
#include "app/tutor-lesson/lessonary_six_milestone_ribbon.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_checkpoint_card.h"
#include "app/tutor-lesson/merid_grading_feedback_card.h"
#include "app/tutor-lesson/merid_past_turn_row.h"
#include "app/tutor-lesson/merid_v12_guided_action_view.h"
#include "app/tutor-lesson/merid_visual_lesson_view.h"
#include "base/raw_value.h"

namespace velquin {

using meridcore::MeridAction;

namespace {

constexpr int kSectionSpacing = 24;
constexpr char kSectionProperty[] = "lessonSection";

QLabel* sectionTitle(QWidget* parent) {
    QFont font = lessonary::font(11, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    return lessonary::makeLabel(parent, font, true);
}

QWidget* column(QWidget* parent, int spacing, QVBoxLayout** layout) {
    auto* widget = new QWidget(parent);
    auto* box = new QVBoxLayout(widget);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(spacing);
    *layout = box;
    return widget;
}

}  // namespace

MeridLessonCanvasView::MeridLessonCanvasView(OrvelNativeCoach& coach, QWidget* parent)
    : QWidget(parent), session_(0), model_(MeridLessonCanvasModel::make(session_, false, false)) {
    // The page keeps to 790 pixels at the leading edge of whatever width it gets.
    auto* frame = new QHBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    page_ = new QWidget(this);
    page_->setObjectName(QStringLiteral("orvel.merid.lessonary-classroom"));
    page_->setMaximumWidth(maximumWidth);
    page_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    frame->addWidget(page_, 1, Qt::AlignTop);
    frame->addStretch(0);
    auto* sections = new QVBoxLayout(page_);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(kSectionSpacing);

    // 1. Topic header.
    QVBoxLayout* headerLayout = nullptr;
    QWidget* header = column(page_, 8, &headerLayout);
    eyebrow_ = new LessonaryElidedLabel(1, header);
    QFont eyebrowFont = lessonary::font(11, QFont::DemiBold);
    eyebrowFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.1);
    eyebrow_->setFont(eyebrowFont);
    headerLayout->addWidget(eyebrow_);
    auto* titleRow = new QHBoxLayout();
    titleRow->setSpacing(12);
    title_ = lessonary::makeLabel(header, lessonary::font(23, QFont::Bold), true);
    titleRow->addWidget(title_, 1, Qt::AlignTop);
    chip_ = lessonary::makeLabel(header, lessonary::font(11, QFont::Medium), false);
    titleRow->addWidget(chip_, 0, Qt::AlignTop);
    headerLayout->addLayout(titleRow);
    sections->addWidget(header);

    // 2. Ribbon.
    ribbon_ = new LessonarySixMilestoneRibbon(page_);
    sections->addWidget(ribbon_);
    connect(ribbon_, &LessonarySixMilestoneRibbon::navigate, this, &MeridLessonCanvasView::navigateRequested);

    // 3. The classroom: the latest reply, or the placeholder card, and where it comes from.
    QVBoxLayout* classroomLayout = nullptr;
    classroom_ = column(page_, 12, &classroomLayout);
    classroomHeading_ = sectionTitle(classroom_);
    classroomLayout->addWidget(classroomHeading_);
    lesson_ = new MeridVisualLessonView(classroom_);
    classroomLayout->addWidget(lesson_);
    auto* placeholderContent = new QWidget;
    auto* placeholderColumn = new QVBoxLayout(placeholderContent);
    placeholderColumn->setContentsMargins(0, 0, 0, 0);
    placeholderColumn->setSpacing(9);
    placeholderTitle_ = lessonary::makeLabel(placeholderContent, lessonary::font(18, QFont::DemiBold), true);
    placeholderText_ = lessonary::makeLabel(placeholderContent, lessonary::font(14), true);
    placeholderColumn->addWidget(placeholderTitle_);
    placeholderColumn->addWidget(placeholderText_);
    placeholderColumn->addStretch(1);
    placeholderContent->setMinimumHeight(105);
    placeholder_ = new LessonaryPaperCard(placeholderContent, classroom_);
    classroomLayout->addWidget(placeholder_);
    sourceRow_ = new QWidget(classroom_);
    auto* sourceLayout = new QHBoxLayout(sourceRow_);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    sourceLayout->setSpacing(7);
    sourceSymbol_ = new LessonarySymbol(QStringLiteral("doc.text"), 12, sourceRow_);
    sourceName_ = new LessonaryElidedLabel(1, sourceRow_);
    sourceName_->setFont(lessonary::font(11));
    sourcePosition_ = lessonary::makeLabel(sourceRow_, lessonary::font(11), false);
    sourceMarker_ = lessonary::makeLabel(sourceRow_, lessonary::font(11), false);
    sourceLayout->addWidget(sourceSymbol_, 0, Qt::AlignVCenter);
    sourceLayout->addWidget(sourceName_, 0, Qt::AlignVCenter);
    sourceLayout->addWidget(sourcePosition_, 0, Qt::AlignVCenter);
    sourceLayout->addWidget(sourceMarker_, 0, Qt::AlignVCenter);
    sourceLayout->addStretch(1);
    classroomLayout->addWidget(sourceRow_);
    sections->addWidget(classroom_);

    // 4. Grading feedback, 5. the check question.
    feedback_ = new MeridGradingFeedbackCard(page_);
    feedback_->setProperty(kSectionProperty, QStringLiteral("grade"));
    sections->addWidget(feedback_);
    checkpoint_ = new MeridCheckpointCard(coach, page_);
    sections->addWidget(checkpoint_);
    connect(checkpoint_, &MeridCheckpointCard::gradeRequested, this,
            [this] { Q_EMIT actionRequested(MeridAction::gradeAnswer); });
    connect(checkpoint_, &MeridCheckpointCard::cancelRequested, this, &MeridLessonCanvasView::cancelRequested);
    connect(checkpoint_, &MeridCheckpointCard::answerDraftChanged, this, [this](const QString& draft) {
        // The page shows the session as typed: the grade button follows the text at once.
        session_.draft = draft;
        model_ = MeridLessonCanvasModel::make(session_, busy_, canSave_);
        checkpoint_->setState(model_.presentation.pendingQuestion ? model_.presentation.pendingQuestion->question
                                                                   : QString(),
                              busy_, canSave_, model_.canSubmitAnswer);
        Q_EMIT answerDraftChanged(draft);
    });

    // 6. What next.
    QVBoxLayout* nextLayout = nullptr;
    nextActions_ = column(page_, 10, &nextLayout);
    nextActionsHeading_ = sectionTitle(nextActions_);
    nextLayout->addWidget(nextActionsHeading_);
    guided_ = new MeridV12GuidedActionView(nextActions_);
    nextLayout->addWidget(guided_);
    sections->addWidget(nextActions_);
    connect(guided_, &MeridV12GuidedActionView::actionRequested, this, &MeridLessonCanvasView::actionRequested);

    // 7. Earlier turns, closed at first.
    QVBoxLayout* earlierLayout = nullptr;
    earlier_ = column(page_, 10, &earlierLayout);
    earlierToggle_ = new QToolButton(earlier_);
    earlierToggle_->setCheckable(true);
    earlierToggle_->setAutoRaise(true);
    earlierToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    earlierToggle_->setFont(lessonary::font(13));
    earlierToggle_->setCursor(Qt::PointingHandCursor);
    earlierLayout->addWidget(earlierToggle_, 0, Qt::AlignLeft);
    earlierRows_ = column(earlier_, 10, &earlierRowsLayout_);
    earlierRows_->setVisible(false);
    earlierLayout->addWidget(earlierRows_);
    sections->addWidget(earlier_);
    connect(earlierToggle_, &QToolButton::toggled, this, &MeridLessonCanvasView::setEarlierTurnsExpanded);

    // 8. Footer.
    auto* footer = new QHBoxLayout();
    footer->setContentsMargins(0, 8, 0, 0);
    footer->setSpacing(3);
    footer_ = lessonary::makeLabel(page_, lessonary::font(11), true);
    footerMark_ = lessonary::makeLabel(page_, lessonary::font(11), false);
    footerMark_->setText(QStringLiteral("MERID · Lessonary"));
    footer->addWidget(footer_, 1, Qt::AlignVCenter);
    footer->addWidget(footerMark_, 0, Qt::AlignVCenter);
    sections->addLayout(footer);
    sections->addStretch(1);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    refresh();
}

void MeridLessonCanvasView::setLesson(const meridcore::TeacherLearningSession& session, bool busy, bool canSave) {
    session_ = session;
    busy_ = busy;
    canSave_ = canSave;
    model_ = MeridLessonCanvasModel::make(session_, busy_, canSave_);
    refresh();
}

QWidget* MeridLessonCanvasView::section(const QString& milestoneID) const {
    for (QWidget* candidate : {static_cast<QWidget*>(classroom_), static_cast<QWidget*>(feedback_),
                               static_cast<QWidget*>(checkpoint_)})
        if (candidate->isVisibleTo(this) && candidate->property(kSectionProperty).toString() == milestoneID)
            return candidate;
    return nullptr;
}

void MeridLessonCanvasView::setEarlierTurnsExpanded(bool expanded) {
    if (earlierToggle_->isChecked() != expanded) earlierToggle_->setChecked(expanded);
    if (expandEarlier_ == expanded) return;
    expandEarlier_ = expanded;
    restyle();
    rebuildEarlierTurns();
    earlierRows_->setVisible(expanded);
}

QList<QWidget*> MeridLessonCanvasView::earlierTurnRows() const {
    QList<QWidget*> rows;
    for (int i = 0; i < earlierRowsLayout_->count(); ++i)
        if (QWidget* row = earlierRowsLayout_->itemAt(i)->widget()) rows << row;
    return rows;
}

void MeridLessonCanvasView::refresh() {
    const meridcore::LessonaryPresentationState& state = model_.presentation;

    ribbon_->setMilestones(state.milestones, model_.navigable);

    classroom_->setProperty(kSectionProperty, model_.classroomSectionID);
    const bool hasReply = state.lastResponse && !state.lastResponse->isEmpty();
    lesson_->setVisible(hasReply);
    lesson_->setResponse(hasReply ? *state.lastResponse : QString());
    placeholder_->setVisible(!hasReply);
    sourceRow_->setVisible(model_.sourceName.has_value());
    sourceName_->setFullText(model_.sourceName.value_or(QString()));
    sourcePosition_->setText(model_.sourcePosition);
    sourceMarker_->setVisible(model_.sourceMarker.has_value());
    sourceMarker_->setText(QStringLiteral("· ") + model_.sourceMarker.value_or(QString()));

    feedback_->setVisible(state.lastAssessedQuestion.has_value());
    if (state.lastAssessedQuestion) feedback_->setRecord(*state.lastAssessedQuestion);

    checkpoint_->setVisible(state.pendingQuestion.has_value());
    checkpoint_->setProperty(kSectionProperty, model_.checkpointSectionID.value_or(QString()));
    if (state.pendingQuestion) {
        checkpoint_->setAnswerDraft(session_.draft);
        checkpoint_->setState(state.pendingQuestion->question, busy_, canSave_, model_.canSubmitAnswer);
    }

    nextActions_->setVisible(model_.showsNextActions);
    guided_->setGuidance(model_.guidance, busy_ || !canSave_);

    earlier_->setVisible(!model_.earlierTurns.isEmpty());
    rebuildEarlierTurns();

    retranslate();
    restyle();
}

void MeridLessonCanvasView::rebuildEarlierTurns() {
    // Rows are made when the group is open (formula rows are costly), and again when the turns change.
    if (!expandEarlier_ || shownEarlierTurns_ == model_.earlierTurns) return;
    while (QLayoutItem* item = earlierRowsLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const meridcore::TeacherTurn& turn : model_.earlierTurns)
        earlierRowsLayout_->addWidget(new MeridPastTurnRow(turn, earlierRows_));
    shownEarlierTurns_ = model_.earlierTurns;
}

void MeridLessonCanvasView::retranslate() {
    eyebrow_->setFullText(model_.eyebrow);
    title_->setText(model_.studentFacingTopic());
    chip_->setText(model_.evidenceChipText());
    classroomHeading_->setText(model_.classroomSectionLabel());
    placeholderTitle_->setText(UIStrings::choose(QStringLiteral("从一个真实知识点开始"),
                                                 QStringLiteral("Start with a real concept"),
                                                 QStringLiteral("Commencez avec un vrai concept")));
    placeholderText_->setText(model_.placeholderText());
    nextActionsHeading_->setText(UIStrings::choose(QStringLiteral("接下来，一起学"), QStringLiteral("LET'S KEEP LEARNING"),
                                                   QStringLiteral("CONTINUONS ENSEMBLE")));
    earlierToggle_->setText(MeridLessonCanvasModel::earlierTurnsTitle(model_.earlierTurns.size()));
    footer_->setText(UIStrings::choose(QStringLiteral("教学步骤并不代表掌握程度。状态只来自真实答题记录。"),
                                       QStringLiteral("Learning steps are not mastery. Evidence comes from actual answers."),
                                       QStringLiteral("Les étapes ne prouvent pas la maîtrise ; seules les réponses "
                                                      "comptent.")));
}

void MeridLessonCanvasView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor ink = LessonaryMERIDPalette::ink(scheme);
    const QColor muted = LessonaryMERIDPalette::muted(scheme);
    lessonary::setTextColor(eyebrow_, LessonaryMERIDPalette::coral(scheme));
    lessonary::setTextColor(title_, ink);
    const QColor evidence = MeridLessonCanvasModel::evidenceColor(model_.guidance.evidence.status, scheme);
    const int chipHeight = chip_->fontMetrics().height() + 12;
    chip_->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border: 1px solid %3;"
                                        " border-radius: %4px; padding: 5px 10px; }")
                             .arg(evidence.name(), LessonaryMERIDPalette::card(scheme).name(),
                                  LessonaryMERIDPalette::line(scheme).name())
                             .arg(chipHeight / 2));
    chip_->setProperty("evidenceStatus", base::rawValue(model_.guidance.evidence.status));
    for (QLabel* label : {classroomHeading_, nextActionsHeading_, placeholderText_, sourcePosition_, sourceMarker_,
                          footer_, footerMark_})
        lessonary::setTextColor(label, muted);
    lessonary::setTextColor(sourceName_, muted);
    lessonary::setTextColor(placeholderTitle_, ink);
    sourceSymbol_->setColor(muted);
    earlierToggle_->setStyleSheet(
        QStringLiteral("QToolButton { border: none; background: transparent; padding: 2px 0; color: %1; }")
            .arg(ink.name()));
    // The disclosure chevron, then the clock.
    const qreal ratio = devicePixelRatioF();
    QPixmap icon(qCeil(30 * ratio), qCeil(14 * ratio));
    icon.setDevicePixelRatio(ratio);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.drawPixmap(QPointF(0, 2), LessonarySymbol::pixmap(expandEarlier_ ? QStringLiteral("chevron.down")
                                                                                 : QStringLiteral("chevron.right"),
                                                                  muted, 10, ratio));
        painter.drawPixmap(QPointF(16, 0), LessonarySymbol::pixmap(QStringLiteral("clock.arrow.circlepath"), ink, 14, ratio));
    }
    earlierToggle_->setIconSize(QSize(30, 14));
    earlierToggle_->setIcon(QIcon(icon));
}

}  // namespace velquin

#include "app/tutor-lesson/merid_lesson_canvas_model.h"

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "base/text.h"

namespace velquin {

using meridcore::LessonaryMilestoneStatus;
using meridcore::MeridV12KnowledgeStatus;
using meridcore::TeacherMode;

namespace {

bool isBlank(const std::optional<QString>& text) { return !text || base::text::trimmed(*text).isEmpty(); }

}  // namespace

MeridLessonCanvasModel MeridLessonCanvasModel::make(const meridcore::TeacherLearningSession& session, bool busy,
                                                    bool canSave, base::Date now) {
    MeridLessonCanvasModel model;
    model.presentation = meridcore::LessonaryPresentationMapper::map(session, busy, canSave);
    model.guidance = meridcore::MeridV12LessonPolicy::guide(session, now);
    const meridcore::LessonaryPresentationState& state = model.presentation;

    model.eyebrow = session.courseName && !session.courseName->isEmpty() ? session.courseName->toUpper()
                                                                          : QStringLiteral("MERID · LESSONARY");
    std::optional<QString> heading;
    if (session.coursePlan)
        if (const auto topic = session.coursePlan->activeTopic()) heading = topic->heading;
    if (!isBlank(heading))
        model.namedTopic = heading;
    else if (!isBlank(session.topicName))
        model.namedTopic = session.topicName;
    model.hasMaterial = session.material.has_value();

    if (state.classroomMode == TeacherMode::summary)
        model.classroom = Classroom::summary;
    else if (state.classroomMode == TeacherMode::sprint)
        model.classroom = Classroom::sprint;
    else if (state.classroomMode == TeacherMode::teach && session.activeLessonStep() == meridcore::MeridStep::reinforce)
        model.classroom = Classroom::repair;
    model.classroomSectionID = model.classroom == Classroom::explain  ? QStringLiteral("explain")
                               : model.classroom == Classroom::repair ? QStringLiteral("repair")
                                                                      : QStringLiteral("recap");

    if (state.lastResponse) model.navigable.insert(model.classroomSectionID);
    if (state.pendingQuestion) {
        const bool retesting =
            state.milestones.size() > 4 && state.milestones.at(4).status == LessonaryMilestoneStatus::active;
        model.checkpointSectionID = retesting ? QStringLiteral("retest") : QStringLiteral("quiz");
        model.navigable.insert(*model.checkpointSectionID);
    }
    if (state.lastAssessedQuestion) model.navigable.insert(QStringLiteral("grade"));
    model.showsNextActions = !state.pendingQuestion.has_value();
    if (session.turns.size() > 2) model.earlierTurns = session.turns.mid(0, session.turns.size() - 2);

    model.sourceName = state.sourceName;
    model.sourceMarker = state.sourceMarker;
    const qsizetype chunks = session.material ? session.material->count() : 1;
    model.sourcePosition = QStringLiteral("· %1/%2").arg(session.chunkIndex + 1).arg(chunks);
    // The button is replaced while a request runs, so the rule leaves `busy` out.
    model.canSubmitAnswer = meridcore::LessonaryPresentationMapper::map(session, false, canSave).canSubmitAnswer;
    return model;
}

QString MeridLessonCanvasModel::studentFacingTopic() const {
    if (namedTopic) return *namedTopic;
    if (hasMaterial)
        return UIStrings::choose(QStringLiteral("今天，一起弄懂一个知识点"),
                                 QStringLiteral("Let's understand one idea today"),
                                 QStringLiteral("Comprenons une notion aujourd'hui"));
    // A session not yet named keeps the stored default title, shown translated.
    if (presentation.topic == meridcore::TeacherLearningSession::defaultTitle)
        return UIStrings::text(presentation.topic);
    return presentation.topic;
}

QString MeridLessonCanvasModel::classroomSectionLabel() const {
    switch (classroom) {
    case Classroom::summary:
        return UIStrings::choose(QStringLiteral("学习总结"), QStringLiteral("LEARNING SUMMARY"), QStringLiteral("SYNTHÈSE"));
    case Classroom::sprint:
        return UIStrings::choose(QStringLiteral("考前冲刺"), QStringLiteral("EXAM SPRINT"),
                                 QStringLiteral("RÉVISION EXPRESS"));
    case Classroom::repair:
        return UIStrings::choose(QStringLiteral("针对性补救"), QStringLiteral("TARGETED EXPLANATION"),
                                 QStringLiteral("EXPLICATION CIBLÉE"));
    case Classroom::explain: break;
    }
    return UIStrings::choose(QStringLiteral("01 / 知识点讲解"), QStringLiteral("01 / CONCEPT EXPLANATION"),
                             QStringLiteral("01 / EXPLICATION"));
}

QString MeridLessonCanvasModel::evidenceChipText() const { return evidenceChipText(guidance.evidence.status); }

QString MeridLessonCanvasModel::evidenceChipText(MeridV12KnowledgeStatus status) {
    switch (status) {
    case MeridV12KnowledgeStatus::notTested:
        return UIStrings::choose(QStringLiteral("准备开始"), QStringLiteral("Ready to begin"),
                                 QStringLiteral("Prêt à commencer"));
    case MeridV12KnowledgeStatus::learning:
        return UIStrings::choose(QStringLiteral("正在理解"), QStringLiteral("Learning"), QStringLiteral("En apprentissage"));
    case MeridV12KnowledgeStatus::needsRepair:
        return UIStrings::choose(QStringLiteral("一起再练练"), QStringLiteral("Let's practice more"),
                                 QStringLiteral("Encore un essai"));
    case MeridV12KnowledgeStatus::provisional:
        return UIStrings::choose(QStringLiteral("初步通过 · 待复测"), QStringLiteral("Preliminary · retest"),
                                 QStringLiteral("À confirmer"));
    case MeridV12KnowledgeStatus::supported:
        return UIStrings::choose(QStringLiteral("已有掌握证据"), QStringLiteral("Supported by answers"),
                                 QStringLiteral("Acquis à vérifier"));
    }
    return {};
}

QColor MeridLessonCanvasModel::evidenceColor(MeridV12KnowledgeStatus status, ColorScheme scheme) {
    switch (status) {
    case MeridV12KnowledgeStatus::needsRepair: return LessonaryMERIDPalette::warning(scheme);
    case MeridV12KnowledgeStatus::provisional: return LessonaryMERIDPalette::coral(scheme);
    case MeridV12KnowledgeStatus::supported: return LessonaryMERIDPalette::success(scheme);
    case MeridV12KnowledgeStatus::notTested:
    case MeridV12KnowledgeStatus::learning: break;
    }
    return LessonaryMERIDPalette::muted(scheme);
}

QString MeridLessonCanvasModel::placeholderText() const {
    if (hasMaterial)
        return UIStrings::choose(QStringLiteral("教材已经导入。你可以让 MERID 先讲解一个知识点。"),
                                 QStringLiteral("Your source is ready. Ask MERID to explain one concept."),
                                 QStringLiteral("Votre document est prêt. Demandez une explication à MERID."));
    return UIStrings::choose(
        QStringLiteral("导入自己的课件，或提出想理解的概念。点击讲解时才会发送 AI 请求。"),
        QStringLiteral("Import course material or choose a concept. AI runs only when you click an action."),
        QStringLiteral("Importez un cours ou choisissez un concept. L’IA ne répond que sur demande."));
}

QString MeridLessonCanvasModel::earlierTurnsTitle(qsizetype count) {
    const QString n = QString::number(count);
    return UIStrings::choose(QStringLiteral("更早的学习记录（") + n + QStringLiteral(" 条）"),
                             QStringLiteral("Previous learning turns (") + n + QLatin1Char(')'),
                             QStringLiteral("Échanges précédents (") + n + QLatin1Char(')'));
}

QString MeridLessonCanvasModel::visibleFeedback(const QString& text) {
    QStringList kept;
    for (const QString& line : base::text::splitLines(text))
        if (!base::text::upper(base::text::trimmed(line)).startsWith(QLatin1String("EVAL_RESULT:"))) kept << line;
    return base::text::trimmed(kept.join(QLatin1Char('\n')));
}

}  // namespace velquin

#pragma once

#include <QColor>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

#include "app/shell/application_appearance.h"
#include "base/json.h"
#include "tutor-engine/lessonary_presentation_mapper.h"
#include "tutor-engine/merid_v12_lesson_policy.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_turn.h"

namespace velquin {

// What the lesson page shows of one session, derived at once from the engine's presentation and
// guidance: which sections appear, under which milestone id, and the values of the header and
// source line. Texts are read in the current interface language when asked for.
struct MeridLessonCanvasModel {
    // What kind of reply the classroom section shows; decides its id and heading.
    enum class Classroom { explain, repair, summary, sprint };

    static MeridLessonCanvasModel make(const meridcore::TeacherLearningSession& session, bool busy, bool canSave,
                                       base::Date now = base::Date::now());

    meridcore::LessonaryPresentationState presentation;
    meridcore::MeridV12Guidance guidance;

    // The header: the course name in upper case or the fixed mark, and the topic.
    QString eyebrow;
    // The heading of the active course topic or the topic name (each only when not blank); none
    // falls back to the material's or the mapper's topic.
    std::optional<QString> namedTopic;
    bool hasMaterial = false;

    Classroom classroom = Classroom::explain;
    // "explain", "repair" or "recap".
    QString classroomSectionID;
    // The milestones the ribbon may jump to: the sections this page shows.
    QSet<QString> navigable;
    // "quiz", or "retest" while that milestone is the current one; none without a pending question.
    std::optional<QString> checkpointSectionID;
    bool showsNextActions = false;
    // Every turn but the last two.
    QList<meridcore::TeacherTurn> earlierTurns;
    // "· 3/12" and the page or slide label, when there is a source.
    std::optional<QString> sourceName;
    QString sourcePosition;
    std::optional<QString> sourceMarker;
    // The grade button's rule: saving allowed, a question pending and a non-blank answer draft.
    bool canSubmitAnswer = false;

    // Texts, in the current interface language.
    QString studentFacingTopic() const;
    QString classroomSectionLabel() const;
    QString evidenceChipText() const;
    QString placeholderText() const;

    static QColor evidenceColor(meridcore::MeridV12KnowledgeStatus status, ColorScheme scheme);
    static QString evidenceChipText(meridcore::MeridV12KnowledgeStatus status);
    static QString earlierTurnsTitle(qsizetype count);
    // The grading text without its machine lines ("EVAL_RESULT:…", any case, leading blanks
    // ignored), lines joined by line feeds and trimmed.
    static QString visibleFeedback(const QString& text);
};

}  // namespace velquin

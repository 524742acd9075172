// The lesson page derived from a session: milestones, questions, lesson text and actions.
#include <gtest/gtest.h>

#include "tutor-engine/lessonary_presentation_mapper.h"

using namespace meridcore;
namespace mapper = meridcore::LessonaryPresentationMapper;

namespace {

using Status = LessonaryMilestoneStatus;

TeacherLearningSession newSession() {
    TeacherLearningSession session(0, {.title = QStringLiteral("线性代数复习")});
    return session;
}

QList<Status> statuses(const LessonaryPresentationState& state) {
    QList<Status> result;
    for (const LessonaryMilestone& milestone : state.milestones) result.append(milestone.status);
    return result;
}

MeridQuizRecord question(const QString& text, const QString& topic = QStringLiteral("当前知识点")) {
    return MeridQuizRecord(QUuid::createUuid(), text, topic, QStringLiteral("s"));
}

void answer(MeridQuizRecord& record, MeridAssessment assessment) {
    record.answer = QStringLiteral("我的答案");
    record.assessment = assessment;
    record.usedHint = false;
}

}  // namespace

TEST(LessonaryPresentationMapperTest, NewSession) {
    const TeacherLearningSession session = newSession();
    const LessonaryPresentationState state = mapper::map(session, false, true);

    ASSERT_EQ(state.milestones.size(), 6);
    QStringList ids;
    for (const LessonaryMilestone& milestone : state.milestones) {
        ids.append(milestone.id);
        EXPECT_EQ(milestone.titleKey, milestone.id);
    }
    EXPECT_EQ(ids, (QStringList{QStringLiteral("explain"), QStringLiteral("quiz"), QStringLiteral("grade"),
                                QStringLiteral("repair"), QStringLiteral("retest"), QStringLiteral("recap")}));
    EXPECT_EQ(statuses(state), (QList<Status>{Status::active, Status::available, Status::locked, Status::available,
                                              Status::locked, Status::available}));
    EXPECT_EQ(state.pendingQuestion, std::nullopt);
    EXPECT_EQ(state.lastAssessedQuestion, std::nullopt);
    EXPECT_FALSE(state.canSubmitAnswer);
    EXPECT_EQ(state.sourceName, std::nullopt);
    EXPECT_EQ(state.sourceMarker, std::nullopt);
    EXPECT_EQ(state.course, QStringLiteral("线性代数复习"));
    EXPECT_EQ(state.topic, QStringLiteral("线性代数复习"));
    EXPECT_EQ(state.evidence, MeridEvidenceStatus::notTested);
    EXPECT_EQ(state.lastResponse, std::nullopt);
    EXPECT_EQ(state.classroomMode, TeacherMode::teach);
    EXPECT_EQ(state.recommendedActions, (QList<MeridAction>{MeridAction::continueLearning,
                                                            MeridAction::explainDifferently, MeridAction::testMe,
                                                            MeridAction::pause}));
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(base::rawValue(Status::completedByAction), QStringLiteral("completedByAction"));
    EXPECT_EQ(base::fromRawValue<Status>(QStringLiteral("requiresReview")), Status::requiresReview);
    EXPECT_EQ(base::fromRawValue<Status>(QStringLiteral("Locked")), std::nullopt);
}

TEST(LessonaryPresentationMapperTest, PendingQuestionThroughGradingToRetest) {
    TeacherLearningSession session = newSession();
    session.lessonStep = MeridStep::practice;
    session.quizRecords->append(question(QStringLiteral("什么是秩？")));

    LessonaryPresentationState state = mapper::map(session, false, true);
    EXPECT_EQ(statuses(state), (QList<Status>{Status::available, Status::active, Status::locked, Status::available,
                                              Status::locked, Status::available}));
    ASSERT_TRUE(state.pendingQuestion);
    EXPECT_EQ(state.pendingQuestion->question, QStringLiteral("什么是秩？"));
    EXPECT_EQ(state.recommendedActions,
              (QList<MeridAction>{MeridAction::gradeAnswer, MeridAction::explainDifferently, MeridAction::pause}));

    // The answer box opens only with a non-blank draft, a workspace that may save and no request running.
    EXPECT_FALSE(state.canSubmitAnswer);
    session.draft = QStringLiteral(" \n ");
    EXPECT_FALSE(mapper::map(session, false, true).canSubmitAnswer);
    session.draft = QStringLiteral("矩阵的秩是……");
    EXPECT_TRUE(mapper::map(session, false, true).canSubmitAnswer);
    EXPECT_FALSE(mapper::map(session, false, false).canSubmitAnswer);
    state = mapper::map(session, true, true);
    EXPECT_FALSE(state.canSubmitAnswer);
    EXPECT_TRUE(state.busy);

    // Graded correct.
    answer(session.quizRecords->last(), MeridAssessment::correct);
    session.lessonStep = MeridStep::review;
    state = mapper::map(session, false, true);
    EXPECT_EQ(statuses(state), (QList<Status>{Status::available, Status::completedByAction, Status::completedByAction,
                                              Status::available, Status::available, Status::available}));
    EXPECT_EQ(state.lastAssessedQuestion, session.quizRecords->last());
    EXPECT_EQ(state.pendingQuestion, std::nullopt);
    EXPECT_FALSE(state.canSubmitAnswer);

    // A new question: retest becomes active while quiz stays done.
    session.quizRecords->append(question(QStringLiteral("秩与行列式？")));
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.milestones.at(1).status, Status::completedByAction);
    EXPECT_EQ(state.milestones.at(4).status, Status::active);
    EXPECT_EQ(state.pendingQuestion->question, QStringLiteral("秩与行列式？"));

    // An answer still waiting for its grading is never the last assessed question.
    answer(session.quizRecords->last(), MeridAssessment::unassessed);
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.lastAssessedQuestion->question, QStringLiteral("什么是秩？"));
}

TEST(LessonaryPresentationMapperTest, TopicEvidenceAndRepair) {
    TeacherLearningSession session = newSession();
    session.lessonStep = MeridStep::reinforce;
    MeridQuizRecord wrong = question(QStringLiteral("Q1"));
    answer(wrong, MeridAssessment::incorrect);
    session.quizRecords->append(wrong);
    LessonaryPresentationState state = mapper::map(session, false, true);
    EXPECT_EQ(state.evidence, MeridEvidenceStatus::needsReview);
    EXPECT_EQ(state.milestones.at(3).status, Status::active);  // the step wins over the evidence
    session.lessonStep = MeridStep::master;
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.milestones.at(3).status, Status::requiresReview);
    EXPECT_EQ(state.milestones.at(5).status, Status::active);
    EXPECT_EQ(state.recommendedActions.first(), MeridAction::reinforceMistake);

    // Two unaided correct answers, one an explanation: the topic's own evidence completes the retest.
    MeridQuizRecord a = question(QStringLiteral("Q2"));
    answer(a, MeridAssessment::correct);
    MeridQuizRecord b = question(QStringLiteral("Q3"));
    answer(b, MeridAssessment::correct);
    b.questionKind = QStringLiteral("explanation");
    session.quizRecords->append(a);
    session.quizRecords->append(b);
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.milestones.at(4).status, Status::completedByAction);
    EXPECT_EQ(state.milestones.at(3).status, Status::available);
}

TEST(LessonaryPresentationMapperTest, RecordsOfOtherTopicsAreIgnored) {
    TeacherLearningSession session = newSession();
    session.topicName = QStringLiteral("  特征值 ");
    MeridQuizRecord same = question(QStringLiteral("Q1"), QStringLiteral("特征值"));
    MeridQuizRecord other = question(QStringLiteral("Q2"), QStringLiteral("行列式"));
    session.quizRecords = QList<MeridQuizRecord>{same, other};
    // The trimmed topic name selects the records: the latest pending one of the topic is Q1.
    EXPECT_EQ(mapper::map(session, false, true).pendingQuestion->question, QStringLiteral("Q1"));
    EXPECT_EQ(mapper::map(session, false, true).topic, QStringLiteral("特征值"));
    // A blank topic name counts every record.
    session.topicName = QStringLiteral("   ");
    EXPECT_EQ(mapper::map(session, false, true).pendingQuestion->question, QStringLiteral("Q2"));

    // With an active plan topic only its records count, whatever their topic text.
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = QStringLiteral("fp");
    plan.topics = {{QStringLiteral("fp:line-1"), QStringLiteral("特征值"), 1, 0, std::nullopt}};
    plan.activeTopicID = QStringLiteral("fp:line-1");
    session.coursePlan = plan;
    session.topicName = QStringLiteral("特征值");
    LessonaryPresentationState state = mapper::map(session, false, true);
    EXPECT_EQ(state.pendingQuestion, std::nullopt);
    EXPECT_EQ(state.milestones.at(1).status, Status::available);
    session.quizRecords->first().sourceTopicID = QStringLiteral("fp:line-1");
    EXPECT_EQ(mapper::map(session, false, true).pendingQuestion->question, QStringLiteral("Q1"));
}

TEST(LessonaryPresentationMapperTest, HeaderAndLessonText) {
    TeacherLearningSession session = newSession();
    session.courseName = QStringLiteral("   ");
    EXPECT_EQ(mapper::map(session, false, true).course, QStringLiteral("   "));
    session.courseName = QString();
    EXPECT_EQ(mapper::map(session, false, true).course, QStringLiteral("线性代数复习"));

    session.material = TeacherMaterial(QStringLiteral("讲义.pdf"), QStringLiteral("[第 4 页]\n正文"), QString());
    LessonaryPresentationState state = mapper::map(session, false, true);
    EXPECT_EQ(state.sourceName, QStringLiteral("讲义.pdf"));
    EXPECT_EQ(state.sourceMarker, QStringLiteral("[第 4 页]"));

    // Without a latest reply, teach, summary and sprint show the last tutor turn.
    session.addExchange(QStringLiteral("问"), QStringLiteral("答一"), base::Date{1});
    session.addExchange(QStringLiteral("问"), QStringLiteral("答二"), base::Date{2});
    session.mode = TeacherMode::summary;
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.lastResponse, QStringLiteral("答二"));
    EXPECT_EQ(state.classroomMode, TeacherMode::summary);
    session.mode = TeacherMode::quiz;
    session.latestClassroomResponse = QString();  // empty counts as absent
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.lastResponse, std::nullopt);
    EXPECT_EQ(state.classroomMode, std::nullopt);

    session.latestClassroomResponse = QStringLiteral("最新讲解");
    state = mapper::map(session, false, true);
    EXPECT_EQ(state.lastResponse, QStringLiteral("最新讲解"));
    EXPECT_EQ(state.classroomMode, TeacherMode::teach);

    // With an active plan topic and no latest reply, older turns are not shown.
    MeridV12CoursePlan plan;
    plan.topics = {{QStringLiteral("fp:line-1"), QStringLiteral("特征值"), 1, 0, std::nullopt}};
    plan.activeTopicID = QStringLiteral("fp:line-1");
    session.coursePlan = plan;
    session.latestClassroomResponse.reset();
    session.mode = TeacherMode::teach;
    EXPECT_EQ(mapper::map(session, false, true).lastResponse, std::nullopt);
}

// Building tutor requests from a session and recording the checked replies into it.
#include <gtest/gtest.h>

#include "base/text.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_response_recorder.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/teacher_stage_flow.h"

using namespace meridcore;

namespace {

using Role = TeacherTurn::Role;

const base::Date kNow{1000};

TeacherMaterial material() {
    return TeacherMaterial(QStringLiteral("bio.pdf"),
                           QStringLiteral("第一章 细胞\n[第 1 页]\n细胞是生命的基本单位。\n第二章 能量\n[第 2 页]\nATP 储存能量。"),
                           QStringLiteral("PDF"));
}

TeacherLearningSession session(TeacherMode mode = TeacherMode::teach) {
    TeacherLearningSession result(0, {.date = base::Date{0},
                                      .mode = mode,
                                      .turns = {TeacherTurn(Role::user, QStringLiteral("earlier")),
                                                TeacherTurn(Role::assistant, QStringLiteral("reply"))},
                                      .material = material(),
                                      .draft = QStringLiteral("  请讲解  ")});
    result.topicName = QStringLiteral("细胞");
    return result;
}

void addPendingQuestion(TeacherLearningSession& target, const QString& question) {
    target.quizRecords->append(MeridQuizRecord(QUuid::createUuid(), question, QStringLiteral("细胞"), QString()));
}

MeridV12CoursePlan planWithSecondChapterActive(const TeacherMaterial& source) {
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = MeridV12CourseNavigator::fingerprint(source);
    plan.sourceName = source.name();
    const QString id = plan.sourceFingerprint + QStringLiteral(":line-4");
    plan.topics = {{plan.sourceFingerprint + QStringLiteral(":line-1"), QStringLiteral("第一章 细胞"), 1, 0, std::nullopt},
                   {id, QStringLiteral("第二章 能量"), 4, 0, QStringLiteral("[第 2 页]")}};
    plan.activeTopicID = id;
    return plan;
}

}  // namespace

TEST(MeridRequestBuilder, LessonRequestQuotesTheCurrentSegmentOrTheActiveChapter) {
    TeacherLearningSession lesson = session();
    const MeridTutorRequest request = MeridRequestBuilder::makeRequest(lesson);
    EXPECT_EQ(request.mode, TeacherMode::teach);
    ASSERT_EQ(request.messages.size(), 3);
    EXPECT_EQ(request.messages.first(), lesson.turns.first());
    EXPECT_EQ(request.messages.last(),
              TeacherTurn(Role::user,
                          TeacherStageFlow::makeRequestText(lesson.draft, lesson.material, 0, TeacherMode::teach)));
    EXPECT_EQ(request.topic, QStringLiteral("细胞"));
    EXPECT_EQ(request.sourceName, QStringLiteral("bio.pdf"));
    EXPECT_EQ(request.segmentIndex, 0);

    lesson.coursePlan = planWithSecondChapterActive(*lesson.material);
    const MeridTutorRequest chapter = MeridRequestBuilder::makeRequest(lesson);
    EXPECT_EQ(chapter.messages.last().content,
              MeridV12CourseNavigator::chapterRequestText(lesson.draft, *lesson.material,
                                                          *lesson.coursePlan->activeTopic(), 0));
    EXPECT_TRUE(chapter.messages.last().content.contains(QStringLiteral("当前课程章节：《第二章 能量》")));
    EXPECT_EQ(chapter.sourceName, QStringLiteral("bio.pdf"));

    // Without material neither a segment nor a chapter is quoted.
    TeacherLearningSession bare = session(TeacherMode::summary);
    bare.material.reset();
    bare.coursePlan = planWithSecondChapterActive(material());
    const MeridTutorRequest plain = MeridRequestBuilder::makeRequest(bare);
    EXPECT_EQ(plain.mode, TeacherMode::summary);
    EXPECT_EQ(plain.messages.last().content, QStringLiteral("请讲解"));
    EXPECT_FALSE(plain.sourceName);
    EXPECT_FALSE(plain.segmentIndex);
}

TEST(MeridRequestBuilder, GradeRequestQuotesThePendingQuestionAndNoMaterial) {
    TeacherLearningSession grading = session(TeacherMode::grade);
    grading.draft = QStringLiteral(" 线粒体 ");
    try {
        MeridRequestBuilder::makeRequest(grading);
        ADD_FAILURE() << "built without a pending question";
    } catch (const MeridLearningError& error) {
        EXPECT_EQ(error.errorCase(), MeridLearningError::Case::missingQuestion);
    }

    addPendingQuestion(grading, QStringLiteral("细胞的能量工厂是什么？"));
    const MeridTutorRequest request = MeridRequestBuilder::makeRequest(grading);
    EXPECT_EQ(request.mode, TeacherMode::grade);
    EXPECT_EQ(request.messages.last().content, QStringLiteral("原练习题：细胞的能量工厂是什么？\n学生答案：线粒体"));
    EXPECT_FALSE(request.sourceName);
    EXPECT_FALSE(request.segmentIndex);

    // A blank answer is refused by the request text before anything is sent.
    grading.draft = QStringLiteral("  \n");
    EXPECT_THROW(MeridRequestBuilder::makeRequest(grading), TeacherWorkspaceError);
}

TEST(MeridRequestBuilder, FollowupRequests) {
    TeacherLearningSession studying = session(TeacherMode::quiz);
    const MeridTutorRequest open = MeridRequestBuilder::makeFollowupRequest(studying, QStringLiteral("  为什么？\n"));
    EXPECT_EQ(open.mode, TeacherMode::teach);
    EXPECT_TRUE(open.messages.last().content.startsWith(QStringLiteral("学生当前指令：为什么？\n")));
    EXPECT_EQ(open.sourceName, QStringLiteral("bio.pdf"));

    const QString longQuestion =
        QString(1399, u'问') + QStringLiteral("\U0001F468\u200D\U0001F469") + QStringLiteral("尾");
    addPendingQuestion(studying, longQuestion);
    const MeridTutorRequest hint = MeridRequestBuilder::makeFollowupRequest(studying, QStringLiteral("提示一下"));
    EXPECT_EQ(hint.mode, TeacherMode::teach);
    EXPECT_EQ(hint.messages.last().content,
              QStringLiteral("学生正在独立作答。只回答其澄清问题，提供渐进式提示，不要公布最终答案，也不要批改或跳转学习阶段。\n当前题目：") +
                  QString(1399, u'问') + QStringLiteral("\U0001F468\u200D\U0001F469\n学生提问：提示一下"));
    EXPECT_FALSE(hint.sourceName);
    EXPECT_FALSE(hint.segmentIndex);
}

TEST(MeridResponseRecorder, ApplyByMode) {
    TeacherLearningSession lesson = session();
    const MeridTutorRequest teach = MeridRequestBuilder::makeRequest(lesson);
    MeridResponseRecorder::apply(QStringLiteral("讲解内容"), teach, lesson, kNow);
    ASSERT_EQ(lesson.turns.size(), 4);
    EXPECT_EQ(lesson.turns.at(2), TeacherTurn(Role::user, teach.messages.last().content));
    EXPECT_EQ(lesson.turns.at(3), TeacherTurn(Role::assistant, QStringLiteral("讲解内容")));
    EXPECT_EQ(lesson.latestClassroomResponse, QStringLiteral("讲解内容"));
    EXPECT_EQ(lesson.latestClassroomMode, TeacherMode::teach);
    EXPECT_EQ(lesson.draft, QString());
    EXPECT_EQ(lesson.updatedAt, kNow);

    // A quiz reply without a question still grows the conversation but records nothing.
    lesson.mode = TeacherMode::quiz;
    lesson.draft = QStringLiteral("出题");
    const MeridTutorRequest quiz = MeridRequestBuilder::makeRequest(lesson);
    MeridResponseRecorder::apply(QStringLiteral("没有题目"), quiz, lesson, kNow);
    EXPECT_EQ(lesson.turns.size(), 6);
    EXPECT_TRUE(lesson.quizRecords->isEmpty());
    EXPECT_EQ(lesson.draft, QString());

    lesson.draft = QStringLiteral("出题");
    MeridResponseRecorder::apply(QStringLiteral("Q: ATP 是什么？\nQ_TYPE: recognition"), quiz, lesson, kNow);
    ASSERT_EQ(lesson.quizRecords->size(), 1);
    EXPECT_EQ(lesson.quizRecords->first().materialReference, QStringLiteral("bio.pdf"));
    EXPECT_EQ(lesson.latestClassroomResponse, QStringLiteral("讲解内容"));

    lesson.mode = TeacherMode::grade;
    lesson.draft = QStringLiteral("能量货币");
    const MeridTutorRequest grade = MeridRequestBuilder::makeRequest(lesson);
    MeridResponseRecorder::apply(QStringLiteral("对。\nEVAL_RESULT: CORRECT"), grade, lesson, kNow);
    EXPECT_EQ(lesson.quizRecords->first().answer, QStringLiteral("能量货币"));
    EXPECT_EQ(lesson.quizRecords->first().assessment, MeridAssessment::correct);
    EXPECT_EQ(lesson.latestClassroomResponse, QStringLiteral("讲解内容"));
    EXPECT_EQ(lesson.latestClassroomMode, TeacherMode::teach);
    EXPECT_EQ(lesson.draft, QString());

    const TeacherLearningSession before = lesson;
    MeridResponseRecorder::apply(QStringLiteral("x"), MeridTutorRequest{}, lesson, base::Date{5000});
    EXPECT_EQ(lesson, before);
}

TEST(MeridResponseRecorder, ApplyFollowup) {
    TeacherLearningSession studying = session();
    const TeacherLearningSession before = studying;
    MeridResponseRecorder::applyFollowup(QStringLiteral("answer"), QStringLiteral(" \n "), studying, kNow);
    EXPECT_EQ(studying, before);

    addPendingQuestion(studying, QStringLiteral("Q1"));
    MeridResponseRecorder::applyFollowup(QStringLiteral("提示"), QStringLiteral("  怎么想？ "), studying, kNow);
    EXPECT_EQ(studying.turns.last(), TeacherTurn(Role::assistant, QStringLiteral("提示")));
    EXPECT_EQ(studying.turns.at(studying.turns.size() - 2), TeacherTurn(Role::user, QStringLiteral("怎么想？")));
    EXPECT_EQ(studying.lastFollowupQuestion, QStringLiteral("怎么想？"));
    EXPECT_EQ(studying.lastFollowupAnswer, QStringLiteral("提示"));
    EXPECT_EQ(studying.quizRecords->last().usedHint, true);
    EXPECT_EQ(studying.draft, before.draft);
    EXPECT_EQ(studying.latestClassroomResponse, before.latestClassroomResponse);
}

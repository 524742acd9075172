// The course plan of a material: fingerprint, topics and their segments, installing material,
// moving between topics, recommending the next one and the chapter text sent to the tutor.
#include <gtest/gtest.h>

#include <QStringList>

#include <functional>

#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_course_outline.h"

using namespace meridcore;
namespace nav = meridcore::MeridV12CourseNavigator;

namespace {

using NavigationError = MeridV12CourseNavigationError;
using WorkspaceError = TeacherWorkspaceError;

const QString kCourse = QStringList{
    QStringLiteral("[第 1 页]"),
    QStringLiteral("# 函数"),
    QStringLiteral("函数的定义。"),
    QStringLiteral(""),
    QStringLiteral("## 极限"),
    QStringLiteral("极限的定义。"),
    QStringLiteral("[第 2 页]"),
    QStringLiteral("## 导数"),
    QStringLiteral("导数的定义。"),
}.join(QLatin1Char('\n'));

TeacherMaterial course(const QString& name = QStringLiteral("微积分.pdf")) {
    return TeacherMaterial(name, kCourse, QStringLiteral("PDF"));
}

template <typename E>
typename E::Case caseOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const E& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no error thrown";
    return {};
}

MeridQuizRecord graded(const QString& question, const QString& topicID, const QString& kind) {
    MeridQuizRecord record(QUuid::createUuid(), question, QStringLiteral("t"), QStringLiteral("s"));
    record.answer = QStringLiteral("a");
    record.assessment = MeridAssessment::correct;
    record.usedHint = false;
    record.questionKind = kind;
    record.sourceTopicID = topicID;
    return record;
}

// Two unaided correct answers, one an explanation: the topic's evidence is supported.
void masterTopic(TeacherLearningSession& session, const QString& topicID) {
    session.quizRecords->append(graded(QStringLiteral("Q1 ") + topicID, topicID, QStringLiteral("recognition")));
    session.quizRecords->append(graded(QStringLiteral("Q2 ") + topicID, topicID, QStringLiteral("explanation")));
}

void addPendingQuestion(TeacherLearningSession& session) {
    session.quizRecords->append(MeridQuizRecord(QUuid::createUuid(), QStringLiteral("Q?"), QStringLiteral("t"),
                                                QStringLiteral("s")));
}

}  // namespace

TEST(MeridV12CourseNavigationTest, FingerprintIsFnv1aOfNameAndText) {
    EXPECT_EQ(nav::fingerprint(TeacherMaterial(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("note"))),
              QStringLiteral("e5d29919042666b2"));
    EXPECT_EQ(nav::fingerprint(TeacherMaterial(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("other"))),
              QStringLiteral("e5d29919042666b2"));
    // The separator keeps "ab" + "c" apart from "a" + "bc".
    EXPECT_NE(nav::fingerprint(TeacherMaterial(QStringLiteral("ab"), QStringLiteral("c"), QString())),
              nav::fingerprint(TeacherMaterial(QStringLiteral("a"), QStringLiteral("bc"), QString())));
    EXPECT_NE(nav::fingerprint(course()), nav::fingerprint(course(QStringLiteral("other.pdf"))));
}

TEST(MeridV12CourseNavigationTest, PlanHoldsTheDetectedHeadings) {
    const std::optional<MeridV12CoursePlan> plan = nav::build(course());
    ASSERT_TRUE(plan);
    const QString f = nav::fingerprint(course());
    EXPECT_EQ(plan->sourceFingerprint, f);
    EXPECT_EQ(plan->sourceName, QStringLiteral("微积分.pdf"));
    ASSERT_EQ(plan->topics.size(), 3);
    EXPECT_EQ(plan->topics.at(0), (MeridV12CourseTopic{f + QStringLiteral(":line-2"), QStringLiteral("函数"), 2, 0,
                                                       QStringLiteral("[第 1 页]")}));
    EXPECT_EQ(plan->topics.at(2).sourceMarker, QStringLiteral("[第 2 页]"));
    EXPECT_EQ(plan->activeTopicID, plan->topics.at(0).id);
    EXPECT_TRUE(plan->reviewEntries.isEmpty());

    EXPECT_EQ(nav::build(TeacherMaterial(QStringLiteral("n"), QStringLiteral("没有标题的文字"), QString())), std::nullopt);
}

TEST(MeridV12CourseNavigationTest, TopicSegmentsCountCharactersOfTheWholeText) {
    // A heading that starts at character 5,000 lies in segment 2.
    const QString text = QStringLiteral("# 一\n") + QString(4995, QLatin1Char('x')) + QStringLiteral("\n# 二\n尾");
    std::optional<MeridV12CoursePlan> plan = nav::build(TeacherMaterial(QStringLiteral("n"), text, QString()));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->topics.at(0).chunkIndex, 0);
    EXPECT_EQ(plan->topics.at(1).chunkIndex, 2);

    // 1,300 emoji are 2,600 UTF-16 units but 1,300 characters: the heading after them is in segment 0.
    QString emoji;
    for (int i = 0; i < 1300; ++i) emoji += QStringLiteral("😀");
    plan = nav::build(TeacherMaterial(QStringLiteral("n"), emoji + QStringLiteral("\n# 标题\n") + QString(3000, u'x'),
                                      QString()));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->topics.at(0).chunkIndex, 0);

    // A heading in the last, short segment stays inside the material.
    plan = nav::build(TeacherMaterial(QStringLiteral("n"), QString(2400, QLatin1Char('x')) + QStringLiteral("\n# 末"),
                                      QString()));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->topics.at(0).chunkIndex, 1);
}

TEST(MeridV12CourseNavigationTest, CrLfTextGivesTheSameSegmentsAsItsLfTwin) {
    QStringList lines;
    for (int i = 1; i <= 60; ++i) {
        lines << QStringLiteral("第%1节 小节").arg(i);
        for (int j = 0; j < 20; ++j) lines << QStringLiteral("这是一行正文，用来填充这一节的内容。");
    }
    const TeacherMaterial lf(QStringLiteral("n"), lines.join(QStringLiteral("\n")), QString());
    const TeacherMaterial crlf(QStringLiteral("n"), lines.join(QStringLiteral("\r\n")), QString());
    const std::optional<MeridV12CoursePlan> lfPlan = nav::build(lf);
    const std::optional<MeridV12CoursePlan> crlfPlan = nav::build(crlf);
    ASSERT_TRUE(lfPlan && crlfPlan);
    ASSERT_EQ(lfPlan->topics.size(), 60);
    ASSERT_EQ(crlfPlan->topics.size(), 60);
    for (qsizetype i = 0; i < 60; ++i) {
        EXPECT_EQ(crlfPlan->topics.at(i).chunkIndex, lfPlan->topics.at(i).chunkIndex) << "topic " << i;
        // Line numbers still count the empty line inside every "\r\n".
        EXPECT_EQ(crlfPlan->topics.at(i).lineNumber, 2 * lfPlan->topics.at(i).lineNumber - 1);
    }
    // Each topic's segment is the one that holds the start of its heading (the text is all
    // single-unit characters, so a position in the LF text is a count of characters).
    for (int i = 1; i <= 60; ++i) {
        const qsizetype start = lf.text().indexOf(QStringLiteral("第%1节 小节").arg(i));
        EXPECT_EQ(lfPlan->topics.at(i - 1).chunkIndex, start / TeacherMaterial::chunkSize) << "topic " << i;
    }
    EXPECT_GT(lfPlan->topics.last().chunkIndex, 3);
}

TEST(MeridV12CourseNavigationTest, InstallingTheSameMaterialKeepsProgress) {
    TeacherLearningSession session(0);
    nav::install(course(), session, base::Date{10});
    const QString second = session.coursePlan->topics.at(1).id;
    nav::activate(second, session);
    session.coursePlan->reviewEntries.insert(second,
                                             MeridV12ReviewEntry{base::Date{99}, base::Date{1}, 2, std::nullopt});
    session.latestClassroomResponse = QStringLiteral("讲解");
    const MeridV12CoursePlan progress = *session.coursePlan;

    nav::install(course(), session, base::Date{20});
    EXPECT_EQ(session.coursePlan, progress);
    EXPECT_EQ(session.topicName, QStringLiteral("极限"));
    EXPECT_EQ(session.latestClassroomResponse, QStringLiteral("讲解"));
    EXPECT_EQ(session.updatedAt, base::Date{20});

    // Another name is other material: a new plan, the topic state cleared, the records kept.
    session.quizRecords->append(graded(QStringLiteral("Q"), second, QStringLiteral("recognition")));
    nav::install(course(QStringLiteral("renamed.pdf")), session);
    ASSERT_TRUE(session.coursePlan);
    EXPECT_NE(session.coursePlan->sourceFingerprint, progress.sourceFingerprint);
    EXPECT_TRUE(session.coursePlan->reviewEntries.isEmpty());
    EXPECT_EQ(session.coursePlan->activeTopicID, session.coursePlan->topics.at(0).id);
    EXPECT_EQ(session.topicName, QStringLiteral("函数"));
    EXPECT_EQ(session.latestClassroomResponse, std::nullopt);
    EXPECT_EQ(session.quizRecords->size(), 1);

    // Material without headings removes the plan.
    session.chunkIndex = 3;
    nav::install(TeacherMaterial(QStringLiteral("plain"), QStringLiteral("正文"), QString()), session);
    EXPECT_EQ(session.coursePlan, std::nullopt);
    EXPECT_EQ(session.topicName, std::nullopt);
    EXPECT_EQ(session.chunkIndex, 0);
}

TEST(MeridV12CourseNavigationTest, PendingQuestionBlocksEveryChange) {
    TeacherLearningSession session(0);
    nav::install(course(), session);
    addPendingQuestion(session);
    const TeacherLearningSession before = session;

    try {
        nav::activate(session.coursePlan->topics.at(2).id, session);
        FAIL() << "activate went through";
    } catch (const NavigationError& error) {
        EXPECT_EQ(error.errorCase(), NavigationError::Case::pendingAnswer);
        EXPECT_EQ(error.message(), QStringLiteral("请先完成当前题目，之后才能切换章节。"));
    }
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::install(course(QStringLiteral("x")), session); }),
              NavigationError::Case::pendingAnswer);
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::indexExistingSource(session); }),
              NavigationError::Case::pendingAnswer);
    EXPECT_EQ(session, before);
}

TEST(MeridV12CourseNavigationTest, ActivateChecksPlanMaterialAndTopic) {
    TeacherLearningSession session(0);
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::activate(QStringLiteral("x"), session); }),
              NavigationError::Case::changedMaterial);
    nav::install(course(), session);
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::activate(QStringLiteral("nope"), session); }),
              NavigationError::Case::missingTopic);
    EXPECT_EQ(NavigationError(NavigationError::Case::missingTopic).message(),
              QStringLiteral("教材中找不到这个章节，请重新检查目录。"));

    // Activating the active topic again still starts its lesson afresh.
    session.draft = QStringLiteral("草稿");
    session.latestClassroomResponse = QStringLiteral("r");
    session.latestClassroomMode = TeacherMode::quiz;
    session.lastPedagogicalAction = MeridAction::testMe;
    session.pausedAt = base::Date{5};
    session.lessonStep = MeridStep::review;
    nav::activate(session.coursePlan->topics.at(0).id, session, base::Date{77});
    EXPECT_EQ(session.draft, QString());
    EXPECT_EQ(session.latestClassroomResponse, std::nullopt);
    EXPECT_EQ(session.latestClassroomMode, std::nullopt);
    EXPECT_EQ(session.lastPedagogicalAction, std::nullopt);
    EXPECT_EQ(session.pausedAt, std::nullopt);
    EXPECT_EQ(session.lessonStep, MeridStep::understand);
    EXPECT_EQ(session.updatedAt, base::Date{77});

    // The material changed under the plan.
    session.material = course(QStringLiteral("edited.pdf"));
    const TeacherLearningSession before = session;
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::activate(session.coursePlan->topics.at(1).id, session); }),
              NavigationError::Case::changedMaterial);
    EXPECT_EQ(session, before);
    EXPECT_EQ(nav::recommendedTopic(session), std::nullopt);
}

TEST(MeridV12CourseNavigationTest, IndexExistingSourceBuildsOnlyWhenThereIsNoPlan) {
    TeacherLearningSession session(0);
    EXPECT_EQ(caseOf<NavigationError>([&] { nav::indexExistingSource(session); }),
              NavigationError::Case::changedMaterial);

    session.material = course();
    session.latestClassroomResponse = QStringLiteral("old");
    nav::indexExistingSource(session, base::Date{3});
    ASSERT_TRUE(session.coursePlan);
    EXPECT_EQ(session.topicName, QStringLiteral("函数"));
    EXPECT_EQ(session.latestClassroomResponse, std::nullopt);

    nav::activate(session.coursePlan->topics.at(2).id, session, base::Date{4});
    const TeacherLearningSession before = session;
    nav::indexExistingSource(session, base::Date{5});
    EXPECT_EQ(session, before);
}

TEST(MeridV12CourseNavigationTest, RecommendsDueReviewThenForwardThenWrapsAround) {
    TeacherLearningSession session(0);
    nav::install(course(), session);
    const QList<MeridV12CourseTopic> topics = session.coursePlan->topics;
    EXPECT_EQ(nav::recommendedTopic(session)->id, topics.at(1).id);

    // Active topic last, the others supported except the first: wrap around to it.
    nav::activate(topics.at(2).id, session);
    masterTopic(session, topics.at(1).id);
    masterTopic(session, topics.at(2).id);
    EXPECT_EQ(nav::recommendedTopic(session)->id, topics.at(0).id);

    // A due review beats every unsupported topic.
    session.coursePlan->reviewEntries.insert(topics.at(2).id,
                                             MeridV12ReviewEntry{base::Date{100}, base::Date{0}, 0, std::nullopt});
    EXPECT_EQ(nav::recommendedTopic(session, base::Date{99})->id, topics.at(0).id);
    EXPECT_EQ(nav::recommendedTopic(session, base::Date{100})->id, topics.at(2).id);

    masterTopic(session, topics.at(0).id);
    EXPECT_EQ(nav::recommendedTopic(session, base::Date{99}), std::nullopt);
}

TEST(MeridV12CourseNavigationTest, ChapterTextRunsFromTheHeadingToTheNextOne) {
    const TeacherMaterial material = course();
    const MeridV12CoursePlan plan = *nav::build(material);
    const MeridV12CourseTopic& limits = plan.topics.at(1);
    EXPECT_EQ(nav::chapterRequestText(QStringLiteral("  讲解这一节\n"), material, limits, limits.chunkIndex),
              QStringList({
                              QStringLiteral("学生指令：讲解这一节"),
                              QStringLiteral("当前课程章节：《极限》"),
                              QStringLiteral("原始材料：《微积分.pdf》，可核对的附近页码：[第 1 页]。"),
                              QStringLiteral("严格围绕本次真实片段讲解，不要假装已经阅读未提供的部分；"),
                              QStringLiteral("教材目录是已识别标题，不代表学生已学会。"),
                              QStringLiteral("--- 章节原文开始 ---"),
                              QStringLiteral("## 极限"),
                              QStringLiteral("极限的定义。"),
                              QStringLiteral("[第 2 页]"),
                              QStringLiteral("--- 章节原文结束 ---"),
                          })
                  .join(QLatin1Char('\n')));

    // Another segment than the topic's own sends that segment; no label gives "未提供".
    const TeacherMaterial two(QStringLiteral("m"), QStringLiteral("# 甲\n") + QString(3000, QLatin1Char('x')),
                              QString());
    MeridV12CourseTopic first = nav::build(two)->topics.at(0);
    const QString text = nav::chapterRequestText(QStringLiteral("go"), two, first, 1);
    EXPECT_TRUE(text.contains(QStringLiteral("可核对的附近页码：未提供。")));
    EXPECT_TRUE(text.contains(QStringLiteral("---\n") + two.chunks().at(1) + QStringLiteral("\n---")));
    // The last heading's excerpt runs to the end and is cut to 2,400 characters.
    const QString own = nav::chapterRequestText(QStringLiteral("go"), two, first, 0);
    EXPECT_TRUE(own.contains(QStringLiteral("# 甲\n") + QString(2396, QLatin1Char('x')) + QStringLiteral("\n---")));
}

TEST(MeridV12CourseNavigationTest, ChapterTextRefusesBadInput) {
    const TeacherMaterial material = course();
    MeridV12CourseTopic topic = nav::build(material)->topics.at(0);
    auto request = [&](const QString& input, qint64 chunk) {
        return [&, input, chunk] { nav::chapterRequestText(input, material, topic, chunk); };
    };
    EXPECT_EQ(caseOf<WorkspaceError>(request(QStringLiteral(" \n\t"), 0)), WorkspaceError::Case::emptyMessage);
    EXPECT_NO_THROW(request(QString(1000, QChar(u'字')), 0)());
    EXPECT_EQ(caseOf<WorkspaceError>(request(QString(1001, QChar(u'字')), 0)), WorkspaceError::Case::messageTooLong);
    EXPECT_EQ(caseOf<WorkspaceError>(request(QStringLiteral("go"), 1)), WorkspaceError::Case::emptyMaterial);
    EXPECT_EQ(caseOf<WorkspaceError>(request(QStringLiteral("go"), -1)), WorkspaceError::Case::emptyMaterial);
    topic.lineNumber = 50;
    EXPECT_EQ(caseOf<NavigationError>(request(QStringLiteral("go"), 0)), NavigationError::Case::changedMaterial);

    // A long excerpt and a long instruction together exceed 4,000 characters.
    const TeacherMaterial big(QStringLiteral("m"), QStringLiteral("# 甲\n") + QString(3000, QLatin1Char('x')),
                              QString());
    MeridV12CourseTopic bigTopic = nav::build(big)->topics.at(0);
    bigTopic.heading = QString(600, u'h');
    EXPECT_NO_THROW(nav::chapterRequestText(QString(1000, QChar(u'字')), big, bigTopic, 1));
    EXPECT_EQ(caseOf<WorkspaceError>([&] { nav::chapterRequestText(QString(1000, QChar(u'字')), big, bigTopic, 0); }),
              WorkspaceError::Case::messageTooLong);
}

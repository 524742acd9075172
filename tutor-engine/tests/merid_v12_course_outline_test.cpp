// Headings found in a material's text: their forms, markers, line numbers and limits.
#include <gtest/gtest.h>

#include <QStringList>

#include "base/json.h"
#include "tutor-engine/merid_v12_course_outline.h"

using namespace meridcore;
namespace outline = meridcore::MeridV12CourseOutline;

namespace {

TeacherMaterial material(const QString& text) { return TeacherMaterial(QStringLiteral("notes"), text, QString()); }

QStringList headings(const QString& text) {
    QStringList result;
    for (const MeridV12SourceTopic& topic : outline::build(material(text)))
        if (topic.detectedFromHeading) result.append(topic.heading);
    return result;
}

}  // namespace

TEST(MeridV12CourseOutlineTest, FindsChineseEnglishAndMarkdownHeadings) {
    const QString text = QStringList{
        QStringLiteral("## 二次函数"),
        QStringLiteral("  Chapter 3: Limits  "),
        QStringLiteral("WEEK 2 - Vectors"),
        QStringLiteral("Unit IV. Proofs"),
        QStringLiteral("section 10 Review"),
        QStringLiteral("第三章 函数"),
        QStringLiteral("第12节"),
        QStringLiteral("第十二章"),
        QStringLiteral("####\t四级标题"),
        // U+3000, the ideographic space, is white space for the patterns.
        QStringLiteral("#\u3000全角空格"),
        QStringLiteral("Topic 7\u3000Graphs"),
    }.join(QLatin1Char('\n'));
    EXPECT_EQ(headings(text), (QStringList{
                                  QStringLiteral("二次函数"),
                                  QStringLiteral("Chapter 3: Limits"),
                                  QStringLiteral("WEEK 2 - Vectors"),
                                  QStringLiteral("Unit IV. Proofs"),
                                  QStringLiteral("section 10 Review"),
                                  QStringLiteral("第三章 函数"),
                                  QStringLiteral("第12节"),
                                  QStringLiteral("第十二章"),
                                  QStringLiteral("四级标题"),
                                  QStringLiteral("全角空格"),
                                  QStringLiteral("Topic 7\u3000Graphs"),
                              }));
}

TEST(MeridV12CourseOutlineTest, NearMissesAreNotHeadings) {
    const QString text = QStringList{
        QStringLiteral("#Title"),
        QStringLiteral("##### Title"),
        QStringLiteral("Chapter 3"),
        QStringLiteral("Chapter three: words"),
        QStringLiteral("Chapters 3: plural"),
        QStringLiteral("第 三 章"),
        QStringLiteral("第一百章"),
        QStringLiteral("见第三章"),
        QStringLiteral("Chapter\u00A03"),  // no separator follows the number
    }.join(QLatin1Char('\n'));
    const QList<MeridV12SourceTopic> topics = outline::build(material(text));
    ASSERT_EQ(topics.size(), 1);
    EXPECT_EQ(topics.at(0), outline::fallbackTopic());
}

TEST(MeridV12CourseOutlineTest, TextWithoutHeadingsGivesTheFallbackTopic) {
    const QList<MeridV12SourceTopic> topics = outline::build(material(QStringLiteral("只是一段文字。\n[第 2 页]\n再一段。")));
    ASSERT_EQ(topics.size(), 1);
    const MeridV12SourceTopic& topic = topics.at(0);
    EXPECT_EQ(topic.id, QStringLiteral("unstructured"));
    EXPECT_EQ(topic.heading, QStringLiteral("资料已导入，尚未识别章节"));
    EXPECT_EQ(topic.lineNumber, 1);
    EXPECT_EQ(topic.sourceMarker, std::nullopt);
    EXPECT_FALSE(topic.detectedFromHeading);
}

TEST(MeridV12CourseOutlineTest, LongLinesAreNotHeadingsButStillMoveTheMarker) {
    const QString fits = QStringLiteral("# ") + QString(118, QLatin1Char('x'));         // 120 characters
    const QString tooLong = QStringLiteral("# ") + QString(119, QLatin1Char('y'));      // 121 characters
    // 120 characters made of 240 UTF-16 units: the limit counts characters.
    QString emoji = QStringLiteral("# ");
    for (int i = 0; i < 118; ++i) emoji += QStringLiteral("😀");
    const QString longWithMarker = QStringLiteral("第一章 ") + QString(150, QLatin1Char('z')) + QStringLiteral(" [第 4 页]");
    const QString text = QStringList{fits, tooLong, emoji, longWithMarker, QStringLiteral("第二章 下一章")}.join(u'\n');

    const QList<MeridV12SourceTopic> topics = outline::build(material(text));
    ASSERT_EQ(topics.size(), 3);
    EXPECT_EQ(topics.at(0).lineNumber, 1);
    EXPECT_EQ(topics.at(1).lineNumber, 3);
    EXPECT_EQ(topics.at(2).lineNumber, 5);
    EXPECT_EQ(topics.at(2).sourceMarker, QStringLiteral("[第 4 页]"));
}

TEST(MeridV12CourseOutlineTest, MarkersFollowTheHeadings) {
    const QString text = QStringList{
        QStringLiteral("# 前言"),
        QStringLiteral("[第3页] 第一章 开头"),  // no spaces inside the label
        QStringLiteral("第一章 函数"),
        QStringLiteral("[第 5 张幻灯片]"),
        QStringLiteral("[第 6 页] 和 [第 7 页]"),
        QStringLiteral("## 第二节"),
    }.join(QLatin1Char('\n'));
    const QList<MeridV12SourceTopic> topics = outline::build(material(text));
    ASSERT_EQ(topics.size(), 3);
    EXPECT_EQ(topics.at(0).sourceMarker, std::nullopt);
    EXPECT_EQ(topics.at(1).heading, QStringLiteral("第一章 函数"));
    EXPECT_EQ(topics.at(1).sourceMarker, QStringLiteral("[第3页]"));
    // The first label of a line counts.
    EXPECT_EQ(topics.at(2).sourceMarker, QStringLiteral("[第 6 页]"));
    EXPECT_EQ(topics.at(2).heading, QStringLiteral("第二节"));
}

TEST(MeridV12CourseOutlineTest, LineNumbersCountEveryNewlineAndEmptyLine) {
    const QString text = QStringLiteral("intro\r\n\r\n# A\u2028# B\u0085\n# C\v\f# D");
    const QList<MeridV12SourceTopic> topics = outline::build(material(text));
    ASSERT_EQ(topics.size(), 4);
    EXPECT_EQ(topics.at(0).lineNumber, 5);
    EXPECT_EQ(topics.at(0).id, QStringLiteral("line-5"));
    EXPECT_EQ(topics.at(1).lineNumber, 6);
    EXPECT_EQ(topics.at(2).lineNumber, 8);
    EXPECT_EQ(topics.at(3).lineNumber, 10);
}

TEST(MeridV12CourseOutlineTest, KeepsAtMostTheLimitOfTopics) {
    QStringList lines;
    for (int i = 1; i <= 100; ++i) lines << QStringLiteral("## 第%1节").arg(i) << QStringLiteral("内容");
    const TeacherMaterial hundred = material(lines.join(QLatin1Char('\n')));
    const QList<MeridV12SourceTopic> topics = outline::build(hundred);
    ASSERT_EQ(topics.size(), 80);
    EXPECT_EQ(topics.last().heading, QStringLiteral("第80节"));
    EXPECT_EQ(topics.last().lineNumber, 159);
    EXPECT_EQ(outline::build(hundred, 0).size(), 1);
    EXPECT_EQ(outline::build(hundred, -5).size(), 1);
    EXPECT_EQ(outline::build(hundred, 1000).size(), 100);
}

TEST(MeridV12CourseOutlineTest, EqualHeadingsStaySeparate) {
    const QList<MeridV12SourceTopic> topics = outline::build(material(QStringLiteral("# 练习\n文字\n# 练习")));
    ASSERT_EQ(topics.size(), 2);
    EXPECT_NE(topics.at(0).id, topics.at(1).id);
}

TEST(MeridV12CourseOutlineTest, JsonRoundTripsAndRequiresItsMembers) {
    MeridV12SourceTopic topic{QStringLiteral("line-4"), QStringLiteral("第一章"), 4, std::nullopt, true};
    QJsonObject object = topic.toJson();
    EXPECT_FALSE(object.contains(QStringLiteral("sourceMarker")));
    EXPECT_EQ(MeridV12SourceTopic::fromJson(object), topic);
    topic.sourceMarker = QStringLiteral("[第 1 页]");
    EXPECT_EQ(MeridV12SourceTopic::fromJson(topic.toJson()), topic);
    object.remove(QStringLiteral("detectedFromHeading"));
    EXPECT_THROW(MeridV12SourceTopic::fromJson(object), base::JsonDecodeError);
}

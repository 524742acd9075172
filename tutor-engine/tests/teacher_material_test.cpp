#include <gtest/gtest.h>

#include <QJsonObject>

#include "base/json.h"
#include "base/text.h"
#include "tutor-engine/teacher_material.h"
#include "tutor-engine/teacher_stage_flow.h"

using meridcore::TeacherMaterial;
using meridcore::TeacherMode;
using meridcore::TeacherStageFlow;
using meridcore::TeacherWorkspaceError;
using Case = TeacherWorkspaceError::Case;

namespace {

const QString kFamily = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");  // one cluster
const QString kStackedE = QStringLiteral("e\u0301\u0302");                                             // one cluster

QString repeat(const QString& unit, qsizetype times) { return unit.repeated(times); }

template <typename F>
Case errorOf(F&& body) {
    try {
        body();
    } catch (const TeacherWorkspaceError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no TeacherWorkspaceError thrown";
    return Case::emptyMaterial;
}

TeacherMaterial material(const QString& text, const QString& name = QStringLiteral("讲义.pdf")) {
    return TeacherMaterial(name, text, QStringLiteral("note"));
}

}  // namespace

TEST(TeacherWorkspaceError, MessagesAreExactBytes) {
    const std::pair<Case, const char*> expected[] = {
        {Case::emptyMaterial, "资料没有可识别的文字。"},
        {Case::materialTooLong, "资料文字超过 100,000 字，请拆成几份或选择更少的 PDF 页码。"},
        {Case::messageTooLong, "输入过长：导入资料后每次指令最多 1,000 字，否则最多 4,000 字。"},
        {Case::emptyMessage, "请输入学习目标，或选择一个明确的阶段操作。"},
        {Case::noAnswerToGrade, "批改前请先在输入框填写你的答案。"},
        {Case::corruptHistory, "历史文件无法解码。为保护原数据，软件不会覆盖这个文件。"},
        {Case::historyTooLarge, "历史记录已超过本地容量限制。请导出或删除部分旧会话。"},
    };
    for (const auto& [errorCase, text] : expected) {
        const TeacherWorkspaceError error(errorCase);
        EXPECT_EQ(error.message().toUtf8(), QByteArray(text));
        EXPECT_STREQ(error.what(), text);
    }
    // The ASCII comma, the full-width punctuation and the single spaces are part of the texts.
    EXPECT_TRUE(TeacherWorkspaceError(Case::materialTooLong).message().contains(u"超过 100,000 字，"));
}

TEST(TeacherMaterial, TextIsTrimmedAndLimitedInCharacters) {
    EXPECT_EQ(errorOf([] { material(QStringLiteral(" \n\t\u3000\r\n ")); }), Case::emptyMaterial);

    // Surrounding white space does not count, inner white space does; clusters, not UTF-16 units.
    const QString exact = repeat(kStackedE, 99999) + QStringLiteral("x");
    const TeacherMaterial accepted = material(QStringLiteral("\n  ") + exact + QStringLiteral(" \n"));
    EXPECT_EQ(accepted.text(), exact);
    EXPECT_EQ(errorOf([&] { material(exact + QStringLiteral(" y")); }), Case::materialTooLong);
    EXPECT_EQ(errorOf([&] { material(exact + kFamily); }), Case::materialTooLong);
}

TEST(TeacherMaterial, NameAndNoteAreCutSilentlyNotTrimmed) {
    const QString name = QStringLiteral(" ") + repeat(kFamily, 160);
    const QString note = repeat(kStackedE, 321);
    const TeacherMaterial value(name, QStringLiteral("text"), note);
    EXPECT_EQ(value.name(), QStringLiteral(" ") + repeat(kFamily, 159));
    EXPECT_EQ(value.note(), repeat(kStackedE, 320));
    EXPECT_EQ(TeacherMaterial(QString(), QStringLiteral("t"), QString()).name(), QString());
}

TEST(TeacherMaterial, ChunksNeverSplitACluster) {
    EXPECT_EQ(material(repeat(QStringLiteral("a"), 2400)).count(), 1);
    const QStringList two = material(repeat(QStringLiteral("a"), 2401)).chunks();
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[1], QStringLiteral("a"));

    // A ZWJ family and a letter with two combining marks land exactly on the 2,400th character.
    for (const QString& cluster : {kFamily, kStackedE}) {
        const QString text = repeat(QStringLiteral("a"), 2399) + cluster + QStringLiteral("b") + cluster;
        const QStringList chunks = material(text).chunks();
        ASSERT_EQ(chunks.size(), 2);
        EXPECT_TRUE(chunks[0].endsWith(cluster));
        EXPECT_EQ(base::text::graphemeCount(chunks[0]), 2400);
        EXPECT_EQ(chunks[1], QStringLiteral("b") + cluster);
        EXPECT_EQ(chunks.join(QString()), text);
    }

    // 5,000 emoji: three segments of 2,400, 2,400 and 200 clusters.
    const QStringList emoji = material(repeat(kFamily, 5000)).chunks();
    ASSERT_EQ(emoji.size(), 3);
    EXPECT_EQ(emoji[0], repeat(kFamily, 2400));
    EXPECT_EQ(emoji[2], repeat(kFamily, 200));
}

TEST(TeacherMaterial, SourceMarkerIsTheLastLabelUpToTheSegmentEnd) {
    const QString filler = repeat(QStringLiteral("x"), 3000);
    const TeacherMaterial onePage = material(QStringLiteral("[第 1 页]") + filler);
    EXPECT_EQ(onePage.sourceMarker(0), QStringLiteral("[第 1 页]"));
    EXPECT_EQ(onePage.sourceMarker(1), QStringLiteral("[第 1 页]"));
    EXPECT_EQ(onePage.sourceMarker(-1), std::nullopt);
    EXPECT_EQ(onePage.sourceMarker(onePage.count()), std::nullopt);

    const TeacherMaterial twoPages =
        material(QStringLiteral("[第 1 页]a[第 2 页]b") + filler + QStringLiteral("[第 12 张幻灯片]"));
    EXPECT_EQ(twoPages.sourceMarker(0), QStringLiteral("[第 2 页]"));
    EXPECT_EQ(twoPages.sourceMarker(1), QStringLiteral("[第 12 张幻灯片]"));

    // A label cut by the end of segment 0 belongs to segment 1 only.
    const QString label = QStringLiteral("[第 3 页]");
    const TeacherMaterial cut = material(repeat(QStringLiteral("x"), 2396) + label + QStringLiteral("y"));
    EXPECT_EQ(cut.sourceMarker(0), std::nullopt);
    EXPECT_EQ(cut.sourceMarker(1), label);

    // Only the exact form counts: single blanks, ASCII digits.
    EXPECT_EQ(material(QStringLiteral("[第1页] [第 ３ 页] [第  4 页] [第 5 张]")).sourceMarker(0), std::nullopt);
}

TEST(TeacherMaterial, JsonKeepsStoredStringsAsTheyAre) {
    const TeacherMaterial original(QStringLiteral("名"), QStringLiteral(" body "), QStringLiteral("n"));
    const QJsonObject object = original.toJson();
    EXPECT_EQ(object.keys(), (QStringList{"name", "note", "text"}));
    EXPECT_EQ(TeacherMaterial::fromJson(object), original);

    QJsonObject stored{
        {"name", repeat(QStringLiteral("n"), 200)}, {"text", QStringLiteral("  raw  ")}, {"note", QString()}};
    const TeacherMaterial decoded = TeacherMaterial::fromJson(stored);
    EXPECT_EQ(decoded.name().size(), 200);
    EXPECT_EQ(decoded.text(), QStringLiteral("  raw  "));

    stored.remove(QStringLiteral("note"));
    EXPECT_THROW(TeacherMaterial::fromJson(stored), base::JsonDecodeError);
    stored.insert(QStringLiteral("note"), 3);
    EXPECT_THROW(TeacherMaterial::fromJson(stored), base::JsonDecodeError);
}

TEST(TeacherStageFlow, InputLimitsAndEmptyInput) {
    const std::optional<TeacherMaterial> withMaterial = material(QStringLiteral("资料"));
    const QString thousand = repeat(kFamily, 1000);
    EXPECT_NO_THROW(TeacherStageFlow::makeRequestText(thousand, withMaterial, 0, TeacherMode::teach));
    EXPECT_EQ(errorOf([&] {
                  TeacherStageFlow::makeRequestText(thousand + QStringLiteral("a"), withMaterial, 0,
                                                    TeacherMode::teach);
              }),
              Case::messageTooLong);

    const QString fourThousand = repeat(QStringLiteral("字"), 4000);
    EXPECT_EQ(TeacherStageFlow::makeRequestText(QStringLiteral("\n ") + fourThousand + QStringLiteral(" "),
                                                std::nullopt, 0, TeacherMode::quiz),
              fourThousand);
    EXPECT_EQ(errorOf([&] {
                  TeacherStageFlow::makeRequestText(fourThousand + QStringLiteral("a"), std::nullopt, 0,
                                                    TeacherMode::quiz);
              }),
              Case::messageTooLong);

    EXPECT_EQ(
        errorOf([&] { TeacherStageFlow::makeRequestText(QStringLiteral(" \n"), withMaterial, 0, TeacherMode::grade); }),
        Case::noAnswerToGrade);
    for (TeacherMode mode : {TeacherMode::teach, TeacherMode::quiz, TeacherMode::summary, TeacherMode::sprint})
        EXPECT_EQ(errorOf([&] { TeacherStageFlow::makeRequestText(QString(), std::nullopt, 0, mode); }),
                  Case::emptyMessage);
}

TEST(TeacherStageFlow, RequestTextWrapsOneSegment) {
    const QString text = QStringLiteral("[第 4 页]") + repeat(QStringLiteral("a"), 2393) +
                         repeat(QStringLiteral("b"), 2400) + repeat(QStringLiteral("c"), 200);
    const std::optional<TeacherMaterial> source = TeacherMaterial(QStringLiteral("讲义"), text, QString());
    ASSERT_EQ(source->count(), 3);
    const QString request = TeacherStageFlow::makeRequestText(QStringLiteral(" 讲解 "), source, 1, TeacherMode::teach);
    const QString expected = QStringLiteral(
        "学生当前指令：讲解\n参考资料：《讲义》，第 2/3 段。\n可核实的附近页码/幻灯片标签：[第 4 页]。\n"
        "只针对本次提供的片段作答；\n如果需要下一段，请提示学生手动切换资料段落。不要声称已阅读其他段落。\n"
        "--- 资料片段开始 ---\n") + repeat(QStringLiteral("b"), 2400) + QStringLiteral("\n--- 资料片段结束 ---");
    EXPECT_EQ(request, expected);

    const QString unlabelled = TeacherStageFlow::makeRequestText(
        QStringLiteral("q"), TeacherMaterial(QStringLiteral("n"), QStringLiteral("t"), QString()), 0,
        TeacherMode::grade);
    EXPECT_TRUE(unlabelled.contains(QStringLiteral("标签：未提供。\n")));

    EXPECT_EQ(errorOf([&] { TeacherStageFlow::makeRequestText(QStringLiteral("q"), source, 3, TeacherMode::teach); }),
              Case::emptyMaterial);
    EXPECT_EQ(errorOf([&] { TeacherStageFlow::makeRequestText(QStringLiteral("q"), source, -1, TeacherMode::teach); }),
              Case::emptyMaterial);
}

TEST(TeacherStageFlow, AssembledTextIsHeldToFourThousandCharacters) {
    // A decoded material keeps a name longer than 160 characters; only the whole text is limited.
    const QString body = repeat(QStringLiteral("x"), 2400);
    const QString frame = TeacherStageFlow::makeRequestText(
        QStringLiteral("q"), TeacherMaterial::fromJson({{"name", QString()}, {"text", body}, {"note", QString()}}), 0,
        TeacherMode::teach);
    const qsizetype room = 4000 - base::text::graphemeCount(frame);
    auto withName = [&](qsizetype length) {
        return TeacherMaterial::fromJson(
            {{"name", repeat(QStringLiteral("n"), length)}, {"text", body}, {"note", QString()}});
    };
    EXPECT_EQ(base::text::graphemeCount(
                  TeacherStageFlow::makeRequestText(QStringLiteral("q"), withName(room), 0, TeacherMode::teach)),
              4000);
    EXPECT_EQ(errorOf([&] {
                  TeacherStageFlow::makeRequestText(QStringLiteral("q"), withName(room + 1), 0, TeacherMode::teach);
              }),
              Case::messageTooLong);
}

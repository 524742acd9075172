// Cutting lesson replies into typed sections.
#include <gtest/gtest.h>

#include "tutor-engine/merid_lesson_formatter.h"

using namespace meridcore;

namespace {

using Kind = MeridLessonSectionKind;

QList<MeridLessonSection> sections(const QString& text) { return MeridLessonFormatter::sections(text); }

}  // namespace

TEST(MeridLessonFormatter, UntitledTextSplitsAtBlankLines) {
    EXPECT_EQ(sections(QStringLiteral("one\ntwo\n\n  \nthree\n\nfour")),
              (QList<MeridLessonSection>{{0, Kind::paragraph, QStringLiteral("one\ntwo")},
                                         {1, Kind::paragraph, QStringLiteral("three")},
                                         {2, Kind::paragraph, QStringLiteral("four")}}));
    EXPECT_TRUE(sections(QStringLiteral(" \n\n")).isEmpty());
}

TEST(MeridLessonFormatter, TitledSections) {
    const QString reply = QStringLiteral(
        "开场白\n"
        "【先说人话】导数是变化率。\n"
        "  就像速度。\n"
        "\n"
        "还是直观部分\n"
        "## KEY CONCEPT\n"
        "Derivative\n"
        "【举个例子】\n"
        "【记住这一点】\n"
        "别忘了极限。\n"
        "## Example and more\n");
    EXPECT_EQ(sections(reply),
              (QList<MeridLessonSection>{
                  {0, Kind::paragraph, QStringLiteral("开场白")},
                  {1, Kind::intuition, QStringLiteral("导数是变化率。\n  就像速度。\n\n还是直观部分")},
                  {2, Kind::concept_, QStringLiteral("Derivative")},
                  // The empty example section is dropped; ids stay consecutive. A heading line with
                  // more words is ordinary text of the running section.
                  {3, Kind::reminder, QStringLiteral("别忘了极限。\n## Example and more")},
              }));
}

TEST(MeridLessonFormatter, TitleForms) {
    // The bracket form is case-sensitive; the Markdown forms compare the whole line in lower case.
    EXPECT_EQ(sections(QStringLiteral("【intuition】 text")),
              (QList<MeridLessonSection>{{0, Kind::paragraph, QStringLiteral("【intuition】 text")}}));
    EXPECT_EQ(sections(QStringLiteral("### à retenir\nx")),
              (QList<MeridLessonSection>{{0, Kind::reminder, QStringLiteral("x")}}));
    EXPECT_EQ(sections(QStringLiteral("  ## Worked Example  \nx")),
              (QList<MeridLessonSection>{{0, Kind::example, QStringLiteral("x")}}));
    EXPECT_EQ(sections(QStringLiteral("#### Example\nx")),
              (QList<MeridLessonSection>{{0, Kind::paragraph, QStringLiteral("#### Example\nx")}}));
    // CR LF line ends give the same sections as LF.
    EXPECT_EQ(sections(QStringLiteral("a\r\n\r\n【关键概念】b\r\nc")), sections(QStringLiteral("a\n\n【关键概念】b\nc")));
}

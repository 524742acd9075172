#include <gtest/gtest.h>

#include <QSet>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "core/direct_selection_rules.h"

using namespace tamsel;
using Failure = DirectSelectionFailure::Case;

namespace {

std::optional<Failure> failureOf(SelectionTextPolicy policy, const QString& text) {
    try {
        validated(policy, text);
    } catch (const DirectSelectionFailure& failure) {
        return failure.failureCase();
    }
    return std::nullopt;
}

}  // namespace

TEST(DirectSelectionFailure, MessagesMatchTheTableExactly) {
    const std::pair<Failure, const char16_t*> rows[] = {
        {Failure::permission, u"请在桌面设置 → 辅助功能中开启辅助技术，再回到直接划词设置重新检查。"},
        {Failure::noText, u"未读到选中文字。请先在文档中选中一段文字。"},
        {Failure::protectedField, u"这个控件是受保护的输入框，不读取其中的文字。"},
        {Failure::tooLong, u"自动划词一次最多 3,000 个字符，请缩短选区。"},
        {Failure::unsupported, u"来源应用没有提供可读取的选区文字。可改用 orvel --study-selection 命令，或复制文字。"},
        {Failure::timedOut,
         u"来源应用没有及时返回选区。请保持文档在前台，再试一次；也可运行 orvel --study-selection。"},
    };
    QSet<DirectSelectionFailure> distinct;
    for (const auto& [failureCase, text] : rows) {
        EXPECT_EQ(DirectSelectionFailure(failureCase).message(), QString::fromUtf16(text));
        distinct.insert(DirectSelectionFailure(failureCase));
    }
    EXPECT_EQ(distinct.size(), 6);
    EXPECT_EQ(DirectSelectionFailure(Failure::noText), DirectSelectionFailure(Failure::noText));
}

TEST(DirectSelectionRules, ValidatesLettersDigitsAndLength) {
    EXPECT_EQ(DirectSelectionRules::validated(QStringLiteral("  word\n")), QStringLiteral("word"));
    for (const QString& accepted : {QStringLiteral("7"), QStringLiteral("é"), QStringLiteral("e\u0301"),
                                    QStringLiteral("字"), QStringLiteral("٣"), QStringLiteral("!? a")})
        EXPECT_EQ(DirectSelectionRules::validated(accepted), accepted) << accepted.toStdString();

    struct Row { QString text; Failure expected; };
    const Row rows[] = {
        {QString(), Failure::noText},
        {QStringLiteral(" \n\t\u3000"), Failure::noText},
        {QStringLiteral("...!?，。"), Failure::noText},
        {QStringLiteral("\U0001F600\U0001F44D"), Failure::noText},
        {QStringLiteral("\u2764\uFE0F"), Failure::noText},          // emoji with a variation selector
        {QStringLiteral("\u00B2\u2460"), Failure::noText},          // superscript and circled digits are not Nd
        {QStringLiteral(".").repeated(3001), Failure::noText},    // letter test before length
        {QStringLiteral("a").repeated(3001), Failure::tooLong},
    };
    for (const Row& row : rows) EXPECT_EQ(failureOf(SelectionTextPolicy::automatic, row.text), row.expected);

    const QString atLimit = QStringLiteral("e\u0301").repeated(3000);  // 3,000 characters, 6,000 units
    EXPECT_EQ(DirectSelectionRules::validated(QStringLiteral("\n ") + atLimit + QStringLiteral(" ")), atLimit);
}

TEST(SelectionTextPolicy, EachPolicyRaisesItsOwnErrorType) {
    const QString fiveThousand = QStringLiteral("b").repeated(5000);
    EXPECT_EQ(validated(SelectionTextPolicy::service, QStringLiteral(" ") + fiveThousand), fiveThousand);
    EXPECT_EQ(failureOf(SelectionTextPolicy::automatic, fiveThousand), Failure::tooLong);

    EXPECT_EQ(failureOf(SelectionTextPolicy::automatic, QString()), Failure::noText);
    try {
        validated(SelectionTextPolicy::service, QStringLiteral("  "));
        ADD_FAILURE() << "service accepted a blank text";
    } catch (const StudyError& error) {
        EXPECT_EQ(error.errorCase(), StudyError::Case::emptyInput);
    }
    // The service rule has no letter test.
    EXPECT_EQ(validated(SelectionTextPolicy::service, QStringLiteral("？！")), QStringLiteral("？！"));
}

TEST(DirectSelectionRules, RecognisesSelectionGestures) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row { double sx, sy, ex, ey; int clicks; bool drag; bool expected; };
    const Row rows[] = {
        {0, 0, 3, 0, 1, false, false},
        {0, 0, 3, 3, 1, false, true},       // about 4.24
        {0, 0, 4, 0, 1, false, true},       // exactly 4 points
        {10, 10, 10, 6.01, 1, false, false},
        {5, 5, 5, 5, 2, false, true},       // double click
        {5, 5, 5, 5, 3, false, true},       // triple click
        {5, 5, 5, 5, 1, true, true},        // drag
        {5, 5, 5, 5, 0, false, false},
        {nan, 0, 0, 0, 2, true, false},
        {0, 0, 0, inf, 2, false, false},
        {0, -inf, 0, 0, 1, true, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DirectSelectionRules::isSelectionGesture(r.sx, r.sy, r.ex, r.ey, r.clicks, r.drag), r.expected)
            << r.sx << "," << r.sy << " -> " << r.ex << "," << r.ey << " clicks " << r.clicks;
}

TEST(DirectAnswerKey, EveryFieldTakesPartInEqualityAndHash) {
    const DirectAnswerKey base{QStringLiteral("text"), StudyMode::explain, AnswerLanguage::english,
                               QStringLiteral("Orvel AI"), 400, ReasoningEffort::none};
    std::vector<DirectAnswerKey> variants(6, base);
    variants[0].text = QStringLiteral("text ");
    variants[1].mode = StudyMode::practice;
    variants[2].language = AnswerLanguage::french;
    variants[3].model = QStringLiteral("other");
    variants[4].outputLimit = 401;
    variants[5].effort = ReasoningEffort::low;

    QSet<DirectAnswerKey> qset{base};
    std::unordered_set<DirectAnswerKey> stdset{base};
    for (const auto& variant : variants) {
        EXPECT_NE(variant, base);
        qset.insert(variant);
        stdset.insert(variant);
    }
    EXPECT_EQ(qset.size(), 7);
    EXPECT_EQ(stdset.size(), 7u);

    const DirectAnswerKey copy = base;
    EXPECT_EQ(copy, base);
    EXPECT_EQ(qHash(copy), qHash(base));
    EXPECT_TRUE(qset.contains(copy));
    EXPECT_EQ(copy.mode, StudyMode::explain);
    EXPECT_EQ(copy.language, AnswerLanguage::english);
}

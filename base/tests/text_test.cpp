#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "base/text.h"

using namespace base::text;

namespace {
const QString kFamily = QStringLiteral("👨‍👩‍👧‍👦");  // one cluster of 7 code points
const QString kFlag = QStringLiteral("🇫🇷");
const QString kDecomposed = QStringLiteral("e\u0301");  // e + combining acute
}  // namespace

TEST(Text, CountsUserPerceivedCharacters) {
    EXPECT_EQ(graphemeCount(QString()), 0);
    EXPECT_EQ(graphemeCount(QStringLiteral("abc")), 3);
    EXPECT_EQ(graphemeCount(QStringLiteral("a\r\nb")), 3);
    EXPECT_EQ(graphemeCount(kFamily + kFlag + kDecomposed + QStringLiteral("中文")), 5);
    EXPECT_EQ(graphemeCount(QStringLiteral("👍🏽")), 1);
    // A flag right after an emoji stays one character, and a run of flags pairs from its start.
    EXPECT_EQ(graphemeCount(QStringLiteral("👦") + kFlag), 2);
    EXPECT_EQ(graphemeCount(kFlag + kFlag + QStringLiteral("🇫")), 3);
    EXPECT_EQ(graphemeRuns(QStringLiteral("👦") + kFlag + kFlag, 1), (QStringList{QStringLiteral("👦"), kFlag, kFlag}));
}

TEST(Text, CutsNeverSplitAClusterAndRunsCoverTheText) {
    const QString text = QStringLiteral("ab") + kFamily + kDecomposed + QStringLiteral("中") + kFlag;
    EXPECT_EQ(graphemePrefix(text, 3), QStringLiteral("ab") + kFamily);
    EXPECT_EQ(graphemePrefix(text, 0), QString());
    EXPECT_EQ(graphemePrefix(text, 100), text);
    EXPECT_EQ(graphemeSuffix(text, 2), QStringLiteral("中") + kFlag);
    EXPECT_EQ(graphemeSlice(text, 2, 2), kFamily + kDecomposed);
    EXPECT_EQ(graphemeSlice(text, 10, 2), QString());

    const QStringList runs = graphemeRuns(text, 2);
    EXPECT_EQ(runs, (QStringList{QStringLiteral("ab"), kFamily + kDecomposed, QStringLiteral("中") + kFlag}));
    EXPECT_EQ(graphemeRuns(text, 4),
              (QStringList{QStringLiteral("ab") + kFamily + kDecomposed, QStringLiteral("中") + kFlag}));
    EXPECT_TRUE(graphemeRuns(QString(), 3).isEmpty());
    EXPECT_EQ(graphemeBoundaries(QStringLiteral("a") + kFlag), (QList<qsizetype>{0, 1, 5}));
}

TEST(Text, TrimsUnicodeWhiteSpaceButNotFormatCharacters) {
    EXPECT_EQ(trimmed(QStringLiteral("\u3000\u00a0\t word \n\u2028\u2029\u0085")), QStringLiteral("word"));
    EXPECT_EQ(trimmed(QStringLiteral("\u200bword\ufeff")), QStringLiteral("\u200bword\ufeff"));
    EXPECT_EQ(trimSpacesAndTabs(QStringLiteral(" \t\nx\n\t ")), QStringLiteral("\nx\n"));
    EXPECT_EQ(trimSpacesAndTabs(QStringLiteral(" \t ")), QString());
}

TEST(Text, SplitsAtEveryNewlineCharacter) {
    EXPECT_EQ(splitLines(QStringLiteral("a\r\nb")), (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_EQ(splitLines(QStringLiteral("a\u2028b\u2029c\u0085d\u000be\u000cf")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                           QStringLiteral("e"), QStringLiteral("f")}));
    EXPECT_EQ(splitLines(QString()), QStringList{QString()});
    EXPECT_EQ(splitLines(QStringLiteral("x\n")), (QStringList{QStringLiteral("x"), QString()}));
}

TEST(Text, CaseMappingIsFullAndLocaleFree) {
    EXPECT_EQ(upper(QStringLiteral("straße")), QStringLiteral("STRASSE"));
    EXPECT_TRUE(containsIgnoringCase(QStringLiteral("Respondus LockDown Browser"), QStringLiteral("lockdown")));
    EXPECT_TRUE(equalsIgnoringCase(QStringLiteral("COM.APPLE.DOCK"), QStringLiteral("com.apple.dock")));
    EXPECT_FALSE(equalsIgnoringCase(QStringLiteral("com.apple.dockx"), QStringLiteral("com.apple.dock")));
}

TEST(Text, LettersAndDigitsOfAnyScript) {
    EXPECT_TRUE(containsLetterOrDigit(QStringLiteral("é")));
    EXPECT_TRUE(containsLetterOrDigit(QStringLiteral("٣")));  // Arabic-Indic digit three
    EXPECT_TRUE(containsLetterOrDigit(QStringLiteral("字")));
    EXPECT_TRUE(containsLetterOrDigit(QStringLiteral("𝐀")));  // outside the basic plane
    EXPECT_FALSE(containsLetterOrDigit(QStringLiteral("…!?、。")));
    EXPECT_FALSE(containsLetterOrDigit(QStringLiteral("❤️") + kFamily));  // emoji with a variation selector
    EXPECT_FALSE(containsLetterOrDigit(QStringLiteral("½Ⅻ")));         // numbers, not decimal digits
}

TEST(Text, ControlCharacters) {
    EXPECT_TRUE(containsControlCharacter(QStringLiteral("a\nb")));
    EXPECT_TRUE(containsControlCharacter(QStringLiteral("a\u0085")));
    EXPECT_TRUE(containsControlCharacter(QStringLiteral("a\u007f")));
    EXPECT_FALSE(containsControlCharacter(QStringLiteral("token-中文 é")));
}

TEST(Text, FlagRunsPairFromTheirStartInEveryContext) {
    // Compare against a plain reference: every run of regional indicators pairs from its start.
    const QString ri[] = {QStringLiteral("🇫"), QStringLiteral("🇷")};
    const QString before[] = {QString(), QStringLiteral("a"), QStringLiteral("👦"), QStringLiteral("👨‍👩‍👧"),
                              QStringLiteral("é")};
    QString all;  // every case in one text: runs of every parity follow one another in one walk
    qsizetype allCount = 0;
    for (const QString& prefix : before) {
        for (int n : {1, 2, 3, 4, 5, 10001}) {
            QString text = prefix;
            for (int i = 0; i < n; ++i) text += ri[i % 2];
            text += QStringLiteral("x");
            const qsizetype expected = graphemeCount(prefix) + (n + 1) / 2 + 1;
            EXPECT_EQ(graphemeCount(text), expected) << prefix.toStdString() << " + " << n;
            EXPECT_EQ(graphemeRuns(text, 1).join(QString()), text);
            all += text;
            allCount += expected;
        }
    }
    EXPECT_EQ(graphemeCount(all), allCount);
    EXPECT_EQ(graphemeBoundaries(all).size(), allCount + 1);
}

TEST(Text, CountExceedsALimit) {
    const QString flags = QStringLiteral("🇫🇷").repeated(3);  // 3 characters in 12 units
    const struct {
        QString text;
        qsizetype limit;
        bool exceeds;
    } rows[] = {
        {QString(), 0, false},     {QStringLiteral("a"), 0, true},  {flags, 3, false},
        {flags, 2, true},          {flags + kDecomposed, 4, false}, {flags + kDecomposed, 3, true},
        {QStringLiteral("ab"), -1, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(graphemeCountExceeds(row.text, row.limit), row.exceeds) << row.text.toStdString() << " " << row.limit;
}

TEST(Text, EmojiAndLineBreaksBesideIndicAndThaiTextStayWhole) {
    // Letters of these scripts keep their syllable rules (a conjunct is one character)...
    const QString hindi = QStringLiteral("नमस्ते");
    EXPECT_EQ(graphemeCount(hindi), 3);
    EXPECT_EQ(graphemeCount(QStringLiteral("क्ष")), 1);
    // ...while their neighbours are counted as anywhere else, and no cut splits a surrogate pair.
    EXPECT_EQ(graphemeCount(hindi + QStringLiteral(" 😀")), 5);
    EXPECT_EQ(graphemeCount(QStringLiteral("😀 ") + hindi), 5);
    EXPECT_EQ(graphemeCount(QStringLiteral("क\r\n")), 2);
    EXPECT_EQ(graphemeCount(QStringLiteral("ক ") + QStringLiteral("👍🏽")), 3);  // Bengali
    const QString thai = QStringLiteral("ภาษาไทย ") + kFamily + kFlag + QStringLiteral("❤️#️⃣");
    EXPECT_EQ(graphemeSuffix(thai, 4), kFamily + kFlag + QStringLiteral("❤️#️⃣"));
    for (const QString& text : {hindi + QStringLiteral(" 😀🇫🇷"), thai, QStringLiteral("😀") + QStringLiteral("ः")}) {
        const QStringList runs = graphemeRuns(text, 1);
        EXPECT_EQ(runs.join(QString()), text);
        for (const QString& run : runs) EXPECT_TRUE(run.isValidUtf16()) << text.toStdString();
    }
    EXPECT_EQ(graphemePrefix(hindi + QStringLiteral(" 😀"), 5), hindi + QStringLiteral(" 😀"));
    EXPECT_EQ(graphemePrefix(hindi + QStringLiteral(" 😀"), 4), hindi + QStringLiteral(" "));
    // Marks after a space join it whatever comes before: alone or after a letter, the same count.
    const QString signs = QStringLiteral(" \u0947\u094C");
    EXPECT_EQ(graphemeCount(signs), 1);
    EXPECT_EQ(graphemeCount(QStringLiteral("a") + signs), 2);
    EXPECT_EQ(graphemeSuffix(QStringLiteral("a") + signs, 1), signs);
}

TEST(Text, EveryNonSpacingMarkOfTheTailoredScriptsJoinsAnyLetter) {
    // Wherever such a mark is encoded (Devanagari Extended and the Myanmar extensions lie among the CJK
    // blocks), it joins the character before it, even one of another script.
    const QChar::Script tailored[] = {QChar::Script_Devanagari, QChar::Script_Bengali, QChar::Script_Gurmukhi,
                                      QChar::Script_Gujarati,   QChar::Script_Oriya,   QChar::Script_Tamil,
                                      QChar::Script_Telugu,     QChar::Script_Kannada, QChar::Script_Malayalam,
                                      QChar::Script_Sinhala,    QChar::Script_Thai,    QChar::Script_Tibetan,
                                      QChar::Script_Myanmar,    QChar::Script_Khmer};
    int marks = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (QChar::category(c) != QChar::Mark_NonSpacing || !std::ranges::count(tailored, QChar::script(c))) continue;
        ++marks;
        EXPECT_EQ(graphemeCount(QStringLiteral("`") + QString::fromUcs4(&c, 1)), 1) << std::hex << uint32_t(c);
    }
    EXPECT_GT(marks, 250);
    EXPECT_EQ(graphemeCount(QStringLiteral("`\ua8e1\uff8c")), 2);
    EXPECT_EQ(graphemeCount(QStringLiteral("\u6000`\ua8e1\uff8c")), 3);
}

TEST(Text, FollowsEveryCaseOfUnicodesGraphemeBreakTest) {
    // Each line: code points in hex, with "÷" where a cluster boundary lies and "×" where none does.
    QFile file(QStringLiteral("/usr/share/unicode/auxiliary/GraphemeBreakTest.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "install the unicode-data package (scripts/install-deps)";
    const QRegularExpression hex(QStringLiteral("^[0-9A-F]{4,6}$"));
    int cases = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).section(u'#', 0, 0).trimmed();
        if (line.isEmpty()) continue;
        QString text;
        QList<qsizetype> expected;
        for (const QString& token : line.split(u' ', Qt::SkipEmptyParts)) {
            if (token == QStringLiteral("÷")) {
                expected.append(text.size());
            } else if (token != QStringLiteral("×")) {
                ASSERT_TRUE(hex.match(token).hasMatch()) << line.toStdString();
                const char32_t c = token.toUInt(nullptr, 16);
                text += QString::fromUcs4(&c, 1);
            }
        }
        ++cases;
        const std::string where = line.toStdString();
        EXPECT_EQ(graphemeBoundaries(text), expected) << where;
        const qsizetype count = expected.size() - 1;
        qsizetype longest = 0;
        for (qsizetype k = 0; k < count; ++k) longest = std::max(longest, expected[k + 1] - expected[k]);
        EXPECT_EQ(detail::graphemeBoundariesInWindows(text, longest + 1), expected) << where;
        EXPECT_EQ(graphemeCount(text), count) << where;
        EXPECT_TRUE(graphemeCountExceeds(text, count - 1) && !graphemeCountExceeds(text, count)) << where;
        for (qsizetype k = 0; k <= count; ++k) {
            EXPECT_EQ(graphemePrefix(text, k), text.left(expected[k])) << where << " prefix " << k;
            EXPECT_EQ(graphemeSuffix(text, k), text.mid(expected[count - k])) << where << " suffix " << k;
        }
        const QStringList clusters = graphemeRuns(text, 1);
        EXPECT_EQ(clusters.size(), count) << where;
        for (const QString& cluster : clusters) EXPECT_EQ(graphemeCount(cluster), 1) << where;
    }
    EXPECT_GT(cases, 600);  // Unicode 15.0 has 602
}

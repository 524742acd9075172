#include <gtest/gtest.h>

#include <QTimeZone>
#include <QUuid>

#include <limits>

#include "app/account/history_error.h"
#include "app/account/learning_record.h"

using velquin::LearningRecord;
namespace history = velquin::learning_history;

namespace {

LearningRecord sample() {
    return LearningRecord{QUuid::fromString(QStringLiteral("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
                          base::Date{790000000.25},
                          QStringLiteral("explain"),
                          QStringLiteral("a/b \"q\" 你好 é\n"),
                          QStringLiteral("x\\y\t\u0001</end>"),
                          true};
}

QByteArray recordText(const QByteArray& members) { return "[{" + members + "}]"; }

const QByteArray kValidMembers =
    R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8","createdAt":0,"mode":"translate","source":"s","answer":"a","isNote":false)";

}  // namespace

TEST(LearningHistoryFile, WriterBytesAreExact) {
    const QByteArray expected =
        R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","createdAt":790000000.25,"mode":"explain",)"
        R"("source":"a\/b \"q\" 你好 é\n","answer":"x\\y\t\u0001<\/end>","isNote":true}])";
    EXPECT_EQ(history::encode({sample()}), expected);
    EXPECT_EQ(history::encode({}), QByteArray("[]"));
    LearningRecord second = sample();
    second.isNote = false;
    second.createdAt = base::Date{0};
    second.mode = second.source = second.answer = QString();
    EXPECT_TRUE(
        history::encode({sample(), second})
            .endsWith(
                R"(},{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","createdAt":0,"mode":"","source":"","answer":"","isNote":false}])"));
    // A whole number of seconds is written out in full, not with an exponent.
    second.createdAt = base::Date{739000000};
    EXPECT_TRUE(history::encode({second}).contains(R"("createdAt":739000000,)"));
    second.createdAt = base::Date{-0.125};
    EXPECT_TRUE(history::encode({second}).contains(R"("createdAt":-0.125,)"));
}

TEST(LearningHistoryFile, RoundTripsAndReadsEitherCase) {
    const QList<LearningRecord> read = history::decode(history::encode({sample()}));
    ASSERT_EQ(read.size(), 1);
    EXPECT_EQ(read[0].id, sample().id);
    EXPECT_EQ(read[0].createdAt, sample().createdAt);
    EXPECT_EQ(read[0].source, sample().source);
    EXPECT_EQ(read[0].answer, sample().answer);
    EXPECT_TRUE(read[0].isNote);

    // Lower-case id, extra members, any member order; the next write is upper-case without the extra.
    const QList<LearningRecord> lower = history::decode(
        R"([{"isNote":false,"extra":[1,{}],"answer":"a","source":"s\/t","mode":"m","createdAt":12,"id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8"}])");
    ASSERT_EQ(lower.size(), 1);
    EXPECT_EQ(lower[0].source, QStringLiteral("s/t"));
    EXPECT_EQ(lower[0].createdAt.toDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 0, 12), QTimeZone::utc()));
    EXPECT_EQ(
        history::encode(lower),
        R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","createdAt":12,"mode":"m","source":"s\/t","answer":"a","isNote":false}])");
    EXPECT_TRUE(history::decode("[]").isEmpty());

    // Unpaired surrogates (a cut emoji, a reversed pair) survive as escapes; a whole pair stays raw UTF-8.
    LearningRecord broken = sample();
    broken.mode = QString::fromUtf16(u"\xdc00\xd800");
    broken.source = QString::fromUtf16(u"x\xdc00y😀");
    broken.answer = QString::fromUtf16(u"\n\xd83d");
    const QByteArray bytes = history::encode({broken});
    EXPECT_TRUE(bytes.contains(R"("mode":"\udc00\ud800","source":"x\udc00y😀","answer":"\n\ud83d")"))
        << bytes.toStdString();
    const QList<LearningRecord> back = history::decode(bytes);
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].mode, broken.mode);
    EXPECT_EQ(back[0].source, broken.source);
    EXPECT_EQ(back[0].answer, broken.answer);
}

TEST(LearningHistoryFile, AnyFaultMakesTheWholeFileUnreadable) {
    EXPECT_NO_THROW(history::decode(recordText(kValidMembers)));
    const QList<QByteArray> broken = {
        "",
        "{}",
        "[1]",
        "[{}]",
        recordText(QByteArray(kValidMembers).replace(R"(,"isNote":false)", "")),
        recordText(QByteArray(kValidMembers).replace(R"("isNote":false)", R"("isNote":0)")),
        recordText(QByteArray(kValidMembers).replace(R"("isNote":false)", R"("isNote":null)")),
        recordText(QByteArray(kValidMembers).replace(R"("createdAt":0)", R"("createdAt":"2024-01-01")")),
        recordText(QByteArray(kValidMembers).replace(R"("mode":"translate")", R"("mode":1)")),
        recordText(QByteArray(kValidMembers).replace("6ba7b810-9dad", "6ba7b810-9dxd")),
        recordText(QByteArray(kValidMembers).replace(R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8",)", "")),
        "[" + recordText(kValidMembers).mid(1, -1).chopped(1) + R"(,{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8"}])",
    };
    for (const QByteArray& bytes : broken)
        EXPECT_THROW(history::decode(bytes), base::JsonDecodeError) << bytes.toStdString();
}

TEST(LearningHistoryFile, DateThatJsonCannotHoldIsNotEncoded) {
    LearningRecord record = sample();
    record.createdAt = base::Date{std::numeric_limits<double>::quiet_NaN()};
    EXPECT_THROW(history::encode({record}), velquin::HistoryError);
}

#include <gtest/gtest.h>

#include "base/json.h"
#include "base/raw_value.h"

#include <cmath>

using namespace base;

TEST(Json, DatesAreSecondsSinceTwoThousandOne) {
    EXPECT_EQ(Date::fromUnixSeconds(978307200.0).secondsSinceReference, 0.0);
    EXPECT_EQ(Date{-1.5}.unixSeconds(), 978307198.5);
    QJsonObject object;
    const Date precise{786543210.123456789};
    object.insert(QStringLiteral("at"), json::dateValue(precise));
    const QJsonObject back = json::parseObject(json::compact(object));
    EXPECT_EQ(json::requireDate(back, QStringLiteral("at")), precise);  // exact round trip
    EXPECT_EQ(json::compact(QJsonObject{{QStringLiteral("at"), json::dateValue(Date::fromUnixSeconds(978307200))}}),
              QByteArray(R"({"at":0})"));
    // A date far outside any calendar, as a hostile file may hold, still converts without overflow.
    EXPECT_NO_THROW(Date{1e308}.toDateTime());
    EXPECT_EQ(Date{std::nan("")}.toDateTime().toMSecsSinceEpoch(), 0);
}

TEST(Json, UuidsAreWrittenUpperCaseAndReadInEitherCase) {
    const QUuid uuid = QUuid::fromString(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427"));
    EXPECT_EQ(json::uuidString(uuid), QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427"));
    EXPECT_EQ(json::parseUuid(QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427")), uuid);
    EXPECT_THROW(json::parseUuid(QStringLiteral("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}")), JsonDecodeError);
    EXPECT_THROW(json::parseUuid(QStringLiteral("not-a-uuid")), JsonDecodeError);
}

TEST(Json, RequiredAndOptionalMembers) {
    const QJsonObject object = json::parseObject(R"({"s":"x","n":2,"f":2.5,"b":true,"z":null,"a":[1]})");
    EXPECT_EQ(json::requireString(object, QStringLiteral("s")), QStringLiteral("x"));
    EXPECT_EQ(json::requireInteger(object, QStringLiteral("n")), 2);
    EXPECT_THROW(json::requireInteger(object, QStringLiteral("f")), JsonDecodeError);
    EXPECT_THROW(json::requireString(object, QStringLiteral("n")), JsonDecodeError);
    EXPECT_THROW(json::requireString(object, QStringLiteral("missing")), JsonDecodeError);
    EXPECT_THROW(json::requireBool(object, QStringLiteral("z")), JsonDecodeError);
    EXPECT_EQ(json::optionalString(object, QStringLiteral("missing")), std::nullopt);
    EXPECT_EQ(json::optionalString(object, QStringLiteral("z")), std::nullopt);
    EXPECT_THROW(json::optionalString(object, QStringLiteral("b")), JsonDecodeError);  // present, wrong type
    EXPECT_EQ(json::optionalArray(object, QStringLiteral("a"))->size(), 1);

    QJsonObject out;
    json::insertOptional(out, QStringLiteral("absent"), std::optional<QString>());
    json::insertOptional(out, QStringLiteral("empty"), std::optional<QString>(QString()));
    json::insertOptional(out, QStringLiteral("id"), std::optional<QUuid>(QUuid()));
    EXPECT_EQ(json::compact(out), QByteArray(R"({"empty":"","id":"00000000-0000-0000-0000-000000000000"})"));
    EXPECT_THROW(json::parseObject("[1]"), JsonDecodeError);
    EXPECT_THROW(json::parseObject("{"), JsonDecodeError);
}

namespace rawtest {

enum class Fruit { apple, pear };
constexpr auto rawValueTable(Fruit) {
    return base::rawValues<Fruit>({{Fruit::apple, u"apple"}, {Fruit::pear, u"Pear"}});
}

enum class Level { low = 3, high = 9 };
constexpr auto rawValueTable(Level) {
    return base::rawValues<Level, qint64>({{Level::low, 10}, {Level::high, 20}});
}

}  // namespace rawtest

TEST(Json, RawValuesOfEnumerations) {
    using rawtest::Fruit;
    using rawtest::Level;
    EXPECT_EQ(rawValue(Fruit::pear), QStringLiteral("Pear"));
    EXPECT_EQ(fromRawValue<Fruit>(QStringLiteral("Pear")), Fruit::pear);
    for (const QString& unknown : {QStringLiteral("pear"), QStringLiteral(" apple"), QString()})
        EXPECT_EQ(fromRawValue<Fruit>(unknown), std::nullopt) << unknown.toStdString();
    EXPECT_EQ(allCases<Fruit>(), (QList<Fruit>{Fruit::apple, Fruit::pear}));

    // Integer raw values need not be the enumerators' own numbers.
    EXPECT_EQ(rawValue(Level::high), 20);
    EXPECT_EQ(fromRawValue<Level>(10), Level::low);
    EXPECT_EQ(fromRawValue<Level>(3), std::nullopt);

    const QJsonObject object = json::parseObject(R"({"f":"apple","bad":"plum","n":1,"z":null})");
    EXPECT_EQ(requireRawValue<Fruit>(object, QStringLiteral("f")), Fruit::apple);
    EXPECT_THROW(requireRawValue<Fruit>(object, QStringLiteral("bad")), JsonDecodeError);
    EXPECT_THROW(requireRawValue<Fruit>(object, QStringLiteral("n")), JsonDecodeError);
    EXPECT_THROW(requireRawValue<Fruit>(object, QStringLiteral("missing")), JsonDecodeError);
    EXPECT_EQ(optionalRawValue<Fruit>(object, QStringLiteral("z")), std::nullopt);
    EXPECT_EQ(optionalRawValue<Fruit>(object, QStringLiteral("missing")), std::nullopt);
    EXPECT_THROW(optionalRawValue<Fruit>(object, QStringLiteral("bad")), JsonDecodeError);
}

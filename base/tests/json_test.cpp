#include <gtest/gtest.h>

#include "base/json.h"

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

#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"

namespace velquin {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(InterfaceSelfCheck, PassesLeavesTheUserSettingsAndRestoresTheirAppearance) {
    auto& standard = base::DefaultsStore::standard();
    ASSERT_FALSE(standard.filePath().isEmpty());
    auto& shared = InterfaceSettings::shared();
    shared.setAppearance(InterfaceAppearance::dark);
    shared.setLanguage(InterfaceLanguage::french);
    standard.setString(QStringLiteral("answerLanguage"), QStringLiteral("english"));
    const QByteArray before = readAll(standard.filePath());
    ASSERT_FALSE(before.isEmpty());

    QSignalSpy notifications(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange);
    const QHash<QString, bool> result = InterfaceSettings::performRegressionChecks();

    const QStringList names{"appearance_defaults_to_system",        "appearance_dark_persists",
                            "appearance_light_persists",            "appearance_system_restores",
                            "interface_language_defaults_to_system", "interface_language_persists_english",
                            "interface_language_keeps_answer_and_model", "interface_language_round_trip",
                            "interface_language_french_round_trip"};
    EXPECT_EQ(result.size(), names.size());
    for (const QString& name : names) {
        ASSERT_TRUE(result.contains(name)) << name.toStdString();
        EXPECT_TRUE(result.value(name)) << name.toStdString();
    }
    // The fixture's two language changes are announced like any other.
    EXPECT_EQ(notifications.count(), 2);

    EXPECT_EQ(readAll(standard.filePath()), before);
    EXPECT_EQ(shared.appearance(), InterfaceAppearance::dark);
    EXPECT_EQ(shared.language(), InterfaceLanguage::french);
    EXPECT_EQ(ApplicationAppearance::shared().applied(), InterfaceAppearance::dark);
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::dark);
    EXPECT_EQ(QGuiApplication::palette().color(QPalette::Window),
              ApplicationAppearance::palette(ColorScheme::dark).color(QPalette::Window));

    shared.setAppearance(InterfaceAppearance::system);
    shared.setLanguage(InterfaceLanguage::system);
}

}  // namespace
}  // namespace velquin

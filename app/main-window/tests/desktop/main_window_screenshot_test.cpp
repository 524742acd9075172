// Pictures of the real program's main window in every interface language and appearance, for a
// person to look at: written under ORVEL_SCREENSHOT_DIR, never compared.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QJsonObject>
#include <QUuid>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

// The window's picture once two grabs in a row agree (its first paint has finished).
QImage settledPicture(const X11Display& display, const X11Display::Window& window) {
    QImage last;
    QImage current;
    waitUntil(
        [&] {
            last = current;
            current = display.grab(window);
            return !current.isNull() && current == last;
        },
        10000);
    return current;
}

// A few records of every kind the history page lists: a source of four lines, a long one, a note, a
// tutor lesson.
QJsonArray sampleHistory() {
    const auto record = [](int i, const char* mode, const char* source, const char* answer, bool note) {
        return QJsonObject{{QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                           {QStringLiteral("createdAt"), 786000000.0 - 3600 * i},
                           {QStringLiteral("mode"), QString::fromLatin1(mode)},
                           {QStringLiteral("source"), QString::fromUtf8(source)},
                           {QStringLiteral("answer"), QString::fromUtf8(answer)},
                           {QStringLiteral("isNote"), note}};
    };
    return QJsonArray{
        record(0, "explain", "Line one of the poem\nLine two of the poem\nLine three\nLine four",
               "The poem’s four lines describe the “quiet” of the evening.\n\nEach line shortens the one before.",
               false),
        record(1, "translate", "光的散射让天空呈现蓝色。", "The scattering of light makes the sky look blue.", true),
        record(2, "practice",
               "Solve for x: 3x + 5 = 20, then explain every step you took and why it keeps both sides of the "
               "equation equal, as a teacher would ask in a first algebra course.",
               "3x = 15, so x = 5.", false),
        record(3, "MERID", "牛顿第二定律", "F = ma：合力等于质量乘以加速度。", false),
    };
}

}  // namespace

// The pages in every language and appearance, and the home page in every language under a Chinese
// system locale (whose fonts must not draw the Latin punctuation of English and French text).
TEST(MainWindowScreenshots, EveryLanguageAndAppearance) {
    X11Display display;
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR)));
    struct Case {
        const char* language;
        const char* appearance;
        const char* systemLocale;  // LANG, when set
    };
    QList<Case> cases;
    for (const char* language : {"zh-Hans", "en", "fr"})
        for (const char* appearance : {"light", "dark"}) cases.append({language, appearance, nullptr});
    for (const char* language : {"zh-Hans", "en", "fr"}) cases.append({language, "light", "zh_CN.UTF-8"});
    for (const Case& shot : cases) {
        const QString suffix = QStringLiteral("%1-%2%3").arg(
            QLatin1String(shot.language), QLatin1String(shot.appearance),
            shot.systemLocale ? QStringLiteral("-") + QLatin1String(shot.systemLocale).left(5) : QString());
        SCOPED_TRACE(suffix.toStdString());
        OrvelProgram orvel;
        {
            base::DefaultsStore defaults(orvel.defaultsFile());
            defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QString::fromLatin1(shot.language));
            defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
            defaults.setString(QStringLiteral("orvelAppearanceMode"), QString::fromLatin1(shot.appearance));
            // Past the first-setup step, whose settings sheet would cover the window (it has
            // pictures of its own).
            defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        }
        ASSERT_TRUE(orvel.presetGuestHistory(sampleHistory()));
        if (shot.systemLocale)
            orvel.setEnvironmentValue(QStringLiteral("LANG"), QString::fromLatin1(shot.systemLocale));
        ASSERT_TRUE(orvel.start());
        const auto window = orvel.waitForWindow(display);
        ASSERT_TRUE(window.has_value());
        for (const char* page : {"home", "history", "coach"}) {
            if (shot.systemLocale && page != std::string("home")) continue;
            ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QString::fromLatin1(page)}));
            ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("page")) == QLatin1String(page); }));
            // The coach page may widen the window.
            const auto shown = orvel.waitForWindow(display);
            ASSERT_TRUE(shown.has_value());
            const QImage picture = settledPicture(display, *shown);
            ASSERT_FALSE(picture.isNull());
            const QString name = QStringLiteral("%1/main-window-%2-%3.png")
                                     .arg(QStringLiteral(ORVEL_SCREENSHOT_DIR), QLatin1String(page), suffix);
            EXPECT_TRUE(picture.save(name)) << name.toStdString();
        }
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    }
}

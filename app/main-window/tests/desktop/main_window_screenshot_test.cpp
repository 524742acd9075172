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

// A few records of every kind the history page lists: a source of four lines, a note, a lesson.
QJsonArray sampleHistory() {
    const char* const rows[][3] = {
        {"explain", "Line one of the poem\nLine two\nLine three\nLine four", "The poem’s “quiet” evening."},
        {"translate", "光的散射让天空呈现蓝色。", "The scattering of light makes the sky look blue."},
        {"MERID", "牛顿第二定律", "F = ma：合力等于质量乘以加速度。"}};
    QJsonArray records;
    for (int i = 0; i < 3; ++i)
        records.append(QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                                   {"createdAt", 786000000.0 - 3600 * i},
                                   {"mode", rows[i][0]},
                                   {"source", QString::fromUtf8(rows[i][1])},
                                   {"answer", QString::fromUtf8(rows[i][2])},
                                   {"isNote", i == 1}});
    return records;
}

// Pictures of every page, and of the compact selection view with what its request opens over it,
// named after the language, the appearance and `screen` (empty for the session's usual screen).
void takePictures(const QString& screen, const QStringList& appearances) {
    X11Display display;
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR)));
    for (const char* language : {"zh-Hans", "en", "fr"}) {
        for (const QString& appearance : appearances) {
            SCOPED_TRACE(std::string(language) + " " + appearance.toStdString());
            OrvelProgram orvel;
            {
                base::DefaultsStore defaults(orvel.defaultsFile());
                defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QString::fromLatin1(language));
                defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
                defaults.setString(QStringLiteral("orvelAppearanceMode"), appearance);
                // Past the first-setup step, whose settings sheet would cover the window (it has
                // pictures of its own).
                defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
            }
            ASSERT_TRUE(orvel.presetGuestHistory(sampleHistory()));
            ASSERT_TRUE(orvel.start());
            const auto window = orvel.waitForWindow(display);
            ASSERT_TRUE(window.has_value());
            const auto save = [&](const char* what) {
                // The coach page may widen the window.
                const auto shown = orvel.waitForWindow(display);
                ASSERT_TRUE(shown.has_value());
                const QImage picture = settledPicture(display, *shown);
                ASSERT_FALSE(picture.isNull());
                const QString name = QStringLiteral("%1/main-window-%2-%3-%4%5.png")
                                         .arg(QStringLiteral(ORVEL_SCREENSHOT_DIR), QLatin1String(what),
                                              QLatin1String(language), appearance, screen);
                EXPECT_TRUE(picture.save(name)) << name.toStdString();
            };
            for (const char* page : {"home", "history", "coach"}) {
                ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QString::fromLatin1(page)}));
                ASSERT_TRUE(
                    waitUntil([&] { return orvel.state().value(QStringLiteral("page")) == QLatin1String(page); }));
                save(page);
            }
            if (!screen.isEmpty()) {
                ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("home")}));
                ASSERT_TRUE(orvel.callHook(QStringLiteral("ReceiveSelection"),
                                           {QStringLiteral("Opportunity cost"), QStringLiteral("explain")}));
                ASSERT_TRUE(
                    waitUntil([&] { return orvel.state().value(QStringLiteral("selectionPresentation")).toBool(); }));
                save("compact-selection");
            }
            EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
        }
    }
}

}  // namespace

TEST(MainWindowScreenshots, EveryLanguageAndAppearance) {
    takePictures({}, {QStringLiteral("light"), QStringLiteral("dark")});
}

// On a laptop's 1024x768 and 1366x768 screens, with a window manager, in the light appearance.
TEST(MainWindowScreenshots, EveryLanguageOnASmallScreen) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    takePictures(QStringLiteral("-1024x768"), {QStringLiteral("light")});
}

TEST(MainWindowScreenshots, EveryLanguageOnAWideLaptopScreen) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    takePictures(QStringLiteral("-1366x768"), {QStringLiteral("light")});
}

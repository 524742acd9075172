// The driver of select-anywhere's built-in window checklist: it builds the controller made for the
// checks, runs the checklist under a window manager, prints one line per check and a closing line
// "N passed, N failed", and fails when any check that means something on X11 failed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <QCoroTask>

#include <algorithm>
#include <cstdio>

#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

using velquin::DirectSelectionController;
using velquin::DirectSelectionServices;

namespace {

// Checks that name a thing this desktop does not have: they run and are listed, but their result
// is neither a pass nor a failure here. Every check has its X11 counterpart now (virtual desktops
// for spaces, a second launch for the dock's reopen, the stacking order for occlusion, the
// window manager's above state for the floating level); one that loses it goes here.
const QStringList withoutMeaningOnX11{};

QMap<QString, bool> runChecks(DirectSelectionController& controller) {
    return QCoro::waitFor(controller.performWindowRegressionChecks());
}

struct Tally {
    int passed = 0;
    int failed = 0;
    QStringList failures;
};

// Prints one line per check, the last presentation wait's details and "N passed, N failed".
Tally report(const QMap<QString, bool>& result, const DirectSelectionController& controller) {
    Tally tally;
    for (auto check = result.begin(); check != result.end(); ++check) {
        const char* verdict = "passed";
        if (withoutMeaningOnX11.contains(check.key())) {
            verdict = "no meaning on X11";
        } else if (check.value()) {
            ++tally.passed;
        } else {
            verdict = "FAILED";
            ++tally.failed;
            tally.failures.append(check.key());
        }
        std::printf("  %-52s %s\n", qPrintable(check.key()), verdict);
    }
    const QVariantMap& details = controller.windowRegressionDetails();
    for (auto detail = details.begin(); detail != details.end(); ++detail) {
        if (detail.key() != QLatin1String("visibility_samples"))
            std::printf("  detail %s = %s\n", qPrintable(detail.key()), qPrintable(detail.value().toString()));
    }
    std::printf("%d passed, %d failed\n", tally.passed, tally.failed);
    std::fflush(stdout);
    return tally;
}

}  // namespace

TEST(WindowChecklistDesktop, EveryCheckHoldsUnderAWindowManager) {
    // The checks touch the program's shared store and settings: keep them in folders of this run.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.filePath(QString::fromLatin1(variable)).toUtf8());
    orveltest::X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());

    base::DefaultsStore defaults(home.filePath(QStringLiteral("defaults.json")));
    DirectSelectionServices services;
    services.defaults = &defaults;

    // Any other controller refuses at once, with the one entry that says so.
    DirectSelectionController ordinary(services);
    EXPECT_EQ(runChecks(ordinary), (QMap<QString, bool>{{QStringLiteral("dedicated_offline_controller"), false}}));

    // The two checks that wait for the answer panel to be seen are bound to 2.5 s; on a loaded
    // machine the panel's first showing can take longer. When only they fail, the run is repeated
    // once on a fresh controller (the counters start again) and both tallies are printed; any other
    // failure stands.
    std::unique_ptr<DirectSelectionController> controller = DirectSelectionController::makeForWindowChecks(services);
    QMap<QString, bool> result = runChecks(*controller);
    Tally tally = report(result, *controller);
    const QStringList timed{QStringLiteral("service_window_not_occluded"), QStringLiteral("icon_click_result_unoccluded")};
    if (tally.failed > 0 && std::all_of(tally.failures.begin(), tally.failures.end(),
                                        [&](const QString& name) { return timed.contains(name); })) {
        std::printf("(again: only the timed presentation checks failed)\n");
        controller = DirectSelectionController::makeForWindowChecks(services);
        result = runChecks(*controller);
        tally = report(result, *controller);
    }
    for (const QString& name : tally.failures) ADD_FAILURE() << name.toStdString();
    EXPECT_GE(result.size(), 40);

    // Hidden and shown again before a busy manager handled the hiding, which clears what it kept of
    // the window: the panels stay above ordinary windows all the same.
    velquin::FloatingSelectionPanels panels;
    panels.showIcon({300, 300}, {});
    panels.showAnswer({300, 300}, false);
    // Stopped only once it has handled them: the manager holds the whole server while it takes a new
    // window in, and stopped then it would hold every client, this test's too, for good.
    ASSERT_TRUE(display.managesNewWindows(10000));
    manager.pause(true);
    panels.hide();
    panels.showIcon({300, 300}, {});
    panels.showAnswer({300, 300}, false);
    manager.pause(false);
    ASSERT_TRUE(display.managesNewWindows(10000));  // it has handled all of the above by then
    EXPECT_TRUE(panels.iconState().keptAbove);
    EXPECT_TRUE(panels.answerState().keptAbove);
}

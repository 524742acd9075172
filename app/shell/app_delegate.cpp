#include "app/shell/app_delegate.h"

#include <cstdio>

#include "app/shell/app_store.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/selection_controller.h"
#include "base/defaults_store.h"
#include "base/work_scheduler.h"
#include "platform/selection_service_provider.h"

namespace velquin {

namespace {

const QString kImportCheckSwitch = QStringLiteral("--qa-smoke-import");
const QString kCheckPrefix = QStringLiteral("--qa-smoke");
const QString kSetupSwitch = QStringLiteral("--setup");
constexpr int kCheckRefusedStatus = 2;

bool isCheckMode(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(kCheckPrefix)) return true;
    }
    return false;
}

void writeLine(std::FILE* stream, const QByteArray& line) {
    std::fputs(line.constData(), stream);
    std::fflush(stream);
}

}  // namespace

AppDelegate::AppDelegate(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {}

AppDelegate::Outcome AppDelegate::applicationDidFinishLaunching(const QStringList& arguments) {
    const LaunchRequest request = LaunchRequest::fromArguments(arguments);
    const qsizetype importSwitch = arguments.indexOf(kImportCheckSwitch, 1);
    const bool importCheck = importSwitch > 0 && importSwitch + 1 < arguments.size();

    // One running copy: a later launch hands its request over and ends. A check run never does,
    // since its harness would take the silent end for a pass.
    if (!services_.instance.claim()) {
        if (importCheck) {
            writeLine(stdout, "ORVEL_SMOKE_IMPORT_FAILED another copy of Orvel is running\n");
            return {Next::end, kCheckRefusedStatus};
        }
        if (isCheckMode(arguments)) {
            writeLine(stderr, "ORVEL_SMOKE_FAILED another copy of Orvel is running\n");
            return {Next::end, kCheckRefusedStatus};
        }
        if (services_.instance.handOver(request)) return {Next::end, 0};
        // The copy that held the name may have ended since (it quit or was killed just before this
        // launch): then nobody takes the request, and this launch becomes the running copy.
        if (!services_.instance.claim()) {
            writeLine(stderr, "orvel: the running copy did not take the request\n");
            return {Next::end, 1};
        }
    }
    services_.instance.setRequestHandler([this](const LaunchRequest& handed) { handleLaunchRequest(handed); });
    SelectionController& controller = services_.controller;
    services_.instance.registerSelectionEntry(
        [&controller](const halvern::SelectionRequest& selection) { controller.receiveServiceSelection(selection); });

    if (importCheck) {
        services_.startImportCheck(arguments.at(importSwitch + 1));
        return {Next::importCheck, 0};
    }
    if (isCheckMode(arguments)) return {Next::showWindow, 0};

    const bool setup = performFirstSetupIfDue() || request.setup;
    const QStringList urls = request.urls;
    services_.scheduler.post([this, setup, urls] {
        SelectionController& controller = services_.controller;
        controller.start();
        if (setup && !controller.hasSelectionPresentation()) controller.openDirectSettings();
        for (const QString& url : urls) services_.openURL(url);
    });
    return {Next::showWindow, 0};
}

bool AppDelegate::performFirstSetupIfDue() {
    base::DefaultsStore& defaults = services_.defaults;
    if (defaults.integer(setupVersionKey) >= setupFlowVersion) return false;
    services_.coach.startOnFirstSetup();
    defaults.setBool(autoSelectKey, false);
    defaults.setInteger(setupVersionKey, setupFlowVersion);
    // Forget the saved frames, so that the main window opens at its ideal size.
    for (const QString& key : defaults.keys()) {
        if (key.startsWith(windowFramePrefix)) defaults.remove(key);
    }
    return true;
}

void AppDelegate::applicationShouldHandleReopen() { services_.controller.handleReopen(); }

void AppDelegate::applicationDidBecomeActive() { services_.controller.refreshAuthorization(); }

void AppDelegate::applicationWillTerminate() {
    services_.controller.stop();
    services_.store.cancel();
}

void AppDelegate::handleLaunchRequest(const LaunchRequest& request) {
    for (const QString& url : request.urls) services_.openURL(url);
    if (request.setup && !services_.controller.hasSelectionPresentation()) services_.controller.openDirectSettings();
    if (request.urls.isEmpty() && !request.setup) applicationShouldHandleReopen();
}

}  // namespace velquin

#include "app/shell/app_delegate.h"

#include <chrono>
#include <cstdio>
#include <variant>

#include "app/shell/app_store.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/selection_controller.h"
#include "app/shell/selection_hand_over_gate.h"
#include "app/shell/study_selection_command.h"
#include "base/defaults_store.h"
#include "base/work_scheduler.h"
#include "platform/selection_service_provider.h"

namespace velquin {

namespace {

const QString kImportCheckSwitch = QStringLiteral("--qa-smoke-import");
const QString kCheckPrefix = QStringLiteral("--qa-smoke");
const QString kSetupSwitch = QStringLiteral("--setup");
constexpr int kCheckRefusedStatus = 2;
constexpr int kUsageStatus = 2;
// At most one hand-over of the selection entry is shown per this time; later ones wait for it.
constexpr std::chrono::milliseconds selectionHandOverInterval{100};

bool isCheckMode(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(kCheckPrefix)) return true;
    }
    return false;
}

// Why the study-selection command handed nothing over, for a terminal or a script.
const char* refusalLine(halvern::SelectionRefusal refusal) {
    switch (refusal) {
    case halvern::SelectionRefusal::noSelection: return "no text is selected";
    case halvern::SelectionRefusal::protectedField: return "the selection is in a password field";
    case halvern::SelectionRefusal::tooLong: return "the selection is over 20,000 characters";
    case halvern::SelectionRefusal::unconfirmedBrowserField:
        return "the browser does not show whether the selection is in a password field";
    case halvern::SelectionRefusal::unknownSource:
        return "nothing tells which program made the selection while a browser runs";
    case halvern::SelectionRefusal::unconfirmedProgramField:
        return "the program puts password fields' text into the selection and does not show where it is";
    case halvern::SelectionRefusal::remoteSource:
        return "the selection belongs to a program of another machine, or one shown through a forwarder such as "
               "ssh -X";
    case halvern::SelectionRefusal::unconfirmedWebViewField:
        return "the program does not show whether the selection in its web page is in a password field";
    case halvern::SelectionRefusal::unknownProgram:
        return "the program holding the selection cannot be told (its process has ended)";
    case halvern::SelectionRefusal::unshownWebSelection:
        return "the page's accessibility does not show the selection in its ordinary text";
    case halvern::SelectionRefusal::unknownSourceOutsideGnome:
    case halvern::SelectionRefusal::unknownSourceUntold:
        return "nothing tells which program made the selection while a browser runs";
    }
    return "";
}

// The copy that holds the data folder, as it described itself.
QByteArray holderText(const DataFolderLock::Holder& holder) {
    QStringList parts;
    if (!holder.host.isEmpty()) parts.append(QStringLiteral("host ") + holder.host);
    if (!holder.display.isEmpty()) parts.append(QStringLiteral("display ") + holder.display);
    if (holder.pid > 0) parts.append(QStringLiteral("process %1").arg(holder.pid));
    return parts.isEmpty() ? QByteArray("which one is not said") : parts.join(QStringLiteral(", ")).toUtf8();
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
    QString commandError;
    const std::optional<StudySelectionCommand> command = StudySelectionCommand::fromArguments(arguments, &commandError);
    if (!commandError.isEmpty()) {
        writeLine(stderr, "orvel: " + commandError.toUtf8() + '\n');
        return {Next::end, kUsageStatus};
    }
    // The selection is taken before anything else happens on the screen. Check runs ignore it.
    std::optional<halvern::SelectionCommandReader::Outcome> selection;
    if (command && !importCheck && !isCheckMode(arguments) && services_.readSelection)
        selection = services_.readSelection();

    // One running copy: a later launch hands its request over and ends. A check run never does,
    // since its harness would take the silent end for a pass.
    using Holder = ApplicationInstance::Claim::Holder;
    ApplicationInstance::Claim claim = services_.instance.claim();
    if (claim.holder == Holder::runningCopy) {
        if (importCheck) {
            writeLine(stdout, "ORVEL_SMOKE_IMPORT_FAILED another copy of Orvel is running\n");
            return {Next::end, kCheckRefusedStatus};
        }
        if (isCheckMode(arguments)) {
            writeLine(stderr, "ORVEL_SMOKE_FAILED another copy of Orvel is running\n");
            return {Next::end, kCheckRefusedStatus};
        }
        if (selection) {
            int status = 0;
            if (handOverSelection(*selection, command->mode, &status)) return {Next::end, status};
        } else if (services_.instance.handOver(request)) {
            return {Next::end, 0};
        }
        // The copy that held the name may have ended since (it quit or was killed just before this
        // launch): then nobody takes the request, and this launch becomes the running copy.
        claim = services_.instance.claim();
        if (claim.holder == Holder::runningCopy) {
            writeLine(stderr, "orvel: the running copy did not take the request\n");
            return {Next::end, 1};
        }
    }
    if (claim.holder == Holder::otherProgram) {
        // Nothing is handed to a program that is not Orvel: this launch runs on its own.
        writeLine(stderr, "orvel: another program (" + claim.otherProgram.toUtf8() + ") holds the name " +
                              halvern::SelectionServiceProvider::serviceName.toUtf8() +
                              " on the session bus; Orvel starts without it\n");
        writeLine(stderr,
                  "orvel: without the name this copy cannot be reached by orvel --study-selection, the bus's "
                  "StudySelectedText or later launches, and on GNOME the shell extension tells it no clicks\n");
    }
    // One running copy per data folder too: a copy in another desktop session (another bus) or on
    // another machine sharing the home folder would write its own state over this one's. A launch
    // that finds the folder held writes nothing and leaves the name to later launches of its session.
    using LockState = DataFolderLock::Result::State;
    const DataFolderLock::Result lock =
        services_.lockDataFolder ? services_.lockDataFolder() : DataFolderLock::Result{};
    if (lock.state == LockState::inUse) {
        services_.instance.release();
        const QByteArray inUse = "another copy of Orvel uses the data folder (" + holderText(lock.holder) + ')';
        if (importCheck) {
            writeLine(stdout, "ORVEL_SMOKE_IMPORT_FAILED " + inUse + '\n');
            return {Next::end, kCheckRefusedStatus};
        }
        if (isCheckMode(arguments)) {
            writeLine(stderr, "ORVEL_SMOKE_FAILED " + inUse + '\n');
            return {Next::end, kCheckRefusedStatus};
        }
        writeLine(stderr, "orvel: " + inUse + " in another session; this copy ends without touching it\n");
        return {Next::dataFolderInUse, 1, lock.holder};
    }
    if (lock.state == LockState::unavailable)
        writeLine(stderr, "orvel: the data folder is not locked against copies in other sessions (" +
                              lock.reason.toUtf8() + "); two such copies would overwrite each other's changes\n");
    // This copy keeps the settings now: what was changed since it started goes into their file.
    services_.defaults.releaseWrites();

    services_.instance.setRequestHandler([this](const LaunchRequest& handed) { handleLaunchRequest(handed); });
    SelectionController& controller = services_.controller;
    // Calls over the bus may come faster than the answer panel can be shown: only the latest is.
    auto* gate = new SelectionHandOverGate(
        [&controller](const SelectionHandOverGate::HandOver& handOver) {
            if (const auto* request = std::get_if<halvern::SelectionRequest>(&handOver))
                controller.receiveServiceSelection(*request);
            else
                controller.receiveSelectionRefusal(std::get<halvern::RefusedSelection>(handOver));
        },
        selectionHandOverInterval, this);
    services_.instance.registerSelectionEntry(
        [gate](const halvern::SelectionRequest& handed) { gate->submit(handed); });
    services_.instance.registerSelectionRefusals(
        [gate](const halvern::RefusedSelection& refused) { gate->submit(refused); });

    if (importCheck) {
        services_.startImportCheck(arguments.at(importSwitch + 1));
        return {Next::importCheck, 0};
    }
    if (isCheckMode(arguments)) return {Next::showWindow, 0};

    if (selection) {
        // No running copy took the selection: this launch shows the answer panel itself, as the
        // entry would.
        services_.scheduler.post([this, outcome = *selection, mode = command->mode] {
            SelectionController& controller = services_.controller;
            controller.start();
            if (const auto* refusal = std::get_if<halvern::SelectionRefusal>(&outcome)) {
                // The command checked its mode: the entry's default stands for none.
                const auto asked = base::fromRawValue<tamsel::StudyMode>(mode.value_or(QStringLiteral("practice")));
                controller.receiveSelectionRefusal({*refusal, asked.value_or(tamsel::StudyMode::practice)});
                return;
            }
            halvern::MemoryPasteboard pasteboard;
            pasteboard.setString(std::get<QString>(outcome));
            try {
                controller.receiveServiceSelection(halvern::SelectionInput::read(pasteboard, mode));
            } catch (const base::Error&) {
                // The command checked the text and the mode as the entry does: nothing is left to refuse.
            }
        });
        return {Next::handOver, 0};
    }
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

bool AppDelegate::handOverSelection(const halvern::SelectionCommandReader::Outcome& outcome,
                                    const std::optional<QString>& mode, int* exitStatus) {
    if (const auto* refusal = std::get_if<halvern::SelectionRefusal>(&outcome)) {
        // The running copy tells the person (a key binding has no terminal), in the panel of the mode
        // asked for; the line is for scripts.
        QVariantList arguments{halvern::rawValue(*refusal)};
        if (mode) arguments.append(*mode);
        const std::optional<QString> answer =
            services_.instance.callSelectionEntry(QStringLiteral("ReportUnreadableSelection"), arguments);
        if (!answer) return false;
        writeLine(stderr, QByteArray("orvel: nothing to study: ") + refusalLine(*refusal) + '\n');
        *exitStatus = 1;
        return true;
    }
    QVariantList arguments{std::get<QString>(outcome)};
    if (mode) arguments.append(*mode);
    const std::optional<QString> answer =
        services_.instance.callSelectionEntry(QStringLiteral("StudySelectedText"), arguments);
    if (!answer) return false;
    if (!answer->isEmpty()) {
        writeLine(stderr, "orvel: the running copy refused the selection: " + answer->toUtf8() + '\n');
        *exitStatus = 1;
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

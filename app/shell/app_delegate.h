#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "app/shell/application_instance.h"
#include "app/shell/data_folder_lock.h"
#include "platform/selection_command_reader.h"

namespace base {
class DefaultsStore;
class WorkScheduler;
}

namespace velquin {

class AppStore;
class OrvelNativeCoach;
class SelectionController;

// The application's launch sequence and its answers to the application's life events: one running
// copy per session (a later launch hands its request over and ends) and per data folder (a launch
// in another session ends without touching it), the selection entry on the bus, the import check
// of automated runs, the stop of the check modes, the first-setup step and the start of
// select-anywhere; reopening, becoming active and terminating. It makes no window. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static inline const QString setupVersionKey = QStringLiteral("nativeSetupFlowVersion");
    static inline const QString autoSelectKey = QStringLiteral("nativeAutoSelectEnabled");
    // Saved window frames are kept under keys that begin with this (the space belongs to it).
    static inline const QString windowFramePrefix = QStringLiteral("NSWindow Frame ");
    static constexpr int setupFlowVersion = 6;

    struct Services {
        base::DefaultsStore& defaults;
        OrvelNativeCoach& coach;
        SelectionController& controller;
        AppStore& store;
        ApplicationInstance& instance;
        base::WorkScheduler& scheduler;
        // Starts the import check of a file; the check ends the process itself.
        std::function<void(const QString& file)> startImportCheck;
        // The main window's handler of the application's URLs.
        std::function<void(const QString& url)> openURL;
        // The selection the study-selection command hands over, read when it is given.
        std::function<halvern::SelectionCommandReader::Outcome()> readSelection;
        // Takes the data folder for this copy (none: it is not guarded).
        std::function<DataFolderLock::Result()> lockDataFolder;
    };

    // What the application does after the launch sequence.
    enum class Next {
        showWindow,   // runs with its main window
        handOver,     // runs for the study-selection command: the answer panel shows, the main window not yet
        importCheck,  // runs without a window until the import check ends it
        end,          // ends at once with `exitStatus`
        // ends with `exitStatus` once the person has read that another copy, `dataFolderHolder`,
        // uses the data folder
        dataFolderInUse,
    };
    struct Outcome {
        Next next = Next::showWindow;
        int exitStatus = 0;
        DataFolderLock::Holder dataFolderHolder;
        bool operator==(const Outcome&) const = default;
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);

    // The launch sequence over the program's arguments (the program path first). Select-anywhere
    // starts on a later turn of the event loop, after the main window is shown.
    Outcome applicationDidFinishLaunching(const QStringList& arguments);
    // A later launch that asked for nothing else.
    void applicationShouldHandleReopen();
    void applicationDidBecomeActive();
    void applicationWillTerminate();
    // A request that a later launch handed over to this copy.
    void handleLaunchRequest(const LaunchRequest& request);

private:
    bool performFirstSetupIfDue();
    // Gives the study-selection command's outcome to the running copy; whether it took it.
    bool handOverSelection(const halvern::SelectionCommandReader::Outcome& outcome, const std::optional<QString>& mode,
                           int* exitStatus);

    Services services_;
};

}  // namespace velquin

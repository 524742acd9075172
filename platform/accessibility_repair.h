#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include "base/errors.h"

// Lets the application repair select-anywhere's access to other programs by itself: tells whether
// the running copy is the installed one, switches the desktop's accessibility off and on, restarts
// the installed copy in setup mode once this process has ended, opens the desktop's accessibility
// settings and shows the running copy in the file manager.
namespace halvern {

class RepairFailure : public base::Error {
public:
    enum class Case { reset, wrongCopy };

    RepairFailure(Case failureCase, QString output = {}) : case_(failureCase), output_(std::move(output)) {}
    Case failureCase() const { return case_; }
    const QString& output() const { return output_; }
    QString message() const override;

private:
    Case case_;
    QString output_;
};

struct AccessibilityRepair {
    // The desktop-file id of the installed application.
    static inline const QString bundleIdentifier = QStringLiteral("com.orvel.formac");

    // What identifies the running copy. current() reads this process.
    struct RunningCopy {
        QString identifier;      // the application's desktop-file id
        QString executablePath;  // the running program file
        QString homePath;        // the user's home folder

        static RunningCopy current();
    };

    // The install locations, in order: ~/.local/bin/orvel, ~/.local/bin/orvel-formac,
    // /usr/local/bin/orvel, /usr/local/bin/orvel-formac (`cmake --install`), /usr/bin/orvel (the
    // Debian package).
    static QStringList validInstalledPaths(const RunningCopy& copy = RunningCopy::current());

    // The copy to restart: the running program when it is at an install location (both sides with
    // links resolved), otherwise the first install location.
    static QString installedAppPath(const RunningCopy& copy = RunningCopy::current());

    // Whether the running program carries the identifier and is at an install location.
    static bool isInstalledCopy(const RunningCopy& copy = RunningCopy::current());

    // Switches the desktop's accessibility off and on again on the session bus (blocks; keep it
    // off the main thread). Returns the text the desktop reported (none on success). Throws
    // RepairFailure: wrongCopy (nothing done) or reset.
    static QString resetOwnAuthorization(const RunningCopy& copy = RunningCopy::current(),
                                         const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Starts "/bin/sh" with the restart script, which waits for process `waitForPid` (this process
    // by default) to end and then runs the installed copy with "--setup"; it gives up after 50 tries
    // 0.2 s apart. Returns the script's process id at once. The caller must end this process within
    // about 10 s. Throws RepairFailure(wrongCopy) (nothing started) or base::SystemError.
    static qint64 restartInstalledCopy(const RunningCopy& copy = RunningCopy::current(), qint64 waitForPid = 0);

    // The restart script: $1 the program to start, $2 the process id to wait for.
    static const QString& restartScript();

    // Opens the desktop's accessibility settings where the desktop has them. Reports nothing.
    static void openPermissionSettings();

    // Shows the running program in the file manager.
    static void revealRunningCopy(const RunningCopy& copy = RunningCopy::current());
};

}  // namespace halvern

#pragma once

#include <QMap>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <optional>

#include "base/cancellation.h"
#include "base/defaults_store.h"
#include "base/errors.h"
#include "core/selection_read_rule.h"
#include "platform/accessibility_element.h"
#include "platform/pasteboard.h"
#include "platform/selected_text_reader.h"

// The compatibility copy: the selection of another application obtained from the PRIMARY
// selection, else by making the application copy it, with the user's clipboard put back.
namespace halvern {

class CompatibilityReadFailure : public base::Error {
public:
    // noCopyFromTerminal: noCopy where the source is a terminal, whose copy key is Ctrl+Shift+C
    // (Ctrl+C there interrupts the running program). noCopyFromBrowser: noCopy where the source is a
    // web browser, which copies nothing from a password field. unconfirmedBrowserField: the source is a web
    // browser whose selection the accessibility bus does not show, so its PRIMARY selection may be a
    // password field's (browsers put even those there in clear); only the browser's own copy, which
    // it refuses in a password field, may read it. unconfirmedBrowserFieldWithoutCopy: the same where
    // no copy can be asked for either (a window outside X11). unconfirmedProgramField: a program that
    // puts a password field's text into PRIMARY in clear and copies it (LibreOffice), whose selection
    // the bus does not show. unconfirmedWebViewField(WithoutCopy): unconfirmedBrowserField(WithoutCopy)
    // for a program of another web engine, which Chromium's switches do not reach.
    // unshownWebSelection(WithoutCopy): a browser or web view whose page is on the accessibility bus,
    // where the bus does not show the selection in an ordinary element (it may be a password field's);
    // the program's own copy could read it were the compatibility copy on (or none can). remoteSource: the
    // source is a program of another machine, or one shown through a forwarder (ssh -X). unknownProgram:
    // the source's program cannot be told (its process has ended).
    // restoreFailed: after the copy the user's clipboard could not be put back; the copied
    // selection is left in its place.
    // clipboardTakenByAnother: while the copy was waited for, another program changed the clipboard
    // and the source was never seen holding it (a copy made just after the source's hides that one);
    // nothing was read, and the other program's copy stays.
    enum class Case {
        busy,
        sourceChanged,
        snapshotUnavailable,
        noCopy,
        noCopyFromTerminal,
        noCopyFromBrowser,
        unconfirmedBrowserField,
        unconfirmedBrowserFieldWithoutCopy,
        unconfirmedWebViewField,
        unconfirmedWebViewFieldWithoutCopy,
        unshownWebSelection,
        unshownWebSelectionWithoutCopy,
        unconfirmedProgramField,
        remoteSource,
        unknownProgram,
        restoreFailed,
        clipboardTakenByAnother,
    };

    explicit CompatibilityReadFailure(Case failureCase) : case_(failureCase) {}
    Case failureCase() const { return case_; }
    QString message() const override;

private:
    Case case_;
};

// PRIMARY as an application holds it: whether it owns the selection, and its text where the owner
// handed it over in time.
struct PrimarySelection {
    bool owned = false;
    std::optional<QString> text;
};

// Who owns PRIMARY, as seen for one application: one of its windows, or the compositor's window through
// which it passes a native Wayland selection on to X11 (while no X window is active and the application
// has none), or neither.
struct PrimaryOwner {
    enum class Kind { none, source, compositor };
    Kind kind = Kind::none;
    quint64 window = 0;
};

struct SelectionClipboardReader {
    // Bool: the user's on/off switch of the compatibility copy.
    static inline const QString preferenceKey = QStringLiteral("nativeSelectionCompatibilityCopy");
    // Integer written when the switch is first given its default; never read here.
    static inline const QString migrationVersionKey = QStringLiteral("nativeSelectionCompatibilityCopyMigration");

    static inline const QString copyRoute = QStringLiteral("Compatibility Copy · clipboard snapshot restore attempted");
    static inline const QString primaryRoute = QStringLiteral("Compatibility Copy · primary selection");

    // Backup limits.
    static constexpr qsizetype snapshotItems = 16;
    static constexpr qsizetype snapshotTypesPerItem = 32;
    static constexpr qint64 snapshotBytes = 8 * 1024 * 1024;
    // Waiting for the copy: checks and the pause after each.
    static constexpr int copyChecks = 30;
    static constexpr std::chrono::milliseconds copyPause{20};
    // Writes of the backup before the restore is given up as failed.
    static constexpr int restoreAttempts = 3;
    // How long the owner of PRIMARY has to hand over its text.
    static constexpr std::chrono::milliseconds primaryTimeout{500};
    // The same for the compositor's own window, which passes on a native window's selection: the shell
    // hands the text over from its main loop, which a stranger flooding the extension with calls kept
    // busy for more than the 500 ms on two cores. A shell that does not answer is a desktop that takes
    // no input, so it is given as long as the bus gives its answer about the source (the bus's own
    // limit, 25 s); the read waits on a worker thread.
    static constexpr std::chrono::milliseconds compositorPrimaryTimeout{25000};
    // How long the shell extension has to name the process that set a native selection: until it
    // answers, or the bus gives up on the call (asked off the main thread). The shell is the
    // compositor, so a shell that does not answer is a desktop that takes no input; but a stranger
    // flooding the extension with calls delayed its answers by more than a second, behind the
    // stranger's calls, and a shorter limit refused the person's selection then.
    static constexpr std::chrono::milliseconds primarySourceTimeout{-1};

    // The switch's value, storing true (and the migration marker 1) when none is stored or the
    // stored value is not a Bool.
    static bool migrateDefault(base::DefaultsStore& defaults = base::DefaultsStore::standard());

    // The PRIMARY selection where the application with that process id owns it (or, for its native
    // Wayland window, the compositor passes on what it set): what the user just selected there, read
    // without a keystroke and without touching the clipboard. Blocks up to the time-outs: any thread.
    static PrimarySelection primaryText(qint32 processIdentifier);
    // The steps of primaryText, any thread: who owns PRIMARY for the application; whether that holds the
    // application's selection (`nativeSource`, the process that set a native selection as the shell
    // extension tells it, is asked only for the compositor's window: nothing, or another process, is
    // no); and the owner's text, only while that window still owns it.
    static PrimaryOwner primaryOwner(qint32 processIdentifier);
    static bool holdsSelectionOf(const PrimaryOwner& owner, qint32 processIdentifier,
                                 const std::function<std::optional<qint32>()>& nativeSource);
    static std::optional<QString> primaryText(const PrimaryOwner& owner);
    // The error that tells a refusal of SelectionReadRule: DirectSelectionFailure protectedField for a
    // password field, timedOut where PRIMARY did not come in time, CompatibilityReadFailure for an
    // unconfirmed browser or program, a remote source or a program that cannot be told, noText
    // otherwise.
    [[noreturn]] static void throwRefusal(tamsel::SelectionReadRule::Refusal refusal);

    // The compatibility copy from the application with that process id, on the main thread, for a
    // selection the accessibility bus did not show: the routes SelectionReadRule allows, PRIMARY
    // first, then copy(). Throws DirectSelectionFailure permission when untrusted, and what the
    // refusal or the copy throws.
    // (The coroutines take no default arguments: GCC 12 destroys such an argument twice; the
    // shorter overloads forward.)
    static QCoro::Task<SelectionReadResult> read(qint32 processIdentifier, base::CancellationToken cancellation,
                                                 AccessibilitySystem& system);
    static QCoro::Task<SelectionReadResult> read(qint32 processIdentifier, base::CancellationToken cancellation) {
        return read(processIdentifier, std::move(cancellation), AccessibilitySystem::standard());
    }
    static QCoro::Task<SelectionReadResult> read(qint32 processIdentifier) {
        return read(processIdentifier, base::CancellationToken(), AccessibilitySystem::standard());
    }
    // The program's own copy: a guarded Ctrl+C to the application's active window (never to a
    // terminal) over the desktop's clipboard, which is put back afterwards. A browser that copies
    // nothing is told apart by `program`.
    static QCoro::Task<SelectionReadResult> copy(qint32 processIdentifier, base::CancellationToken cancellation,
                                                 tamsel::SelectionReadRule::Program program);

    // The copy procedure over any pasteboard with its two side effects injected:
    // `sourceStillFocused` tells whether the source is still the application in use,
    // `requestCopy` asks it to copy and tells whether that could be asked. `source` is the owner
    // (Pasteboard::owner()) that the source's copy leaves holding the pasteboard: only a change by
    // it is the copy, and a wait that saw only other programs' changes ends in clipboardTakenByAnother.
    // Without it, a change by any program but this one is. Main thread.
    static QCoro::Task<SelectionReadResult> readFrom(Pasteboard& pasteboard, std::function<bool()> sourceStillFocused,
                                                     std::function<bool()> requestCopy,
                                                     base::CancellationToken cancellation,
                                                     std::optional<quint64> source);
    static QCoro::Task<SelectionReadResult> readFrom(Pasteboard& pasteboard, std::function<bool()> sourceStillFocused,
                                                     std::function<bool()> requestCopy,
                                                     base::CancellationToken cancellation) {
        return readFrom(pasteboard, std::move(sourceStillFocused), std::move(requestCopy), std::move(cancellation),
                        std::nullopt);
    }

    using CopyProcedure = std::function<QCoro::Task<SelectionReadResult>(
        Pasteboard&, std::function<bool()>, std::function<bool()>, base::CancellationToken)>;

    // The built-in self test of the copy procedure on a private pasteboard: one outcome per
    // named check. `procedure` replaces readFrom (to check the checks); empty means readFrom.
    static QCoro::Task<QMap<QString, bool>> performRegressionChecks(CopyProcedure procedure);
    static QCoro::Task<QMap<QString, bool>> performRegressionChecks() {
        return performRegressionChecks(CopyProcedure());
    }
};

}  // namespace halvern

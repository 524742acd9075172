#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "base/raw_value.h"

// The state of one select-anywhere interaction: from a finished gesture, through the wait for the
// selection to settle and the read, to the icon beside the pointer and the answer panel. Driven by
// the select-anywhere controller on the main thread.
namespace tamsel {

// What a successful read, the service entry or the self-test delivers.
struct CapturedSelection {
    QString text;                               // empty when it only stands for a failed read
    QString appName;                            // display name of the source application
    std::optional<qint32> processIdentifier;    // absent for the service entry, self-test, failed read
    bool localPreview = false;                  // a test selection made by the program itself

    bool operator==(const CapturedSelection& other) const = default;
};

struct SelectionInteraction {
    enum class Phase { idle, waiting, reading, icon, result };
    enum class Origin { automatic, manual, service, preview };

    Phase phase = Phase::idle;
    // How the current interaction began; kept across a reset.
    Origin origin = Origin::automatic;
    // Raised by every reset; identifies the current interaction. Compared for equality only.
    qint64 generation = 0;
    std::optional<qint32> sourcePID;
    std::optional<CapturedSelection> captured;
    std::optional<QString> failureMessage;
    // Diagnostics only; they count for the life of the value and are never reset.
    qint64 readsStarted = 0;
    qint64 readsSucceeded = 0;
    qint64 readsFailed = 0;
    qint64 readsCancelled = 0;
    QString readStatus = QStringLiteral("尚未读取");

    bool operator==(const SelectionInteraction& other) const = default;

    // Ends whatever is pending; true when an icon or the answer panel was being shown.
    bool reset(const QString& reason);
    // Starts a new interaction after a gesture; returns its generation.
    qint64 beginRead(qint32 pid, bool manual);
    // The wait is over and the read starts. False when the event is stale.
    bool markReading(qint64 generation);
    // The read delivered text. False when the event is stale.
    bool finishRead(qint64 generation, const CapturedSelection& selection, bool offerIcon);
    // The read failed with `message`. False when the event is stale.
    bool failRead(qint64 generation, const QString& message, bool offerIcon);
    // The user clicked the icon of a successful read.
    std::optional<CapturedSelection> openIcon();
    // The user clicked the icon of a failed read.
    std::optional<QString> openFailureIcon();
    // Shows a selection that arrived without a read (service entry, self-test).
    void present(const CapturedSelection& selection, Origin origin, bool asIcon);
    // Automatic reading was switched off or paused; only an automatic interaction ends.
    bool pauseAutomatic();
    // Another application became active: whether to dismiss what is shown.
    bool shouldDismissOnActivation(qint32 pid, qint32 ownPID, bool isSystem, bool isProtected) const;
};

constexpr auto rawValueTable(SelectionInteraction::Phase) {
    using enum SelectionInteraction::Phase;
    return base::rawValues<SelectionInteraction::Phase>({{idle, u"idle"}, {waiting, u"waiting"}, {reading, u"reading"},
        {icon, u"icon"}, {result, u"result"}});
}

constexpr auto rawValueTable(SelectionInteraction::Origin) {
    using enum SelectionInteraction::Origin;
    return base::rawValues<SelectionInteraction::Origin>({{automatic, u"automatic"}, {manual, u"manual"},
        {service, u"service"}, {preview, u"preview"}});
}

// A screen position in points with y growing upwards (convert Qt's y-down coordinates first).
struct SelectionPoint {
    double x = 0;
    double y = 0;

    bool operator==(const SelectionPoint& other) const = default;
};

struct SelectionPlacement {
    // The lower-left corner of a width x height panel right of and below the pointer `near`, kept
    // 8 points inside the visible area [minX, maxX] x [minY, maxY] (y up). When the area is too small
    // the lower bounds win.
    static SelectionPoint origin(SelectionPoint near, double width, double height, double minX, double minY,
                                 double maxX, double maxY);
};

}  // namespace tamsel

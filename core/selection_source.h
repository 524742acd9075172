#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "base/defaults_store.h"
#include "base/raw_value.h"

// Which application a selection gesture belongs to, and whether that application may be read.
//
// An application is named by its identifier: on this desktop the id of its desktop file without
// ".desktop" (for example "org.gnome.nautilus", "firefox-esr"), else the class of its WM_CLASS.
// The lists below hold the identifiers the rules recognise, compared in lower case; they keep the
// identifiers of the other desktop platform beside the Linux ones, so that either form matches.
namespace tamsel {

struct SelectionSourceResolution {
    qint32 processIdentifier = 0;
    QString method;  // diagnostic label of how the source was chosen

    bool operator==(const SelectionSourceResolution& other) const = default;
};

// The process identifiers a mouse event yielded.
struct SelectionEventSource {
    std::optional<qint32> hitPID;       // never filled by the mouse-event capture
    std::optional<qint32> focusedPID;   // application with the accessibility focus
    std::optional<qint32> frontmostPID; // frontmost application when the event arrived
    qint64 reportedTargetPID = 0;       // target process the event itself reports

    bool operator==(const SelectionEventSource& other) const = default;

    // The frontmost process, else the focused one (each only when above 0), else nothing. The own
    // process is not excluded here: SelectionSourcePolicy::blockReason refuses it.
    std::optional<SelectionSourceResolution> resolve(qint32 ownPID) const;
};

// Why a source is not read.
enum class SelectionSourceBlock {
    ownApplication,
    terminated,
    systemApplication,
    nonTextApplication,
    protectedApplication,
    browsersDisabled,
};

constexpr auto rawValueTable(SelectionSourceBlock) {
    using enum SelectionSourceBlock;
    return base::rawValues<SelectionSourceBlock>({{ownApplication, u"ownApplication"}, {terminated, u"terminated"},
        {systemApplication, u"systemApplication"}, {nonTextApplication, u"nonTextApplication"},
        {protectedApplication, u"protectedApplication"}, {browsersDisabled, u"browsersDisabled"}});
}

// The text shown to the user for a refused source.
QString message(SelectionSourceBlock block);

struct SelectionSourcePolicy {
    // Bool: true lets select-anywhere read web browsers.
    static inline const QString browserPreferenceKey = QStringLiteral("nativeSelectionIncludeBrowsers");
    // The older, opposite switch: only removed, never read.
    static inline const QString legacyBrowserKey = QStringLiteral("nativeSelectionSkipBrowsers");

    static const QStringList& systemApplications();
    static const QStringList& browsers();
    // File managers: their selections are files, not text.
    static const QStringList& fileManagers();
    static const QStringList& lockDownWords();

    // Stores true when nothing is stored yet, removes the older key, returns the stored switch.
    static bool loadBrowserPreference(base::DefaultsStore& store = base::DefaultsStore::standard());
    // Whether the identifier, lowered, is one of the known web browsers.
    static bool isBrowser(const QString& identifier);
    // The first rule that refuses the source, or nothing when it may be read.
    static std::optional<SelectionSourceBlock> blockReason(const QString& identifier, const QString& name,
                                                           bool isOwnApplication, bool isTerminated,
                                                           bool includeBrowsers);
};

}  // namespace tamsel

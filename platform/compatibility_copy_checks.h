#pragma once

#include <QString>
#include <QStringList>

// The names of the compatibility copy's built-in regression checks
// (SelectionClipboardReader::performRegressionChecks), in the order they run.
namespace halvern::compatibility_copy_checks {

inline const QString readsNewSelection = QStringLiteral("compatibility_copy_reads_new_selection");
inline const QString restoresAllTypes = QStringLiteral("compatibility_copy_restores_all_types");
inline const QString rejectsStaleClipboard = QStringLiteral("compatibility_copy_rejects_stale_clipboard");
inline const QString rejectsOtherSource = QStringLiteral("compatibility_copy_rejects_other_source");
inline const QString rejectsOversizedText = QStringLiteral("compatibility_copy_rejects_oversized_text");
inline const QString preservesLaterClipboard = QStringLiteral("compatibility_copy_preserves_later_clipboard");
inline const QString rejectsFileSelections = QStringLiteral("compatibility_copy_rejects_file_selections");
inline const QString cancellationRestoresClipboard =
    QStringLiteral("compatibility_copy_cancellation_restores_clipboard");

inline QStringList allNames() {
    return {readsNewSelection,     restoresAllTypes,        rejectsStaleClipboard, rejectsOtherSource,
            rejectsOversizedText, preservesLaterClipboard, rejectsFileSelections, cancellationRestoresClipboard};
}

}  // namespace halvern::compatibility_copy_checks

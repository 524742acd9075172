#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velquin {

// `orvel --study-selection [explain|translate|practice]`: the selection the person made in any
// program goes to the answer panel of the running copy in that mode. Meant to be bound to a key in
// the desktop's keyboard settings.
struct StudySelectionCommand {
    static inline const QString option = QStringLiteral("--study-selection");

    // The mode as the selection entry takes it; absent: the entry's default.
    std::optional<QString> mode;

    // The command the arguments ask for (the program path first), or nothing. The mode follows the
    // option as the next argument or after "="; `error` says why arguments that ask for it are
    // wrong (an unknown mode) and is left empty otherwise.
    static std::optional<StudySelectionCommand> fromArguments(const QStringList& arguments, QString* error);
    // Whether `argument` at `index` is the command's mode (so that no launch takes it for a URL).
    static bool isModeArgument(const QStringList& arguments, qsizetype index);

    bool operator==(const StudySelectionCommand&) const = default;
};

}  // namespace velquin

#include "app/shell/study_selection_command.h"

#include "base/raw_value.h"
#include "core/study.h"

namespace velquin {

namespace {

bool isMode(const QString& raw) {
    const std::optional<tamsel::StudyMode> mode = base::fromRawValue<tamsel::StudyMode>(raw);
    return mode && base::rawValue(*mode) == raw;
}

}  // namespace

bool StudySelectionCommand::isModeArgument(const QStringList& arguments, qsizetype index) {
    return index > 1 && index < arguments.size() && arguments.at(index - 1) == option &&
           !arguments.at(index).startsWith(u'-');
}

std::optional<StudySelectionCommand> StudySelectionCommand::fromArguments(const QStringList& arguments,
                                                                          QString* error) {
    if (error) error->clear();
    const QString prefix = option + u'=';
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        std::optional<QString> mode;
        if (argument.startsWith(prefix)) {
            mode = argument.mid(prefix.size());
        } else if (argument == option) {
            if (isModeArgument(arguments, i + 1)) mode = arguments.at(i + 1);
        } else {
            continue;
        }
        if (mode && !isMode(*mode)) {
            if (error)
                *error = QStringLiteral("unknown study mode \"%1\"; use explain, translate or practice").arg(*mode);
            return std::nullopt;
        }
        return StudySelectionCommand{mode};
    }
    return std::nullopt;
}

}  // namespace velquin

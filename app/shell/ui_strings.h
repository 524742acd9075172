#pragma once

#include <QHash>
#include <QString>

#include "app/shell/interface_settings.h"

namespace velquin {

// The interface's texts are written in Simplified Chinese; this turns them into the interface
// language. `choose` picks one of three wordings a call site already has; `text` looks a Chinese
// text up: the exact table entry, then the rules for texts with a variable part, then a known
// prefix ending in a full-width colon (its detail looked up in turn) or a known message behind the
// first such colon, and otherwise the text stays Chinese (" 秒" becomes " s").
// The English and French tables are loaded once from the program's string table.
class UIStrings {
public:
    UIStrings() = delete;

    // Chinese, English, French: the one for the effective language of the shared settings.
    static QString choose(const QString& chinese, const QString& english, const QString& french);
    // `translated` in the language of the shared settings.
    static QString text(const QString& source);
    static QString translated(const QString& source, InterfaceLanguage language);

    // Reads the tables and compiles the patterns now rather than at their first use; safe on any
    // thread.
    static void prepare();

    // The tables, keyed by the Chinese text (in composed normal form).
    static const QHash<QString, QString>& english();
    static const QHash<QString, QString>& french();

    // The lookup over a given table, with the rules and the connector of `language` (English or
    // French): what `translated` does with the shipped tables.
    static QString localize(const QString& source, const QHash<QString, QString>& dictionary,
                            InterfaceLanguage language);
};

}  // namespace velquin

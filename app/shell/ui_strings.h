#pragma once

#include <QHash>
#include <QString>

#include "app/shell/interface_settings.h"

namespace velquin {

// The interface's texts are written in Simplified Chinese; this turns them into the interface
// language. `choose` picks one of three wordings a call site already has; `text` looks a Chinese
// text up: the exact table entry, then the rules for texts with a variable part, then a known
// prefix ending in a full-width colon (its detail looked up in turn) or a known message behind the
// first such colon, and otherwise the text stays Chinese (" 秒" becomes " s"). Qt's own words for a
// network failure, which the network layer keeps untranslated, come in Qt's translation, alone or
// after such a colon.
// The English and French tables are loaded once from the program's string table.
class UIStrings {
public:
    UIStrings() = delete;

    // Chinese, English, French: the one for the effective language of the shared settings (French
    // with its typography).
    static QString choose(const QString& chinese, const QString& english, const QString& french);
    // `shown` in the language of the shared settings.
    static QString text(const QString& source);
    // The table's wording: what the lookup below gives, as the table holds it.
    static QString translated(const QString& source, InterfaceLanguage language);
    // `translated` as people see it: in French, the table's and the rules' own wording is typeset
    // with `frenchTypography`; what the source carried (a name, a number, a path) stays as it is.
    static QString shown(const QString& source, InterfaceLanguage language);
    // French typesetting: a no-break space in place of an ordinary one inside « » (added where
    // there was none) and before : ; ? !, and the apostrophe ’ in place of ' between two letters.
    static QString frenchTypography(const QString& text);

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

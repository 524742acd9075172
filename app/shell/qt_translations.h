#pragma once

#include <QObject>
#include <QTranslator>

#include <memory>

#include "app/shell/interface_settings.h"

namespace velquin {

// Qt's own catalogue (qtbase) for `language` as it is shown; null for English and where the file
// is not installed.
std::unique_ptr<QTranslator> qtCatalogue(InterfaceLanguage language);

// Qt's own texts (the file dialogs, an editor's context menu, the buttons of standard dialogs) in
// the interface language: the application holds the translations Qt ships for the effective
// language of the shared settings and swaps them whenever that language changes. English needs
// none, and a language whose file is not installed leaves Qt's English.
class QtTranslations : public QObject {
    Q_OBJECT
public:
    // Installs the translations of the current language on the application and follows changes.
    explicit QtTranslations(InterfaceSettings& settings = InterfaceSettings::shared(), QObject* parent = nullptr);
    ~QtTranslations() override;

    // The file now installed; empty when Qt shows its English.
    QString installedFile() const;

private:
    void apply(InterfaceLanguage language);

    std::unique_ptr<QTranslator> translator_;
};

}  // namespace velquin

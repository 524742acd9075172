#include "app/shell/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace velquin {

std::unique_ptr<QTranslator> qtCatalogue(InterfaceLanguage language) {
    const InterfaceLanguage shown = effectiveLanguage(language);
    if (shown == InterfaceLanguage::english) return nullptr;
    // "qtbase_zh_CN.qm" for zh-Hans, "qtbase_fr.qm" for fr: the locale's UI languages are tried in
    // turn.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(velquin::locale(shown), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    return translator;
}

QtTranslations::QtTranslations(InterfaceSettings& settings, QObject* parent) : QObject(parent) {
    apply(settings.language());
    connect(&settings, &InterfaceSettings::languageChanged, this, &QtTranslations::apply);
}

QtTranslations::~QtTranslations() {
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

QString QtTranslations::installedFile() const { return translator_ ? translator_->filePath() : QString(); }

void QtTranslations::apply(InterfaceLanguage language) {
    // Removing and installing each post a language change, on which Qt's widgets retranslate.
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    translator_ = qtCatalogue(language);
    if (translator_) QCoreApplication::installTranslator(translator_.get());
}

}  // namespace velquin

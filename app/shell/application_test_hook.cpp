#include "app/shell/application_test_hook.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFontMetricsF>
#include <QUrl>

#include "app/shell/app_store.h"
#include "app/shell/interface_settings.h"
#include "app/shell/workspace_router.h"
#include "platform/accessibility_repair.h"
#include "platform/selection_service_provider.h"

namespace velquin {

namespace {

QList<std::function<QVariantMap()>>& addedStates() {
    static QList<std::function<QVariantMap()>> states;
    return states;
}

// How wide the interface font draws a few texts ("advance " and the text), in pixels at 100
// pixels: Latin text with and without the punctuation that Chinese fonts draw full-width, and
// Chinese text.
QVariantMap textAdvances() {
    QFont font = QApplication::font();
    font.setPixelSize(100);
    const QFontMetricsF metrics(font);
    QVariantMap advances;
    for (const QString& text :
         {QStringLiteral("Qu’aimeriez"), QStringLiteral("Quaimeriez"), QStringLiteral("said “yes” now"),
          QStringLiteral("said yes now"), QStringLiteral("国字")})
        advances.insert(QStringLiteral("advance ") + text, metrics.horizontalAdvance(text));
    return advances;
}

// The object on the bus; its slots are the interface's methods.
class TestHookObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvel.formac.Test")
public:
    TestHookObject(AppStore& store, WorkspaceRouter& router, QObject* parent)
        : QObject(parent), store_(store), router_(router) {}

public Q_SLOTS:
    QVariantMap State() const {
        QVariantMap state{
            {QStringLiteral("showSettings"), store_.showSettings()},
            {QStringLiteral("showPrivacyConsent"), store_.showPrivacyConsent()},
            {QStringLiteral("showAccountLogin"), store_.showAccountLogin()},
            {QStringLiteral("showCaptureGuide"), store_.showCaptureGuide()},
            {QStringLiteral("showDirectSelectionSettings"), store_.showDirectSelectionSettings()},
            {QStringLiteral("selectionPresentation"), store_.selectionPresentation()},
            {QStringLiteral("isBusy"), store_.isBusy()},
            {QStringLiteral("pdfChoice"), store_.pdfChoice().has_value()},
            {QStringLiteral("status"), store_.status()},
            {QStringLiteral("page"), base::rawValue(router_.page())},
            {QStringLiteral("mode"), base::rawValue(store_.mode())},
            {QStringLiteral("installedCopy"), halvern::AccessibilityRepair::isInstalledCopy()},
        };
        state.insert(textAdvances());
        for (const auto& added : addedStates()) state.insert(added());
        return state;
    }

    void ImportFile(const QString& path) { store_.importURL(QUrl::fromLocalFile(path)); }

    void OpenPage(const QString& page) {
        if (const auto target = base::fromRawValue<WorkspaceRouter::Page>(page)) router_.open(*target);
    }

    // As the language pickers of the settings sheets set it.
    void SetInterfaceLanguage(const QString& language) {
        if (const auto chosen = base::fromRawValue<InterfaceLanguage>(language))
            InterfaceSettings::shared().setLanguage(*chosen);
    }

    void ReceiveSelection(const QString& text, const QString& mode) {
        if (const auto studyMode = base::fromRawValue<tamsel::StudyMode>(mode))
            store_.receiveSelection({text, *studyMode});
    }

private:
    AppStore& store_;
    WorkspaceRouter& router_;
};

}  // namespace

void ApplicationTestHook::registerIfWanted(AppStore& store, WorkspaceRouter& router, QObject* owner) {
    if (qEnvironmentVariable("ORVEL_TEST_HOOKS") != QLatin1String("1")) return;
    auto* hook = new TestHookObject(store, router, owner);
    QDBusConnection::sessionBus().registerObject(objectPath, hook, QDBusConnection::ExportAllSlots);
}

void ApplicationTestHook::addState(std::function<QVariantMap()> state) { addedStates().append(std::move(state)); }

}  // namespace velquin

#include "application_test_hook.moc"

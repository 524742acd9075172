// The program's entry: the application with the parts every area contributes.
#include "app/account/account_session.h"
#include "app/account/history_store.h"
#include "app/account/session_keyring.h"
#include "app/main-window/account_profile_view.h"
#include "app/main-window/home_page_sheets.h"
#include "app/main-window/orvel_app.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/settings_sheets.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/direct_selection_settings_view.h"
#include "app/select-anywhere/selection_result_view.h"
#include "app/shell/app_store_services.h"
#include "app/shell/app_store_study_flow.h"
#include "app/shell/application_test_hook.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-workspace/diz_uvizi_view.h"
#include "app/tutor-workspace/merid_formal_import.h"
#include "app/tutor-workspace/merid_formal_workspace_view.h"
#include "base/defaults_store.h"

namespace {

// Each area connects its windows and services to the application here.
velquin::ApplicationParts applicationParts() {
    using velquin::MeridFormalImport;
    velquin::ApplicationParts parts;
    // The account session empties the main window's study flow when the account changes and words
    // its messages in the interface language.
    velquin::AccountSessionServices account;
    account.studyFlow = velquin::appStoreStudyFlow();
    account.wording = &velquin::UIStrings::choose;
    velquin::AccountSession::configureShared(std::move(account));
    parts.selectionController = [](velquin::AppStore&) -> velquin::SelectionController* {
        return &velquin::DirectSelectionController::shared();
    };
    parts.tutorImport = {&MeridFormalImport::stageSelectedFile, &MeridFormalImport::pdfPageCount,
                         &MeridFormalImport::load, &MeridFormalImport::removeStagedFile};
    // Confirms a held session each time the main window's workspace comes on screen (the session
    // first reads the keyring, then refreshes only when a token is held). It runs on by itself.
    parts.refreshSignedInAccount = [] {
        QCoro::Task<void> refreshing = velquin::AccountSession::shared().refresh();
    };
    // The account whose history takes the answers (answered only when the test hook is registered):
    // the end-to-end tests wait for it before they ask anything.
    velquin::ApplicationTestHook::addState([] {
        const std::optional<QString>& account = velquin::sharedHistoryWithKeychain().accountID();
        return QVariantMap{{QStringLiteral("historyAccount"), account.value_or(QString())}};
    });
    // The account whose tutor sessions the coach page opens on, answered before the page is first
    // built; the tutor's own state below takes over once it is.
    velquin::ApplicationTestHook::addState([] {
        const velquin::AccountSession& account = velquin::AccountSession::shared();
        return QVariantMap{{QStringLiteral("meridIdentity"),
                            velquin::DizUviziView::identityKeyOf(account.accountID(), account.signedIn())}};
    });
    parts.selectionView = [](velquin::AppStore& store, QWidget* parent) -> QWidget* {
        return new velquin::SelectionResultView(store, parent);
    };
    parts.directSelectionSettingsSheet = [](velquin::AppStore& store, QWidget* parent) {
        return new velquin::DirectSelectionSettingsView(store, velquin::DirectSelectionController::shared(),
                                                        base::DefaultsStore::standard(), {}, parent);
    };
    velquin::addHomePageSheets(parts);
    velquin::addSettingsSheets(parts);
    // The account sheet over the application's session, with the privacy notice and the AI-consent
    // sheet over it.
    parts.accountSheet = [consent = parts.privacyConsentSheet](velquin::AppStore& store, QWidget* parent) {
        velquin::AccountProfileView::Options options;
        options.privacyDisclosure = [](QWidget* over) { return new velquin::PrivacyDisclosureView(over); };
        if (consent) options.privacyConsent = [consent, &store](QWidget* over) { return consent(store, over); };
        return new velquin::AccountProfileView(velquin::AccountSession::shared(), base::DefaultsStore::standard(),
                                               options, parent);
    };
    // The tutor below the coach page's header, with the AI-consent sheet when it asks for consent.
    parts.coachHost = [consent = parts.privacyConsentSheet](velquin::AppStore& store, std::function<void()> close,
                                                            QWidget* parent) -> QWidget* {
        velquin::DizUviziView::Options options;
        if (consent) options.consentSheet = [consent, &store](QWidget* over) { return consent(store, over); };
        options.arguments = QCoreApplication::arguments();
        auto* host =
            new velquin::DizUviziView(store, velquin::AccountSession::shared(), velquin::OrvelNativeCoach::shared(),
                                      base::DefaultsStore::standard(), std::move(options), std::move(close), parent);
        // What the end-to-end tests look at (answered only when the test hook is registered).
        velquin::ApplicationTestHook::addState([host = QPointer<velquin::DizUviziView>(host)] {
            if (!host || !host->screen()) return QVariantMap();
            const velquin::MeridFormalWorkspaceController& tutor = host->screen()->controller();
            return QVariantMap{{QStringLiteral("meridIdentity"), host->identityKey()},
                               {QStringLiteral("meridBusy"), tutor.busy()},
                               {QStringLiteral("meridStatus"), tutor.errorMessage()},
                               {QStringLiteral("meridSessionCount"), tutor.sessions().size()},
                               {QStringLiteral("meridActiveTurns"), tutor.active().turns.size()}};
        });
        return host;
    };
    return parts;
}

}  // namespace

// LeakSanitizer's check, where the program is built with it (a weak symbol: null otherwise).
extern "C" void __lsan_do_leak_check() __attribute__((weak));

int main(int argc, char** argv) {
    const int status = velquin::OrvelApp::main(argc, argv, applicationParts());
    // Leaks are looked for here, once the application and its windows are gone, rather than at exit:
    // there the destructors of Qt's globals end their threads (the thread pool's), and a thread that
    // is ending while the leak checker stops the others and reads their stacks makes the checker
    // itself crash now and then ("Tracer caught signal 11"), which failed a run that leaked nothing.
    // The check at exit does not run again.
    if (__lsan_do_leak_check) __lsan_do_leak_check();
    return status;
}

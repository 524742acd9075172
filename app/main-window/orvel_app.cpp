#include "app/main-window/orvel_app.h"

#include <QApplication>
#include <QLocale>
#include <QScopeGuard>
#include <QStyle>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "app/account/account_data_scope.h"
#include "app/main-window/check_runs.h"
#include "app/main-window/content_view.h"
#include "app/main-window/data_folder_notice.h"
#include "app/main-window/main_window.h"
#include "app/shell/app_delegate.h"
#include "app/shell/app_store.h"
#include "app/shell/application_instance.h"
#include "app/shell/application_style.h"
#include "app/shell/application_test_hook.h"
#include "app/shell/data_folder_lock.h"
#include "app/shell/display_platform.h"
#include "app/shell/interface_font.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/orvel_url.h"
#include "app/shell/program_options.h"
#include "app/shell/qt_translations.h"
#include "app/shell/qt_window_system.h"
#include "app/shell/selection_controller.h"
#include "app/shell/startup_warm_up.h"
#include "app/shell/termination_signals.h"
#include "app/shell/workspace_router.h"
#include "base/defaults_store.h"
#include "base/task.h"
#include "base/work_scheduler.h"
#include "platform/accessibility_repair.h"
#include "platform/text_recognizer.h"

namespace velquin {

namespace {

// How long the end of the program waits for blocking work (an extraction removing its staged
// copy) to finish after it was cancelled.
constexpr int kFinishWorkMs = 10000;

bool hasImportCheck(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--qa-smoke-import") == 0) return true;
    }
    return false;
}

void applyLocale(QWidget* window) {
    const QLocale locale = velquin::locale(InterfaceSettings::shared().language());
    QLocale::setDefault(locale);
    if (window) window->setLocale(locale);
}

// The import check runs away from the main thread and then ends the process: normally after a
// pass, at once with its failure status after a failure.
void startImportCheck(const QString& file, const TutorMaterialImport& tutor, base::WorkScheduler& scheduler) {
    auto status = std::make_shared<int>(0);
    scheduler.runBlocking(
        [file, tutor, status] {
            *status = HeadlessImportCheck::perform(file, tutor, [](const QByteArray& line) {
                std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
                std::fflush(stdout);
            });
        },
        [status] {
            if (*status == 0) {
                QCoreApplication::exit(0);
                return;
            }
            std::fflush(stdout);
            std::_Exit(*status);
        });
}

}  // namespace

void OrvelApp::handleURL(const QString& url, AppStore& store, SelectionController& selection) {
    switch (orvelURLRequest(url)) {
    case OrvelURLRequest::reader: store.openDocumentReader(); break;
    case OrvelURLRequest::direct: selection.openDirectSettings(); break;
    case OrvelURLRequest::none: break;
    }
}

int OrvelApp::main(int argc, char** argv, const ApplicationParts& parts) {
    // The import check needs no screen.
    if (hasImportCheck(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // --version, --help, an unknown option and a missing display end here, before any window or
    // running copy is touched.
    if (const std::optional<int> status = ProgramOptions::apply(argc, argv)) return *status;

    // xcb on a Wayland session with an X display, unless the person chose a platform. It goes in as
    // Qt's own option rather than through the environment, so programs started from here choose theirs.
    std::vector<char*> arguments(argv, argv + argc);
    QByteArray platform =
        DisplayPlatform::preferred(&DisplayPlatform::processVariable, QList<QByteArray>(argv, argv + argc));
    char platformOption[] = "-platform";
    if (!platform.isEmpty() && argc > 0) arguments.insert(arguments.begin() + 1, {platformOption, platform.data()});
    int argumentCount = int(arguments.size());
    arguments.push_back(nullptr);

    const StartupWarmUp warmUp;
    QApplication application(argumentCount, arguments.data());
    // However the program ends, coroutines still waiting for blocking work end before the application
    // object goes: its event loop would never deliver their completions.
    const auto endWaits = qScopeGuard(&base::endBlockingWaits);
    QApplication::setApplicationName(QStringLiteral("orvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvel"));
    QApplication::setDesktopFileName(halvern::AccessibilityRepair::bundleIdentifier);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(new ApplicationStyle(QApplication::style()->name()));
    QApplication::setFont(InterfaceFont::latinFirst(QApplication::font()));
    TerminationSignals::install();

    // Nothing of the person's settings is written until this copy knows it keeps them: a copy that
    // hands over to a running one, or finds the data folder held, ends having written nothing.
    base::DefaultsStore::standard().holdWrites();
    InterfaceSettings::shared();
    // Qt's own texts (file dialogs, context menus) follow the interface language.
    const QtTranslations qtTranslations;
    base::DefaultsStore& defaults = base::DefaultsStore::standard();
    AppStore& store = AppStore::shared();
    const std::shared_ptr<QtWindowSystem> windows = QtWindowSystem::shared();
    std::unique_ptr<SelectionController> standIn;
    SelectionController* selection = parts.selectionController ? parts.selectionController(store) : nullptr;
    if (!selection) {
        standIn = std::make_unique<WindowOnlySelectionController>(store, windows);
        selection = standIn.get();
    }

    base::QtWorkScheduler scheduler;
    DBusApplicationInstance instance;
    // Let go of once the window and its writes are gone, before the name on the bus: a later launch
    // that finds the name free finds the folder free too.
    DataFolderLock dataFolder(AccountDataScope::root().value_or(QString()));
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<CheckRuns> checks;
    AppDelegate delegate({
        .defaults = defaults,
        .coach = OrvelNativeCoach::shared(),
        .controller = *selection,
        .store = store,
        .instance = instance,
        .scheduler = scheduler,
        .startImportCheck = [&](const QString& file) { startImportCheck(file, parts.tutorImport, scheduler); },
        .openURL = [&](const QString& url) { handleURL(url, store, *selection); },
        .readSelection = [] { return halvern::SelectionCommandReader::read(); },
        .lockDataFolder = [&dataFolder] { return dataFolder.acquire(); },
    });

    const AppDelegate::Outcome outcome = delegate.applicationDidFinishLaunching(QApplication::arguments());
    if (outcome.next == AppDelegate::Next::end) return outcome.exitStatus;
    if (outcome.next == AppDelegate::Next::dataFolderInUse) {
        DataFolderInUseNotice notice(outcome.dataFolderHolder);
        QObject::connect(&notice, &QDialog::finished, &application, &QCoreApplication::quit, Qt::QueuedConnection);
        notice.show();
        QApplication::exec();
        return outcome.exitStatus;
    }

    if (outcome.next == AppDelegate::Next::showWindow || outcome.next == AppDelegate::Next::handOver) {
        window = std::make_unique<MainWindow>(store, WorkspaceRouter::shared(), *selection, OrvelNativeCoach::shared(),
                                              parts, defaults);
        applyLocale(window.get());
        QObject::connect(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange,
                         window.get(), [&window](InterfaceSettings* settings) {
                             if (settings == &InterfaceSettings::shared()) applyLocale(window.get());
                         });
        const QList<CheckRuns::Check> requested = CheckRuns::requested(QApplication::arguments());
        if (!requested.isEmpty()) {
            checks = std::make_unique<CheckRuns>(requested, *window, store, WorkspaceRouter::shared());
            QObject::connect(window->contentView(), &ContentView::cameOnScreen, checks.get(), &CheckRuns::start);
        }
        window->restoreFrame();
        if (outcome.next == AppDelegate::Next::handOver)
            window->setStartedForHandOver();
        else
            window->show();
        ApplicationTestHook::registerIfWanted(store, WorkspaceRouter::shared(), window.get());
    }
    // The icon's pictures are decoded after the window is on its way to the screen.
    QMetaObject::invokeMethod(
        &application,
        [] {
            if (const auto icon = OrvelBrand::icon()) QApplication::setWindowIcon(*icon);
        },
        Qt::QueuedConnection);
    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &delegate,
                     [&delegate](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive) delegate.applicationDidBecomeActive();
                     });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate, [&] {
        if (window) window->saveFrame();
        delegate.applicationWillTerminate();
    });

    const int status = QApplication::exec();
    // Cancelled work ends on its worker threads; let it clean up before the process goes. The pool's
    // threads then end, and a thread that recognised text frees its engine as it ends: exit would
    // free the recognition libraries' data under it.
    if (QThreadPool::globalInstance()->waitForDone(kFinishWorkMs))
        halvern::TextRecognizer::waitForEnginesFreed(kFinishWorkMs);
    checks.reset();
    window.reset();
    return status;
}

}  // namespace velquin

// Every window, sheet and panel of the program, built as the program builds them over the test
// doubles, in the three interface languages, light and dark, at its default and its least size,
// filled with the longest texts people, files and services give: no text or control may be cut
// by its window or a visible parent, no label cut where it should wrap or elide, no button
// narrower than its text; as it opens and in its largest state; on a desktop screen, on the two
// common laptop screens (1024x768, 1366x768) and on an 800x600 one, where no window may reach past
// the screen's available area (what does not fit scrolls). Pictures: ORVEL_FIT_SCREENSHOT_DIR.
#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include "app/account/tests/account_test_doubles.h"
#include "app/main-window/account_profile_view.h"
#include "app/main-window/application_parts.h"
#include "app/main-window/content_view.h"
#include "app/main-window/data_folder_notice.h"
#include "app/main-window/home_page_sheets.h"
#include "app/main-window/main_window.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/settings_sheets.h"
#include "app/main-window/tests/fit/fit_selection.h"
#include "app/main-window/tests/fit/fit_walk.h"
#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/direct_selection_settings_view.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/selection_result_view.h"
#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/tests/fake_selection_controller.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/workspace_router.h"
#include "app/tutor-workspace/diz_uvizi_view.h"
#include "app/tutor-workspace/merid_formal_workspace_controller.h"
#include "app/tutor-workspace/merid_formal_workspace_view.h"
#include "app/tutor-workspace/tests/workspace_test_doubles.h"
#include "base/files.h"
#include "platform/selection_service_provider.h"

namespace velquin {
namespace {

using Page = WorkspaceRouter::Page;

// The workspace's least width: the content's own, which is above the window's and the coach area's.
constexpr int kWorkspaceWidest = ContentView::minimumWidth;

// What people, files and services put into the windows at its longest.
const QString kLongestName(AccountSession::preferredNameLimit, u'W');
const QString kLongestCode(64, u'W');
const QString kLongFileName = QString(196, u'W') + QStringLiteral(".pdf");
const QString kLongChineseSource = QStringLiteral(
    "细胞呼吸是细胞内的有机物在酶的作用下逐步氧化分解，生成二氧化碳或其他产物，释放出能量并生成三磷酸腺苷"
    "的过程，它为生命活动提供能量，并且与光合作用相互联系，在线粒体和细胞质基质中分阶段进行。");
const QString kLongSelection =
    QStringLiteral("Opportunity cost is the value of the next best alternative given up when a choice is made. ")
        .repeated(20) +
    QString(120, u'W');

struct Language {
    InterfaceLanguage language;
    accounttest::Language wording;
    const char* code;
};
const Language kLanguages[] = {{InterfaceLanguage::chinese, accounttest::Language::chinese, "zh"},
                               {InterfaceLanguage::english, accounttest::Language::english, "en"},
                               {InterfaceLanguage::french, accounttest::Language::french, "fr"}};
const struct {
    InterfaceAppearance appearance;
    const char* name;
} kAppearances[] = {{InterfaceAppearance::light, "light"}, {InterfaceAppearance::dark, "dark"}};

// The test screens (see the test programs' main): the desktop's in both appearances, the smaller
// ones in the light one.
const struct {
    const char* name;
    bool bothAppearances;
} kScreens[] = {{"desktop", true}, {"laptop-1024x768", false}, {"laptop-1366x768", false}, {"small-800x600", false}};

QScreen* screenNamed(const char* name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == QLatin1String(name)) return screen;
    }
    return nullptr;
}

// An answer past the length the answer views show whole, so their note on the cut shows too.
const QString kLongestAnswer = QStringLiteral("机会成本是做出选择时放弃的次优选择的价值。").repeated(1000);

// The least size a person can give a window: its own minimum, else its layout's.
QSize leastSize(const QWidget* window) {
    return {window->minimumWidth() > 0 ? window->minimumWidth() : window->minimumSizeHint().width(),
            window->minimumHeight() > 0 ? window->minimumHeight() : window->minimumSizeHint().height()};
}

// A read that failed on the longest file name, as the program's file functions report it.
base::FileError readFailure() {
    return base::FileError(base::FileError::Kind::readFailed, QStringLiteral("/home/student/") + kLongFileName,
                           QStringLiteral("文件或文件夹不存在"));
}

class WindowFitTest : public storetest::StoreFixture {
protected:
    WindowFitTest() : coach(defaults) {
        // The account's service answers every refresh of the signed-in account with a failure
        // carrying the longest code it may give.
        signedIn.confirmed(QStringLiteral("acct_12345"),
                           QJsonObject{{QStringLiteral("email"), QStringLiteral("student@example.org")}});
        testsupport::ScriptedReply failing = testsupport::ScriptedReply::json(
            503, QStringLiteral(R"({"error":{"code":"%1"}})").arg(kLongestCode).toUtf8());
        failing.repeat = true;
        signedIn.stub.enqueue(testsupport::HostedStub::accountPath, failing);
        accounttest::run(signedIn.session().refresh());

        history->add(kLongChineseSource, QStringLiteral("细胞呼吸分为有氧呼吸和无氧呼吸两种类型。"),
                     QStringLiteral("explain"));
        history->add(QStringLiteral("https://example.org/").append(QString(180, u'a')), QStringLiteral("An answer."),
                     QStringLiteral("translate"));

        addHomePageSheets(parts);
        addSettingsSheets(parts);
        parts.directSelectionSettingsSheet = [this](AppStore& store, QWidget* parent) {
            return new DirectSelectionSettingsView(store, selectionController(), defaults, {}, parent);
        };
        parts.accountSheet = [this](AppStore& store, QWidget* parent) {
            AccountProfileView::Options options;
            options.privacyDisclosure = [](QWidget* over) { return new PrivacyDisclosureView(over); };
            options.privacyConsent = [this, &store](QWidget* over) { return parts.privacyConsentSheet(store, over); };
            return new AccountProfileView(signedIn.session(), signedIn.defaults, options, parent);
        };
        parts.selectionView = [](AppStore& store, QWidget* parent) -> QWidget* {
            return new SelectionResultView(store, parent);
        };
        parts.coachHost = [this](AppStore& store, std::function<void()> close, QWidget* parent) -> QWidget* {
            DizUviziView::Options options;
            options.transport = [](tamsel::AnswerLanguage) { return std::make_shared<workspacetest::ManualTutor>(); };
            options.dataFolder = signedIn.dataFolder();
            auto* host = new DizUviziView(store, signedIn.session(), coach, defaults, std::move(options),
                                          std::move(close), parent);
            // The walk's window keeps its tutor; a window made for one row only brings its own.
            if (!tutor) tutor = host;
            return host;
        };
        router =
            std::make_unique<WorkspaceRouter>(windows, scheduler, [this] { return store().selectionPresentation(); });
        // No tray: closing the window explains that the program keeps running.
        mainSelection.enabled = true;
        window = std::make_unique<MainWindow>(store(), *router, mainSelection, coach, parts, defaults);
    }
    ~WindowFitTest() override {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
        }
        window.reset();
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
        QLocale::setDefault(QLocale::system());
    }

    // The select-anywhere controller over the doubles with the program's floating panels.
    DirectSelectionController& selectionController() {
        if (!selection_) selection_ = std::make_unique<fitwalk::Selection>(store(), fakeServices());
        return selection_->controller();
    }

    FloatingSelectionPanels& panels() {
        selectionController();
        return selection_->panels();
    }

    MeridFormalWorkspaceController& tutorScreen() { return tutor->screen()->controller(); }

    void settle() {
        for (int round = 0; round < 3; ++round) {
            while (scheduler->pendingJobs() > 0) scheduler->runNextJob();
            QApplication::processEvents();
        }
    }

    // The visible dialog that was not among `before`.
    static QDialog* newSheet(const QList<QWidget*>& before) {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(top);
            if (dialog && dialog->isVisible() && !before.contains(top)) return dialog;
        }
        return nullptr;
    }
    static QList<QWidget*> visibleTops() {
        QList<QWidget*> tops;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible()) tops.append(top);
        }
        return tops;
    }

    // The main window on a page of the workspace, at the size the program gives it.
    QWidget* showPage(Page page) {
        store().showFullWorkspace();
        router->open(page);
        window->show();
        window->resize(page == Page::coach
                           ? QSize(int(WorkspaceRouter::largestCoachWidth), int(WorkspaceRouter::largestCoachHeight))
                           : window->idealSize());
        settle();
        return window.get();
    }
    // A sheet the `open` step raises, found as the new visible dialog.
    QWidget* showSheet(const std::function<void()>& open) {
        const QList<QWidget*> before = visibleTops();
        open();
        settle();
        QDialog* sheet = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (sheet = newSheet(before)) != nullptr; }));
        return sheet;
    }

    // A window of the program: how it is brought on screen and how it is put away again.
    struct Row {
        const char* name;
        std::function<QWidget*()> open;
        std::function<void(QWidget*)> close = [](QWidget* shown) {
            if (auto* dialog = qobject_cast<QDialog*>(shown)) dialog->reject();
        };
        // The widest its least size may be (no text may widen it); 0: a sheet of fixed width.
        int widest = 0;
        // Puts the shown window into its largest state, where it has more than one.
        std::function<void(QWidget*)> grow = {};
    };

    QList<Row> rows() {
        const auto closeSheets = [this](QWidget*) {
            for (QWidget* top : visibleTops()) {
                if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
            }
            settle();
        };
        return {
            {"home",
             [this] {
                 // An import that failed on the longest file name leaves its notice on the page.
                 importer->stageFailure = readFailure().message();
                 store().importURL(QUrl::fromLocalFile(QStringLiteral("/home/student/") + kLongFileName));
                 return showPage(Page::home);
             },
             [this](QWidget*) { store().clear(); }, kWorkspaceWidest,
             [this](QWidget*) {
                 // A practice answer cut for its length, its warning and the longest detail line.
                 history->add(kLongChineseSource, QStringLiteral("An answer."), QStringLiteral("practice"));
                 store().setSource(kLongChineseSource);
                 store().setMode(tamsel::StudyMode::practice);
                 store().setAnswer(tamsel::ModelAnswer{kLongestAnswer, QStringLiteral("回答因长度被截断。"),
                                                       std::nullopt, std::nullopt});
                 store().setResultDetail(QStringLiteral("Orvel AI · 118.4 秒 · tokens：输入 12000 / 输出 8192"));
             }},
            {"history", [this] { return showPage(Page::history); }, [](QWidget*) {}, kWorkspaceWidest},
            {"coach", [this] { return showPage(Page::coach); }, [](QWidget*) {}, kWorkspaceWidest},
            {"coach-course-drawer",
             [this] {
                 showPage(Page::coach);
                 window->resize(window->minimumSize());
                 tutorScreen().setCompactCoursesOpen(true);
                 settle();
                 return window.get();
             },
             [this](QWidget*) { tutorScreen().setCompactCoursesOpen(false); }, kWorkspaceWidest},
            {"compact-selection",
             [this] {
                 store().receiveSelection({kLongSelection, tamsel::StudyMode::explain});
                 window->show();
                 window->resize(window->idealSize());
                 settle();
                 return window.get();
             },
             [this](QWidget*) { store().showFullWorkspace(); }, MainWindow::selectionMinimum.width()},
            {"settings", [this] { return showSheet([this] { store().setShowSettings(true); }); }},
            {"privacy-consent", [this] { return showSheet([this] { store().setShowPrivacyConsent(true); }); }},
            {"account",
             [this] {
                 QWidget* sheet = showSheet([this] { store().setShowAccountLogin(true); });
                 // The longest name a person may save, typed and saved.
                 sheet->findChild<QLineEdit*>(QStringLiteral("displayName"))->setText(kLongestName);
                 sheet->findChild<QAbstractButton*>(QStringLiteral("saveNameButton"))->click();
                 settle();
                 return sheet;
             }},
            {"privacy-notice",
             [this] {
                 QWidget* account = showSheet([this] { store().setShowAccountLogin(true); });
                 return showSheet(
                     [account] { account->findChild<QAbstractButton*>(QStringLiteral("privacyButton"))->click(); });
             },
             closeSheets},
            {"capture-guide", [this] { return showSheet([this] { store().setShowCaptureGuide(true); }); }},
            {"selection-settings",
             [this] { return showSheet([this] { store().setShowDirectSelectionSettings(true); }); },
             [this](QWidget* shown) {
                 qobject_cast<QDialog*>(shown)->reject();
                 selection_->setTroubled(false);
             },
             0,
             [this](QWidget* shown) {
                 // Every note shows, the feedback at its longest (the sample document's), advanced open.
                 selection_->setTroubled(true);
                 selectionController().openSampleDocument();
                 qobject_cast<DirectSelectionSettingsView*>(shown)->advancedToggle()->setChecked(true);
             }},
            {"pdf-range",
             [this] {
                 return showSheet([this] {
                     store().setPdfChoice(PDFChoice(QUrl::fromLocalFile(QStringLiteral("/tmp/") + kLongFileName), 48));
                 });
             }},
            {"tutor-pdf-range",
             [this] {
                 showPage(Page::coach);
                 return showSheet([this] {
                     tutorScreen().setPdfChoice(
                         PDFChoice(QUrl::fromLocalFile(QStringLiteral("/tmp/") + kLongFileName), 48));
                 });
             }},
            {"tutor-delete-confirmation",
             [this] {
                 showPage(Page::coach);
                 return showSheet([this] { tutorScreen().setDeleteCandidate(tutorScreen().active().id); });
             }},
            {"no-tray-notice",
             [this] {
                 // The notice is told once per window: a window of its own each time.
                 closing = std::make_unique<MainWindow>(store(), *router, mainSelection, coach, parts, defaults);
                 closing->move(origin);
                 closing->show();
                 return showSheet([this] {
                     // The person's close, as the window manager delivers it.
                     QCloseEvent close;
                     QSpontaneKeyEvent::setSpontaneous(&close);
                     QApplication::instance()->notify(closing.get(), &close);
                 });
             },
             [this](QWidget*) { closing.reset(); }},
            {"data-folder-in-use",
             [this] {
                 // The longest host name there is; closing deletes it.
                 auto* notice =
                     new DataFolderInUseNotice({QString(64, u'W'), QStringLiteral("localhost:10.0"), 4194304});
                 notice->setAttribute(Qt::WA_DeleteOnClose);
                 notice->move(origin);
                 return showSheet([notice] { notice->show(); });
             }},
            {"bulb",
             [this] {
                 selectionController().showIconTest();
                 settle();
                 return static_cast<QWidget*>(panels().iconPanel());
             },
             [this](QWidget*) { panels().hide(); }},
            {"answer-panel",
             [this] {
                 selectionController();
                 panels().present(kLongSelection, QStringLiteral("Editor"), tamsel::StudyMode::explain,
                                  tamsel::SelectionTextPolicy::service);
                 panels().showAnswer(QPointF(origin + QPoint(100, 100)), false);
                 panels().answerPanel()->resize(DirectResultPanel::initialSize);
                 settle();
                 return static_cast<QWidget*>(panels().answerPanel());
             },
             [this](QWidget*) { panels().hide(); }, DirectResultPanel::minimumPanelSize.width()},
        };
    }

    accounttest::AccountHarness signedIn;
    OrvelNativeCoach coach;
    storetest::FakeSelectionController mainSelection;
    ApplicationParts parts;
    std::unique_ptr<WorkspaceRouter> router;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindow> closing;
    QPointer<DizUviziView> tutor;
    // The top left corner of the screen the walk is on.
    QPoint origin;

private:
    std::unique_ptr<fitwalk::Selection> selection_;
};

}  // namespace

TEST_F(WindowFitTest, EveryWindowFitsItsTextsInEveryLanguageThemeAndSize) {
    const QString folder = QStringLiteral(ORVEL_FIT_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    QStringList unexpected;
    for (const auto& place : kScreens) {
        QScreen* screen = screenNamed(place.name);
        ASSERT_TRUE(screen) << place.name;
        origin = screen->availableGeometry().topLeft();
        window->move(origin);
        // The pictures of the desktop's screen keep their names; the others say their screen.
        const QString screenSuffix =
            place.bothAppearances ? QString() : u'-' + QString::fromLatin1(place.name).section(u'-', 1);
        for (const Language& language : kLanguages) {
            InterfaceSettings::shared().setLanguage(language.language);
            // As the program sets it on its window: dates in the interface language.
            QLocale::setDefault(locale(language.language));
            window->setLocale(locale(language.language));
            signedIn.language = language.wording;
            for (const auto& look : kAppearances) {
                if (!place.bothAppearances && look.appearance != InterfaceAppearance::light) continue;
                ApplicationAppearance::shared().apply(look.appearance);
                for (const Row& row : rows()) {
                    const QString rowName = QLatin1String(row.name);
                    QPointer<QWidget> shown = row.open();
                    if (!shown) {
                        unexpected.append(
                            QStringLiteral("%1-%2-%3%4: not shown")
                                .arg(rowName, QLatin1String(language.code), QLatin1String(look.name), screenSuffix));
                        continue;
                    }
                    if (rowName.startsWith(QLatin1String("coach"))) {
                        // An import that failed on the longest file name, told in the notice and the status line.
                        tutorScreen().reportImportFailure(std::make_exception_ptr(readFailure()));
                        settle();
                    }
                    const QSize initial = shown->size();
                    for (const char* size : {"default", "minimum", "largest", "largest-minimum"}) {
                        const QLatin1String step(size);
                        if (step == QLatin1String("largest")) {
                            if (!row.grow) break;
                            row.grow(shown);
                            shown->resize(initial);
                            settle();
                        }
                        const QString name = QStringLiteral("%1-%2-%3-%4%5")
                                                 .arg(rowName, QLatin1String(language.code), QLatin1String(look.name),
                                                      QLatin1String(size), screenSuffix);
                        if (step.endsWith(QLatin1String("minimum"))) {
                            const QSize least = leastSize(shown);
                            if (row.widest > 0 && least.width() > row.widest)
                                unexpected.append(QStringLiteral("%1: its content widens it to %2 px (at most %3)")
                                                      .arg(name)
                                                      .arg(least.width())
                                                      .arg(row.widest));
                            if (least == shown->size()) continue;
                            shown->resize(least);
                            settle();
                        }
                        shown->grab().save(QStringLiteral("%1/%2.png").arg(folder, name));
                        const QRect area = shown->screen()->availableGeometry();
                        if (!area.contains(shown->frameGeometry()))
                            unexpected.append(QStringLiteral("%1: reaches past the screen's available area (%2,%3 "
                                                             "%4x%5 on %6x%7)")
                                                  .arg(name)
                                                  .arg(shown->frameGeometry().x() - area.x())
                                                  .arg(shown->frameGeometry().y() - area.y())
                                                  .arg(shown->frameGeometry().width())
                                                  .arg(shown->frameGeometry().height())
                                                  .arg(area.width())
                                                  .arg(area.height()));
                        for (const QString& fault : fitwalk::faults(shown)) unexpected.append(name + u' ' + fault);
                    }
                    if (shown) row.close(shown);
                    settle();
                }
            }
        }
    }
    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.size() << " faults:\n" << unexpected.join(u'\n').toStdString();
}

}  // namespace velquin

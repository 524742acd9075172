// The settings sheet, the AI-consent sheet and the privacy notice offscreen on the real main
// window and store, the scripted checks' choice of switches and their verdict on which sheet is
// open, and pictures of the three sheets for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/main-window/application_parts.h"
#include "app/main-window/check_runs.h"
#include "app/main-window/main_window.h"
#include "app/main-window/privacy_consent_view.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/settings_view.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/application_appearance.h"
#include "app/shell/interface_language_picker.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/tests/fake_selection_controller.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/workspace_router.h"
#include "core/consent.h"

namespace velquin {
namespace {

using tamsel::AIPrivacyConsent;
using Sheet = MainWindow::Sheet;

class SettingsSheetsTest : public storetest::StoreFixture {
protected:
    SettingsSheetsTest() : coach(defaults) {
        parts.settingsSheet = [this](AppStore& store, QWidget* parent) {
            return new SettingsView(store, defaults, parent);
        };
        parts.privacyConsentSheet = [this](AppStore&, QWidget* parent) {
            return new PrivacyConsentView(defaults, parent);
        };
        parts.directSelectionSettingsSheet = [](AppStore&, QWidget* parent) { return new QDialog(parent); };
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    }
    ~SettingsSheetsTest() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        InterfaceSettings::shared().setAppearance(InterfaceAppearance::system);
    }

    MainWindow& window() {
        if (!window_) {
            router = std::make_unique<WorkspaceRouter>(windows, scheduler,
                                                       [this] { return store().selectionPresentation(); });
            window_ = std::make_unique<MainWindow>(store(), *router, selection, coach, parts, defaults);
            window_->resize(MainWindow::workspaceIdeal);
            window_->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        }
        return *window_;
    }
    template <typename View>
    View* open(Sheet sheet) {
        window();
        if (sheet == Sheet::settings) store().setShowSettings(true);
        if (sheet == Sheet::privacyConsent) store().setShowPrivacyConsent(true);
        return qobject_cast<View*>(window().sheet(sheet)->sheet());
    }
    // The visible dialog of this type attached to `over`.
    template <typename View>
    View* shownOver(QWidget* over) {
        for (View* candidate : over->findChildren<View*>(Qt::FindDirectChildrenOnly))
            if (candidate->isVisible()) return candidate;
        return nullptr;
    }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    OrvelNativeCoach coach;
    storetest::FakeSelectionController selection;
    ApplicationParts parts;
    std::unique_ptr<WorkspaceRouter> router;

private:
    std::unique_ptr<MainWindow> window_;
};

// Agree needs the ticked box; Return never agrees; agreeing records version 1 with its time and
// removes the older key; Decline and Escape leave an earlier decision as it was.
TEST_F(SettingsSheetsTest, ConsentIsRecordedOnlyByAgreeWithTheBoxTicked) {
    defaults.remove(AIPrivacyConsent::versionKey);
    defaults.setBool(AIPrivacyConsent::legacyKey, true);
    auto* consent = open<PrivacyConsentView>(Sheet::privacyConsent);
    ASSERT_TRUE(consent);
    EXPECT_FALSE(consent->agreeButton()->isEnabled());
    // The title, on however many lines, ticks the box as the box does.
    QCheckBox* box = consent->agreeBox();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() - 2));
    EXPECT_TRUE(consent->agreeButton()->isEnabled());
    consent->agreeBox()->setChecked(false);
    EXPECT_FALSE(consent->agreeButton()->isEnabled());

    consent->agreeBox()->setChecked(true);
    for (QWidget* focus : {static_cast<QWidget*>(consent->agreeButton()), static_cast<QWidget*>(consent->agreeBox())}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        QTest::keyClick(focus, Qt::Key_Enter);
    }
    EXPECT_TRUE(consent->isVisible());
    EXPECT_FALSE(defaults.contains(AIPrivacyConsent::versionKey));

    click(consent->agreeButton());
    EXPECT_EQ(defaults.integer(AIPrivacyConsent::versionKey), 1);
    EXPECT_TRUE(defaults.contains(AIPrivacyConsent::acceptedAtKey));
    EXPECT_FALSE(defaults.contains(AIPrivacyConsent::legacyKey));
    EXPECT_FALSE(store().showPrivacyConsent());
    EXPECT_EQ(window().sheet(Sheet::privacyConsent)->sheet(), nullptr);

    struct Row {
        std::optional<qint64> earlier;
        bool escape;
    };
    for (const Row& row : {Row{1, false}, Row{1, true}, Row{std::nullopt, false}, Row{0, true}}) {
        SCOPED_TRACE(testing::Message() << row.earlier.value_or(-1) << (row.escape ? " escape" : " decline"));
        if (row.earlier)
            defaults.setInteger(AIPrivacyConsent::versionKey, *row.earlier);
        else
            defaults.remove(AIPrivacyConsent::versionKey);
        const std::optional<base::Date> acceptedAt = defaults.dateValue(AIPrivacyConsent::acceptedAtKey);
        consent = open<PrivacyConsentView>(Sheet::privacyConsent);
        ASSERT_TRUE(consent);
        // Every showing starts with the box clear, even after an earlier consent.
        EXPECT_FALSE(consent->agreeBox()->isChecked());
        consent->agreeBox()->setChecked(true);
        if (row.escape)
            QTest::keyClick(consent, Qt::Key_Escape);
        else
            click(consent->declineButton());
        EXPECT_FALSE(store().showPrivacyConsent());
        EXPECT_EQ(defaults.integerValue(AIPrivacyConsent::versionKey), row.earlier);
        EXPECT_EQ(defaults.dateValue(AIPrivacyConsent::acceptedAtKey), acceptedAt);
    }
}

// The full notice opens over the consent sheet and leaves the box as it was; its sections scroll
// under a fixed header, its bodies can be selected, and Escape closes it.
TEST_F(SettingsSheetsTest, FullNoticeOpensOverTheConsentSheetAndKeepsItsState) {
    auto* consent = open<PrivacyConsentView>(Sheet::privacyConsent);
    ASSERT_TRUE(consent);
    consent->agreeBox()->setChecked(true);
    click(consent->fullNoticeButton());
    QPointer<PrivacyDisclosureView> notice = shownOver<PrivacyDisclosureView>(consent);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->windowModality(), Qt::WindowModal);
    EXPECT_EQ(notice->minimumSize(), PrivacyDisclosureView::minimum);
    EXPECT_EQ(notice->bodies().size(), 7);
    EXPECT_TRUE(notice->bodies().first()->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_FALSE(notice->headings().first()->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_FALSE(notice->scrollArea()->isAncestorOf(notice->closeButton()));
    QTest::keyClick(notice, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
    EXPECT_TRUE(consent->isVisible());
    EXPECT_TRUE(consent->agreeBox()->isChecked());
    EXPECT_TRUE(consent->agreeButton()->isEnabled());
}

// Only a stored 1 counts as given; withdrawing and agreeing again switch the sheet while it stays
// open.
TEST_F(SettingsSheetsTest, ConsentStateIsReadLiveAndWithdrawalSwitchesAtOnce) {
    struct Row {
        std::optional<qint64> stored;
        bool given;
    };
    for (const Row& row : {Row{std::nullopt, false}, Row{0, false}, Row{2, false}, Row{1, true}}) {
        SCOPED_TRACE(row.stored.value_or(-1));
        if (row.stored)
            defaults.setInteger(AIPrivacyConsent::versionKey, *row.stored);
        else
            defaults.remove(AIPrivacyConsent::versionKey);
        auto* settings = open<SettingsView>(Sheet::settings);
        ASSERT_TRUE(settings);
        EXPECT_EQ(settings->property("consentGiven").toBool(), row.given);
        EXPECT_EQ(settings->consentLabel()->text(),
                  row.given ? QString::fromUtf8("已同意 AI 内容处理") : QString::fromUtf8("尚未同意 AI 内容处理"));
        EXPECT_EQ(settings->withdrawButton()->isVisibleTo(settings), row.given);
        EXPECT_EQ(settings->reviewButton()->isVisibleTo(settings), !row.given);
        store().setShowSettings(false);
    }

    auto* settings = open<SettingsView>(Sheet::settings);
    click(settings->withdrawButton());
    EXPECT_EQ(defaults.integerValue(AIPrivacyConsent::versionKey), 0);
    EXPECT_FALSE(defaults.contains(AIPrivacyConsent::acceptedAtKey));
    EXPECT_TRUE(settings->isVisible());
    EXPECT_FALSE(settings->property("consentGiven").toBool());
    EXPECT_TRUE(settings->reviewButton()->isVisibleTo(settings));
    EXPECT_FALSE(settings->withdrawButton()->isVisibleTo(settings));

    click(settings->reviewButton());
    auto* consent = shownOver<PrivacyConsentView>(settings);
    ASSERT_TRUE(consent);
    consent->agreeBox()->setChecked(true);
    click(consent->agreeButton());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_TRUE(settings->property("consentGiven").toBool());
    EXPECT_TRUE(settings->withdrawButton()->isVisibleTo(settings));
}

// Clearing asks first: Cancel (and Return) keep the history, only the destructive button empties
// it. Without an active history file the button is disabled.
TEST_F(SettingsSheetsTest, ClearingTheHistoryAsksFirstAndNeedsAnActiveFile) {
    history->add(QStringLiteral("Opportunity cost"), QStringLiteral("The next best alternative."),
                 QStringLiteral("explain"));
    ASSERT_EQ(history->records().size(), 1);
    auto* settings = open<SettingsView>(Sheet::settings);
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->clearHistoryButton()->isEnabled());

    click(settings->clearHistoryButton());
    QPointer<QMessageBox> confirmation = settings->deleteConfirmation();
    ASSERT_TRUE(confirmation);
    EXPECT_TRUE(confirmation->isVisible());
    // Over the middle of its sheet, at the size it took on showing.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (confirmation->geometry().center() - settings->geometry().center()).manhattanLength() <= 2; }));
    QTest::keyClick(confirmation, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return confirmation.isNull(); }));
    EXPECT_EQ(history->records().size(), 1);

    click(settings->clearHistoryButton());
    confirmation = settings->deleteConfirmation();
    click(confirmation->findChild<QPushButton*>(QStringLiteral("cancelDeleteButton")));
    EXPECT_EQ(history->records().size(), 1);

    click(settings->clearHistoryButton());
    confirmation = settings->deleteConfirmation();
    click(confirmation->findChild<QPushButton*>(QStringLiteral("deleteHistoryButton")));
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_TRUE(settings->isVisible());

    history->switchToPending();
    EXPECT_FALSE(settings->clearHistoryButton()->isEnabled());
    history->switchToGuest();
    EXPECT_TRUE(settings->clearHistoryButton()->isEnabled());
}

// Escape closes each sheet and clears its flag; "完成" closes the settings sheet; the way to the
// select-anywhere settings closes this sheet first, so the two are never shown together.
TEST_F(SettingsSheetsTest, SheetsCloseByEscapeAndHandOverToTheSelectionSettings) {
    for (const Sheet sheet : {Sheet::settings, Sheet::privacyConsent}) {
        QPointer<QDialog> shown = open<QDialog>(sheet);
        ASSERT_TRUE(shown);
        QTest::keyClick(shown, Qt::Key_Escape);
        EXPECT_FALSE(store().showSettings());
        EXPECT_FALSE(store().showPrivacyConsent());
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }));
    }
    auto* settings = open<SettingsView>(Sheet::settings);
    click(settings->doneButton());
    EXPECT_FALSE(store().showSettings());

    settings = open<SettingsView>(Sheet::settings);
    click(settings->privacyButton());
    auto* notice = shownOver<PrivacyDisclosureView>(settings);
    ASSERT_TRUE(notice);
    QTest::keyClick(notice, Qt::Key_Escape);
    EXPECT_TRUE(settings->isVisible());

    int bothShown = 0;
    QObject::connect(&store(), &AppStore::showDirectSelectionSettingsChanged, [&] {
        if (store().showSettings()) ++bothShown;
    });
    click(settings->advancedButton());
    EXPECT_FALSE(store().showSettings());
    EXPECT_TRUE(QTest::qWaitFor([&] { return store().showDirectSelectionSettings(); }));
    EXPECT_EQ(bothShown, 0);
    EXPECT_EQ(window().sheet(Sheet::settings)->sheet(), nullptr);
    EXPECT_TRUE(window().sheet(Sheet::directSelectionSettings)->sheet());
}

// A segment changes the whole application's appearance and the shared setting at once.
TEST_F(SettingsSheetsTest, AppearanceSegmentsApplyAtOnce) {
    auto* settings = open<SettingsView>(Sheet::settings);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->appearancePicker()->accessibleName(), QString::fromUtf8("切换 Orvel 外观模式"));
    click(settings->appearanceSegments().at(2));
    EXPECT_EQ(InterfaceSettings::shared().appearance(), InterfaceAppearance::dark);
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::dark);
    click(settings->appearanceSegments().at(1));
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::light);
    EXPECT_TRUE(settings->appearanceSegments().at(1)->isChecked());
    EXPECT_FALSE(settings->appearanceSegments().at(2)->isChecked());
}

// Only whole arguments start checks, in their fixed order; a sheet check is ready only when the
// sheet it opened is the one on screen.
TEST_F(SettingsSheetsTest, ChecksStartOnWholeSwitchesAndVerifyTheirOwnSheet) {
    using Check = CheckRuns::Check;
    const QStringList program{QStringLiteral("orvel")};
    EXPECT_EQ(CheckRuns::requested(program + QStringList{"--qa-smoke-settings-x", "--qa-smokes", "-qa-smoke"}),
              QList<Check>{});
    EXPECT_EQ(CheckRuns::requested(QStringList{"--qa-smoke"}), QList<Check>{});  // the program path is no switch
    EXPECT_EQ(CheckRuns::requested(program + QStringList{"--qa-smoke", "--qa-smoke-merid", "--qa-smoke-settings",
                                                         "--qa-smoke-account", "--qa-smoke-selection-settings"}),
              (QList<Check>{Check::accountSheet, Check::settingsSheet, Check::selectionSettingsSheet, Check::tutorPage,
                            Check::homeHandOver}));

    // The account sheet is not part of this program: its check fails while the settings sheet
    // that opens beside it passes its own.
    QByteArrayList lines;
    MainWindow& shown = window();
    CheckRuns checks({Check::accountSheet, Check::settingsSheet}, shown, store(), *router,
                     [&](const QByteArray& line) { lines.append(line); });
    checks.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines.size() == 2; }, 10000));
    EXPECT_TRUE(lines.contains("ORVEL_SMOKE_ACCOUNT_SHEET_FAILED\n"));
    EXPECT_TRUE(lines.contains("ORVEL_SMOKE_SETTINGS_SHEET_READY\n"));
    EXPECT_TRUE(store().showSettings());
    EXPECT_TRUE(CheckRuns::hasAttachedSheet(&window()));
    EXPECT_EQ(CheckRuns::contentWindows(), QList<QWidget*>{&window()});
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^MainWindow id=Orvel\\.workspace title=.* main=(true|false) "
                                                  "key=(true|false) frame=\\(\\d+\\.0, \\d+\\.0\\)$"))
                    .match(CheckRuns::describe(&window()))
                    .hasMatch())
        << CheckRuns::describe(&window()).toStdString();
}

// The three sheets in each language and appearance, saved for a person to look at; no button is
// narrower than its text, and an "&" in a title ("Advanced selection & permission settings…") is
// shown rather than taken for a mnemonic.
TEST_F(SettingsSheetsTest, ScreenshotsInThreeLanguagesLightAndDark) {
    QDir().mkpath(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR));
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    const auto save = [](QDialog* sheet, const QString& name) {
        QApplication::processEvents();
        for (QAbstractButton* button : sheet->findChildren<QAbstractButton*>()) {
            if (!button->isVisible()) continue;
            EXPECT_GE(button->width(), button->sizeHint().width()) << name.toStdString() << " "
                                                                   << button->text().toStdString();
            EXPECT_TRUE(QKeySequence::mnemonic(button->text()).isEmpty())
                << name.toStdString() << " " << button->text().toStdString();
        }
        EXPECT_TRUE(sheet->grab().save(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/%1.png").arg(name)));
    };
    for (const auto& [language, code] : languages) {
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setLanguage(language);
            InterfaceSettings::shared().setAppearance(appearance);
            const QString suffix = QStringLiteral("%1-%2").arg(
                QLatin1String(code), appearance == InterfaceAppearance::dark ? "dark" : "light");
            defaults.remove(AIPrivacyConsent::versionKey);
            auto* settings = open<SettingsView>(Sheet::settings);
            ASSERT_TRUE(settings);
            save(settings, QStringLiteral("settings-") + suffix);
            click(settings->reviewButton());
            auto* consent = shownOver<PrivacyConsentView>(settings);
            ASSERT_TRUE(consent);
            save(consent, QStringLiteral("consent-") + suffix);
            click(consent->fullNoticeButton());
            auto* notice = shownOver<PrivacyDisclosureView>(consent);
            ASSERT_TRUE(notice);
            save(notice, QStringLiteral("privacy-notice-") + suffix);
            store().setShowSettings(false);
            QApplication::processEvents();
        }
    }
}

}  // namespace
}  // namespace velquin

// Every sheet of the main window in every interface language shows its texts whole: no button and
// no one-line label is narrower than its text, and no control reaches past the sheet's edges.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <functional>
#include <memory>

#include "app/account/tests/account_test_doubles.h"
#include "app/main-window/account_profile_view.h"
#include "app/main-window/capture_guide_view.h"
#include "app/main-window/home_page_sheets.h"
#include "app/main-window/privacy_consent_view.h"
#include "app/main-window/privacy_disclosure_view.h"
#include "app/main-window/settings_view.h"
#include "app/shell/interface_settings.h"
#include "app/shell/sheet_window.h"
#include "app/shell/tests/store_test_doubles.h"

namespace velquin {
namespace {

bool insideScrollArea(const QWidget* widget, const QWidget* sheet) {
    for (const QWidget* up = widget->parentWidget(); up && up != sheet; up = up->parentWidget())
        if (qobject_cast<const QScrollArea*>(up)) return true;
    return false;
}

QString describe(const QWidget* widget, const QString& text) {
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName(), text);
}

void expectTextsFit(QDialog& sheet) {
    for (const QWidget* widget : sheet.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&sheet)) continue;
        // What scrolls may run past the visible part; the rest stays within the sheet.
        const QRect area(widget->mapTo(&sheet, QPoint()), widget->size());
        if (!insideScrollArea(widget, &sheet)) {
            EXPECT_TRUE(sheet.rect().contains(area)) << describe(widget, {}).toStdString();
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget); button && !button->text().isEmpty()) {
            EXPECT_GE(button->width(), button->sizeHint().width()) << describe(button, button->text()).toStdString();
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget);
            label && !label->wordWrap() && !label->text().isEmpty()) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << describe(label, label->text()).toStdString();
        }
    }
}

class SheetLayoutTest : public storetest::StoreFixture {
protected:
    ~SheetLayoutTest() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::system); }
};

TEST_F(SheetLayoutTest, TextsFitInEveryLanguage) {
    accounttest::AccountHarness guest;
    accounttest::AccountHarness member;
    member.confirmed(QStringLiteral("acct_12345"), {{QStringLiteral("email"), QStringLiteral("ada@example.org")}});
    testsupport::ScriptedReply everyRefresh = accounttest::account(QStringLiteral("acct_12345"));
    everyRefresh.repeat = true;
    member.stub.enqueue(testsupport::HostedStub::accountPath, everyRefresh);
    AccountProfileView::Options accountOptions;
    accountOptions.privacyDisclosure = [](QWidget* over) { return new PrivacyDisclosureView(over); };
    accountOptions.privacyConsent = [this](QWidget* over) { return new PrivacyConsentView(defaults, over); };
    const PDFChoice pdf(QUrl::fromLocalFile(QStringLiteral("/tmp/cell-biology-lecture-notes-week-3.pdf")), 240);

    const std::pair<const char*, std::function<QDialog*()>> sheets[] = {
        {"settings", [&] { return new SettingsView(store(), defaults); }},
        {"consent", [&] { return new PrivacyConsentView(defaults); }},
        {"privacy notice", [] { return new PrivacyDisclosureView(); }},
        {"capture guide", [&] { return new CaptureGuideView(store()); }},
        {"pdf range", [&] { return homePDFRangeView(store(), pdf, nullptr); }},
        {"account, guest", [&] { return new AccountProfileView(guest.session(), guest.defaults, accountOptions); }},
        {"account, signed in",
         [&] { return new AccountProfileView(member.session(), member.defaults, accountOptions); }},
    };
    for (const InterfaceLanguage language :
         {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
        InterfaceSettings::shared().setLanguage(language);
        for (const auto& [name, make] : sheets) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(int(language)));
            std::unique_ptr<QDialog> sheet(make());
            sheet->show();
            QCoreApplication::processEvents();
            expectTextsFit(*sheet);
        }
    }
}

// A sheet stays centred over its window as it changes its own size, and inside the screen's
// available area where centring would take it out (it then sits on the area's bottom edge).
TEST_F(SheetLayoutTest, SheetsSitCentredOverTheirWindowInsideTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        QRect window;
        QSize size;
        QSize grown;
    } rows[] = {{QRect(40, 30, 700, 520), QSize(300, 200), QSize(300, 480)},
                {QRect(area.left() + 20, area.bottom() - 150, 500, 400), QSize(300, 360), {}}};
    for (const auto& row : rows) {
        QWidget window;
        window.setGeometry(row.window);
        window.show();
        QDialog sheet(&window);
        sheet.setFixedSize(row.size);
        openSheet(&sheet);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
        if (row.grown.isValid()) sheet.setFixedSize(row.grown);
        const QPoint centred = window.geometry().center() - QPoint(sheet.width() / 2, sheet.height() / 2);
        EXPECT_TRUE(QTest::qWaitFor([&] {
            const QRect placed = sheet.geometry();
            return placed.left() == centred.x() && area.contains(sheet.frameGeometry()) &&
                   (placed.top() == centred.y() || sheet.frameGeometry().bottom() == area.bottom());
        }));
    }
}

}  // namespace
}  // namespace velquin

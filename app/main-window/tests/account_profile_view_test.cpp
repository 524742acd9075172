// The account sheet offscreen over a real account session (the hosted services played by the
// loopback stub), as a person would use it; and pictures of the account views.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "app/account/tests/account_test_doubles.h"
#include "app/account/tests/history_test_support.h"
#include "app/main-window/account_profile_view.h"
#include "app/main-window/history_view.h"
#include "app/main-window/tests/view_test_support.h"
#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/qt_translations.h"
#include "app/shell/wrapped_text.h"
#include "core/consent.h"

namespace velquin {
namespace {

using accounttest::account;
using accounttest::AccountHarness;
using accounttest::run;
using accounttest::waitUntil;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

using viewtest::child;
using viewtest::shown;

int requestsTo(const HostedStub& stub, const QByteArray& path) {
    int count = 0;
    for (const auto& request : stub.requests()) count += request.path == path;
    return count;
}

class AccountSheetTest : public ::testing::Test {
protected:
    void SetUp() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }

    // The sheet over the harness's session, shown as the application shows it.
    AccountProfileView& open(AccountHarness& h, AccountProfileView::Options options = {}) {
        options.browser = std::make_shared<NoBrowser>();
        sheet = std::make_unique<AccountProfileView>(h.session(), h.defaults, std::move(options));
        sheet->open();
        return *sheet;
    }

    struct NoBrowser : BrowserOpener {
        bool open(const QUrl&) override { return true; }
    };
    std::unique_ptr<AccountProfileView> sheet;
};

}  // namespace

TEST_F(AccountSheetTest, SignInButtonFollowsTheFieldsAndTheWork) {
    AccountHarness h;
    AccountProfileView& view = open(h);
    auto* email = child<QLineEdit>(view, "email");
    auto* password = child<QLineEdit>(view, "password");
    auto* signIn = child<QPushButton>(view, "signInButton");
    ASSERT_TRUE(shown(email));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    const struct {
        QString email;
        QString password;
        bool enabled;
    } rows[] = {
        {QString(), QStringLiteral("12345678"), false},
        {QStringLiteral("a@b.c"), QStringLiteral("1234567"), false},
        {QStringLiteral("a@b.c"), QStringLiteral("12345678"), true},
        {QStringLiteral("   "), QStringLiteral("12345678"), true},  // spaces count as an e-mail
        {QStringLiteral("a@b.c"), QStringLiteral("密码密码密码密码"), true},
        // Characters as a person counts them, not code units.
        {QStringLiteral("a@b.c"), QString::fromUtf8("👍👍👍👍👍👍👍"), false},
        {QStringLiteral("a@b.c"), QString::fromUtf8("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), false},
        {QStringLiteral("a@b.c"), QString::fromUtf8("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password.toStdString());
        email->setText(row.email);
        password->setText(row.password);
        EXPECT_EQ(signIn->isEnabled(), row.enabled);
    }

    // Return in a field starts nothing.
    email->setText(QStringLiteral(" A@B.c "));
    password->setText(QStringLiteral("pass word"));
    QTest::keyClick(password, Qt::Key_Return);
    EXPECT_TRUE(h.stub.requests().isEmpty());

    // Pressing: the password leaves the field at once, the e-mail is sent as typed; while the
    // sign-in runs the sign-in, Google and verification buttons wait, the others do not.
    h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::held());
    QTest::mouseClick(signIn, Qt::LeftButton);
    EXPECT_EQ(password->text(), QString());
    EXPECT_EQ(email->text(), QStringLiteral(" A@B.c "));
    ASSERT_TRUE(waitUntil([&] { return h.stub.heldCount() == 1; }));
    EXPECT_EQ(h.stub.requests().first().json(),
              (QJsonObject{{"email", " A@B.c "}, {"password", "pass word"}}));
    password->setText(QStringLiteral("12345678"));
    EXPECT_TRUE(shown(child<QProgressBar>(view, "progress")));
    EXPECT_FALSE(signIn->isEnabled());
    EXPECT_FALSE(child<QPushButton>(view, "orvel.google.signin")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(view, "orvel.apple.coming-soon")->isEnabled());

    // A failed sign-in shows its text; the password stays empty.
    h.stub.release(0, ScriptedReply::json(401, "{}"));
    ASSERT_TRUE(waitUntil([&] { return !h.session().working(); }));
    auto* feedback = child<WrappedText>(view, "feedback");
    EXPECT_TRUE(shown(feedback));
    EXPECT_EQ(feedback->text(), QStringLiteral("账户操作失败：密码错误或会话无效（HTTP 401）。"));
    EXPECT_FALSE(shown(child<QProgressBar>(view, "progress")));
    EXPECT_TRUE(child<QPushButton>(view, "orvel.google.signin")->isEnabled());
}

TEST_F(AccountSheetTest, SectionsFollowTheSessionState) {
    struct Row {
        const char* name;
        std::function<void(AccountHarness&)> prepare;
        bool signedIn;
        bool verification;
        bool import;
    };
    const Row rows[] = {
        {"signed out", [](AccountHarness&) {}, false, false, false},
        {"pending e-mail login",
         [](AccountHarness& h) {
             h.keyring->set(QStringLiteral("token-1"));
             h.stub.enqueue(HostedStub::accountPath, ScriptedReply::json(503, "{}"));
         },
         true, true, false},
        {"confirmed, unverified",
         [](AccountHarness& h) {
             h.keyring->set(QStringLiteral("token-1"));
             h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("acct_12345")));
         },
         true, true, true},
        {"confirmed, verified",
         [](AccountHarness& h) {
             h.keyring->set(QStringLiteral("token-1"));
             h.stub.enqueue(HostedStub::accountPath,
                            account(QStringLiteral("acct_12345"), {{QStringLiteral("email_verified"), true}}));
         },
         true, false, true},
        {"Google, unverified",
         [](AccountHarness& h) {
             h.keyring->set(QStringLiteral("token-1"));
             h.defaults.setString(AccountSession::loginKindKey, QStringLiteral("google"));
             h.stub.enqueue(HostedStub::accountPath,
                            account(QStringLiteral("gid_12345"), {{QStringLiteral("kind"), QStringLiteral("google")}}));
         },
         true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        row.prepare(h);
        AccountProfileView& view = open(h);
        // Opening a signed-in sheet refreshes once; a signed-out one asks nothing.
        if (row.signedIn) {
            ASSERT_TRUE(waitUntil([&] {
                return requestsTo(h.stub, HostedStub::accountPath) == 1 &&
                       (h.session().accountID() || !h.session().feedback().isEmpty());
            }));
        }
        EXPECT_EQ(requestsTo(h.stub, HostedStub::accountPath), row.signedIn ? 1 : 0);
        EXPECT_EQ(shown(child<QWidget>(view, "signInSection")), !row.signedIn);
        EXPECT_EQ(shown(child<QWidget>(view, "signedInSection")), row.signedIn);
        EXPECT_EQ(shown(child<QWidget>(view, "legacyImportBlock")), row.import);
        EXPECT_EQ(shown(child<QWidget>(view, "verificationBlock")), row.verification);
        EXPECT_EQ(child<WrappedText>(view, "title")->text(),
                  row.signedIn ? h.session().displayName() : QStringLiteral("Orvel 账户"));
        // As tall as what it shows, a feedback line that came while it was open included: nothing
        // scrolls and no empty band is left under the content.
        auto* scroll = view.findChild<QScrollArea*>();
        QWidget* content = scroll->widget();
        EXPECT_TRUE(waitUntil([&] {
            return scroll->verticalScrollBar()->maximum() == 0 &&
                   content->height() == content->layout()->totalHeightForWidth(content->width());
        }));
        // Refresh, sign-out, the name and the import never wait for anything.
        if (row.signedIn) {
            EXPECT_TRUE(child<QPushButton>(view, "refreshButton")->isEnabled());
            EXPECT_TRUE(child<QPushButton>(view, "signOutButton")->isEnabled());
        }
        EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
    }
}

TEST_F(AccountSheetTest, DisplayNameConsentAndSize) {
    AccountHarness h;
    AccountSession& s = h.confirmed(QStringLiteral("acct_12345"));
    s.setPreferredName(QStringLiteral("Ada"));
    h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("acct_12345")));
    int consentSheets = 0;
    AccountProfileView::Options options;
    options.privacyConsent = [&](QWidget* parent) {
        ++consentSheets;
        return new QDialog(parent);
    };
    AccountProfileView& view = open(h, options);
    auto* name = child<QLineEdit>(view, "displayName");
    auto* save = child<QPushButton>(view, "saveNameButton");
    EXPECT_EQ(name->text(), QStringLiteral("Ada"));
    name->setText(QString(40, u'名'));
    EXPECT_TRUE(save->isEnabled());
    name->setText(QString(41, u'名'));
    EXPECT_FALSE(save->isEnabled());
    name->setText(QStringLiteral("  Grace  "));
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_EQ(s.preferredName(), QStringLiteral("Grace"));
    EXPECT_EQ(child<WrappedText>(view, "title")->text(), QStringLiteral("Grace"));
    EXPECT_EQ(name->text(), QStringLiteral("  Grace  "));

    // The consent button shows while the stored version is not the current one.
    run(s.signOut());
    auto* consent = child<QPushButton>(view, "consentButton");
    EXPECT_TRUE(shown(consent));
    h.defaults.setInteger(tamsel::AIPrivacyConsent::versionKey, 2);
    EXPECT_TRUE(shown(consent));
    QTest::mouseClick(consent, Qt::LeftButton);
    EXPECT_EQ(consentSheets, 1);
    tamsel::AIPrivacyConsent::set(true, h.defaults);
    EXPECT_FALSE(shown(consent));
    // No privacy notice to open: its button is not offered.
    EXPECT_FALSE(shown(child<QPushButton>(view, "privacyButton")));

    EXPECT_EQ(view.width(), 490);
    EXPECT_EQ(AccountProfileView::sheetHeight(1000), 620);
    EXPECT_EQ(AccountProfileView::sheetHeight(700), 580);
    EXPECT_EQ(AccountProfileView::sheetHeight(500), 460);
    EXPECT_EQ(AccountProfileView::sheetHeight(std::nullopt), 620);
    EXPECT_EQ(AccountProfileView::sheetHeight(400), 400);  // never taller than the screen

    // Escape closes the sheet.
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
}

// A failure Qt words (a refused connection) is shown in the interface language, with Qt's
// catalogue installed as the application installs it, and again after the language changed.
TEST_F(AccountSheetTest, NetworkFailuresFollowTheInterfaceLanguage) {
    const QtTranslations qtTexts;
    AccountHarness h(QStringLiteral("token-1"));
    // Nothing listens on port 1: the connection is refused at once.
    h.clientOptions.endpoints = AccountServiceEndpoints::single(QStringLiteral("http://127.0.0.1:1"));
    AccountProfileView& view = open(h);
    ASSERT_TRUE(waitUntil([&] { return !h.session().feedback().isEmpty(); }));
    const std::pair<InterfaceLanguage, const char*> rows[] = {
        {InterfaceLanguage::chinese, "账户信息刷新失败：连接被拒绝"},
        {InterfaceLanguage::english, "Couldn't refresh account details: Connection refused"},
        {InterfaceLanguage::french, "Impossible d’actualiser le compte\u00A0: Connexion refusée"}};
    for (const auto& [language, shown] : rows) {
        InterfaceSettings::shared().setLanguage(language);
        EXPECT_EQ(child<WrappedText>(view, "feedback")->text(), QString::fromUtf8(shown));
    }
}

// Texts of the person and of the service never widen the 490-pixel sheet: the longest name the
// sheet saves, an address and an error code without a space wrap inside the word, and the
// buttons beside and below them stay within the sheet, in every language.
TEST_F(AccountSheetTest, UnbrokenNamesAndCodesWrapWithinTheSheet) {
    const QString name = QString(AccountSession::preferredNameLimit, u'W');
    const QString address = QString(60, u'm') + QStringLiteral("@example.org");
    const QByteArray code(64, 'x');
    const QByteArray failure = R"({"error":{"code":")" + code + R"("}})";
    const struct {
        bool signedIn;
        const char* button;  // must stay on the sheet beside the long texts
    } rows[] = {{true, "saveNameButton"}, {true, "closeButton"}, {false, "consentButton"}, {false, "closeButton"}};
    for (const auto& row : rows) {
        for (const InterfaceLanguage language :
             {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
            SCOPED_TRACE(std::string(row.button) + " " + base::rawValue(language).toStdString());
            InterfaceSettings::shared().setLanguage(language);
            AccountHarness h;
            AccountProfileView::Options options;
            options.privacyConsent = [](QWidget* parent) { return new QDialog(parent); };
            // Signed in: the refresh on opening fails with the code and leaves the account pending.
            if (row.signedIn) {
                h.confirmed(QStringLiteral("acct_1"), {{QStringLiteral("email"), address}});
                h.stub.enqueue(HostedStub::accountPath, ScriptedReply::json(503, failure));
            } else {
                h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::json(503, failure));
            }
            AccountProfileView& view = open(h, options);
            if (row.signedIn) {
                child<QLineEdit>(view, "displayName")->setText(name);
                EXPECT_TRUE(child<QPushButton>(view, "saveNameButton")->isEnabled());
            } else {
                child<QLineEdit>(view, "email")->setText(address);
                child<QLineEdit>(view, "password")->setText(QStringLiteral("12345678"));
                QTest::mouseClick(child<QPushButton>(view, "signInButton"), Qt::LeftButton);
            }
            ASSERT_TRUE(waitUntil([&] { return h.session().feedback().contains(QString::fromLatin1(code)); }));
            QCoreApplication::processEvents();

            EXPECT_EQ(view.width(), AccountProfileView::sheetWidth);
            auto* feedback = child<WrappedText>(view, "feedback");
            EXPECT_GT(feedback->shownLines().size(), 1);
            const QRect bounds = view.rect();
            for (QWidget* widget : std::initializer_list<QWidget*>{child<QPushButton>(view, row.button), feedback,
                                                                   child<WrappedText>(view, "title")}) {
                ASSERT_TRUE(shown(widget)) << widget->objectName().toStdString();
                const QRect placed(widget->mapTo(&view, QPoint(0, 0)), widget->size());
                EXPECT_LE(placed.right(), bounds.right() - 24) << widget->objectName().toStdString();
            }
            // The name the session shows as the title, and the address below it, wrap in the same way.
            if (row.signedIn) {
                QTest::mouseClick(child<QPushButton>(view, "saveNameButton"), Qt::LeftButton);
                h.session().setPreferredName(name);
                QCoreApplication::processEvents();
                for (const char* line : {"title", "emailLine"}) {
                    auto* text = child<WrappedText>(view, line);
                    if (text->text().isEmpty()) continue;
                    EXPECT_LE(text->mapTo(&view, QPoint(text->width() - 1, 0)).x(), bounds.right() - 24) << line;
                    for (const QString& shownLine : text->shownLines())
                        EXPECT_LE(text->fontMetrics().horizontalAdvance(shownLine.trimmed()), text->width()) << line;
                }
            }
            sheet.reset();
        }
    }
}

// The sheet comes up centred over its window and within the screen: it has its size before it is placed.
TEST_F(AccountSheetTest, OpensCentredOverItsWindow) {
    AccountHarness h;
    QWidget window;
    window.setGeometry(40, 30, 700, 520);
    window.show();
    AccountProfileView::Options options;
    options.browser = std::make_shared<NoBrowser>();
    AccountProfileView sheet(h.session(), h.defaults, options, &window);
    sheet.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    EXPECT_NEAR(sheet.geometry().center().x(), window.geometry().center().x(), 2);
    EXPECT_TRUE(sheet.screen()->availableGeometry().contains(sheet.frameGeometry()));
}

// Pictures of the sheet and the page in every language and scheme, for a person to look at.
TEST(AccountViewScreenshots, SheetAndHistoryPage) {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    AccountHarness h;
    AccountHarness signedIn;
    const QJsonObject ada{{QStringLiteral("email"), QStringLiteral("ada@example.org")}};
    signedIn.confirmed(QStringLiteral("acct_12345"), ada);
    ScriptedReply everyRefresh = account(QStringLiteral("acct_12345"), ada);
    everyRefresh.repeat = true;
    signedIn.stub.enqueue(HostedStub::accountPath, everyRefresh);
    AccountHarness longNames;
    const QJsonObject longAddress{{QStringLiteral("email"), QString(60, u'm') + QStringLiteral("@example.org")}};
    longNames.confirmed(QStringLiteral("acct_long"), longAddress)
        .setPreferredName(QString(AccountSession::preferredNameLimit, u'W'));
    ScriptedReply longRefresh = account(QStringLiteral("acct_long"), longAddress);
    longRefresh.repeat = true;
    longNames.stub.enqueue(HostedStub::accountPath, longRefresh);
    // Signed in, and every refresh loses its connection.
    AccountHarness dropped;
    dropped.confirmed(QStringLiteral("acct_12345"), ada);
    ScriptedReply everyDrop = ScriptedReply::droppedUnread();
    everyDrop.repeat = true;
    dropped.stub.enqueue(HostedStub::accountPath, everyDrop);
    AccountHarness failing;
    failing.stub.enqueue(HostedStub::accountsPath,
                         ScriptedReply::json(503, R"({"error":{"code":")" + QByteArray(64, 'x') + R"("}})"));
    run(failing.session().signIn(QString(60, u'm') + QStringLiteral("@example.org"), QStringLiteral("12345678")));
    HistoryStore history(HistoryStore::Options{h.dir.filePath(QStringLiteral("history")), {}});
    history.add(QStringLiteral("Photosynthesis turns light into chemical energy in the chloroplasts of plant cells, "
                               "which is then stored as sugar."),
                QStringLiteral("光合作用是植物利用光能，把二氧化碳和水转化为有机物并释放氧气的过程。"),
                QStringLiteral("explain"));
    history.add(QStringLiteral("勾股定理"), QStringLiteral("直角三角形两条直角边的平方和等于斜边的平方。"),
                QStringLiteral("MERID"));
    history.toggleNote(history.records().first());
    // Sources that must stay within two lines: one without any space, one of Chinese running on.
    history.add(QStringLiteral("https://example.org/").append(QString(180, u'a')),
                QStringLiteral("An address without spaces: ").append(QString(240, u'b')), QStringLiteral("translate"));
    history.add(QStringLiteral("细胞呼吸是细胞内的有机物在酶的作用下逐步氧化分解，生成二氧化碳或其他产物，释放出能量并"
                               "生成三磷酸腺苷的过程，它为生命活动提供能量，并且与光合作用相互联系。"),
                QStringLiteral("细胞呼吸分为有氧呼吸和无氧呼吸两种类型。"), QStringLiteral("explain"));

    const struct {
        InterfaceLanguage language;
        const char* tag;
    } languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const auto& language : languages) {
        InterfaceSettings::shared().setLanguage(language.language);
        // The locale the application sets for the language (dates on the history page).
        QLocale::setDefault(locale(language.language));
        for (const auto appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            ApplicationAppearance::shared().apply(appearance);
            const QString scheme =
                appearance == InterfaceAppearance::dark ? QStringLiteral("dark") : QStringLiteral("light");
            const QString suffix = QString::fromLatin1(language.tag) + u'-' + scheme + QStringLiteral(".png");
            {
                AccountProfileView sheet(h.session(), h.defaults, {});
                sheet.open();
                QCoreApplication::processEvents();
                EXPECT_TRUE(sheet.grab().save(folder + QStringLiteral("/account-sheet-") + suffix));
            }
            {
                AccountProfileView sheet(signedIn.session(), signedIn.defaults, {});
                sheet.open();
                QCoreApplication::processEvents();
                EXPECT_TRUE(sheet.grab().save(folder + QStringLiteral("/account-sheet-signed-in-") + suffix));
            }
            {
                // The longest name and an address without spaces; signed out, a code of the
                // service without spaces.
                AccountProfileView sheet(longNames.session(), longNames.defaults, {});
                sheet.open();
                QCoreApplication::processEvents();
                EXPECT_TRUE(sheet.grab().save(folder + QStringLiteral("/account-sheet-long-name-") + suffix));
                AccountProfileView::Options consent;
                consent.privacyConsent = [](QWidget* parent) { return new QDialog(parent); };
                AccountProfileView failed(failing.session(), failing.defaults, consent);
                failed.open();
                QCoreApplication::processEvents();
                EXPECT_TRUE(failed.grab().save(folder + QStringLiteral("/account-sheet-long-code-") + suffix));
            }
            {
                AccountProfileView sheet(dropped.session(), dropped.defaults, {});
                sheet.open();
                ASSERT_TRUE(waitUntil([&] { return !dropped.session().feedback().isEmpty(); }));
                QCoreApplication::processEvents();
                EXPECT_TRUE(sheet.grab().save(folder + QStringLiteral("/account-sheet-dropped-") + suffix));
            }
            HistoryView page(history, [](const LearningRecord&) {}, [] {});
            page.resize(834, 800);
            page.show();
            // The rows are built once the list has measured them.
            EXPECT_TRUE(QTest::qWaitFor([&] {
                const QList<QLabel*> sources = page.findChildren<QLabel*>(QStringLiteral("source"));
                return std::count_if(sources.begin(), sources.end(),
                                     [&](QLabel* label) { return label->isVisibleTo(&page); }) == 4;
            }));
            EXPECT_TRUE(page.grab().save(folder + QStringLiteral("/history-page-") + suffix));
        }
    }
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    QLocale::setDefault(QLocale::system());
}

}  // namespace velquin

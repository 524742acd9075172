// The coach page host over a real store and account session (the account service played by the
// loopback stub): the model-tier picker, the screen rebuilt for another identity with the old one
// saved to its own file and when the page is shown again, and sessions reloaded after the
// account's legacy import.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <algorithm>

#include "app/account/account_data_scope.h"
#include "app/account/tests/account_test_doubles.h"
#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/tutor-workspace/diz_uvizi_view.h"
#include "app/tutor-workspace/merid_course_editor_view.h"
#include "app/tutor-workspace/merid_formal_workspace_view.h"
#include "app/tutor-workspace/merid_lesson_pane.h"
#include "app/tutor-workspace/tests/workspace_test_doubles.h"

using namespace velquin;
using meridcore::TeacherLearningSession;
using meridcore::TeacherLearningStore;

namespace {

class CoachHostViewTest : public storetest::StoreFixture {
protected:
    void SetUp() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }

    DizUviziView& make() {
        DizUviziView::Options options;
        options.transport = [](tamsel::AnswerLanguage) { return std::make_shared<workspacetest::ManualTutor>(); };
        options.dataFolder = account.dataFolder();
        host = std::make_unique<DizUviziView>(store(), account.session(), coach, account.defaults, options, [] {});
        host->resize(1300, 800);
        host->show();
        EXPECT_TRUE(screenLoaded());
        return *host;
    }
    // Until the screen shown has read its sessions file.
    bool screenLoaded() const {
        return QTest::qWaitFor([this] { return host->screen()->controller().hasLoaded(); });
    }
    QString accountFile(const QString& id) const {
        return *AccountDataScope::meridSessionsURL(id, account.dataFolder());
    }
    // Names the active course through the course editor, as the student types it.
    void nameCourse(const QString& name) {
        MeridLessonPane* pane = host->screen()->lessonPane();
        host->screen()->controller().setShowCourseEditor(true);
        QTest::keyClicks(pane->courseEditor()->courseField(), name);
    }

    accounttest::AccountHarness account;
    OrvelNativeCoach coach{account.defaults};
    std::unique_ptr<DizUviziView> host;
};

}  // namespace

TEST_F(CoachHostViewTest, TierPickerWritesTheSettingAndShowsOnlyAKnownTier) {
    DizUviziView& view = make();
    EXPECT_TRUE(view.flashSegment()->isChecked()) << "nothing stored shows flash";
    EXPECT_FALSE(view.proSegment()->isChecked());
    view.proSegment()->click();
    EXPECT_EQ(account.defaults.string(DizUviziView::modelTierKey), QStringLiteral("pro"));
    EXPECT_FALSE(view.flashSegment()->isChecked());
    account.defaults.setString(DizUviziView::modelTierKey, QStringLiteral("turbo"));
    EXPECT_FALSE(view.flashSegment()->isChecked());
    EXPECT_FALSE(view.proSegment()->isChecked());
    view.flashSegment()->click();
    EXPECT_EQ(account.defaults.string(DizUviziView::modelTierKey), QStringLiteral("flash"));
    view.proSegment()->toggle();  // as a screen reader does, instead of a click
    EXPECT_EQ(account.defaults.string(DizUviziView::modelTierKey), QStringLiteral("pro"));
}

TEST_F(CoachHostViewTest, AnotherIdentityGetsAFreshScreenAndTheOldOneKeepsItsFile) {
    // Signed in, the account not yet confirmed: a throwaway file.
    account.keyring->set(QStringLiteral("token-1"));
    DizUviziView& view = make();
    EXPECT_EQ(view.identityKey(), QStringLiteral("pending"));
    nameCourse(QStringLiteral("Pending course"));
    ASSERT_EQ(view.screen()->controller().sessions().size(), 1);

    // Confirming the account rebuilds the screen over the account's own (empty) file.
    const MeridFormalWorkspaceView* pendingScreen = view.screen();
    account.stub.enqueue(testsupport::HostedStub::accountPath, accounttest::account(QStringLiteral("acct_12345")));
    accounttest::run(account.session().refresh());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.identityKey() == QStringLiteral("acct_12345"); }));
    EXPECT_NE(view.screen(), pendingScreen);
    ASSERT_TRUE(screenLoaded());
    EXPECT_TRUE(view.screen()->controller().sessions().isEmpty());
    nameCourse(QStringLiteral("Account course"));
    // The legacy import lets the screen's saves land before it reads the file, as this test does.
    TeacherLearningStore::finishPendingWrites(accountFile(QStringLiteral("acct_12345")));
    const QList<TeacherLearningSession> own = TeacherLearningStore(accountFile(QStringLiteral("acct_12345"))).load();
    ASSERT_EQ(own.size(), 1);
    EXPECT_EQ(own.first().courseName, QStringLiteral("Account course"));

    // Sessions the account's legacy import added are listed; another account's import is not.
    QList<TeacherLearningSession> stored = own;
    TeacherLearningSession imported(0);
    imported.title = QStringLiteral("Imported");
    stored.append(imported);
    TeacherLearningStore(accountFile(QStringLiteral("acct_12345"))).save(stored);
    emit account.session().meridSessionsImported(QStringLiteral("acct_99999"));
    EXPECT_EQ(view.screen()->controller().sessions().size(), 1);
    emit account.session().meridSessionsImported(QStringLiteral("acct_12345"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.screen()->controller().sessions().size() == 2; }));

    // Hidden with the page and shown again: a new screen, which reads the file again. Text handed
    // over meanwhile is taken once, by the new screen.
    const MeridFormalWorkspaceView* spent = view.screen();
    view.hide();
    store().setTutorHandoffSource(QStringLiteral("光合作用"));
    view.show();
    EXPECT_NE(view.screen(), spent);
    ASSERT_TRUE(screenLoaded());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !store().tutorHandoffSource(); }));
    view.screen()->controller().finishSaving();
    const QList<TeacherLearningSession> after = TeacherLearningStore(accountFile(QStringLiteral("acct_12345"))).load();
    EXPECT_EQ(after.size(), 3);
    EXPECT_EQ(
        std::count_if(after.begin(), after.end(),
                      [](const TeacherLearningSession& s) { return s.followupDraft == QStringLiteral("光合作用"); }),
        1);
}

// Pictures of the coach page's tutor (the model bar over the screen) in the three interface
// languages, light and dark, written into the build tree for a person to look at.
TEST_F(CoachHostViewTest, Pictures) {
    QDir().mkpath(QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR));
    DizUviziView& view = make();
    nameCourse(QStringLiteral("ECO 101"));
    const struct {
        InterfaceLanguage language;
        const char* code;
    } languages[] = {{InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"},
                     {InterfaceLanguage::french, "fr"}};
    for (const InterfaceAppearance look : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
        ApplicationAppearance::shared().apply(look);
        for (const auto& lang : languages) {
            InterfaceSettings::shared().setLanguage(lang.language);
            QApplication::processEvents();
            const QString name = QStringLiteral("coach-page-%1-%2.png")
                                     .arg(QLatin1String(lang.code),
                                          look == InterfaceAppearance::dark ? QStringLiteral("dark")
                                                                            : QStringLiteral("light"));
            ASSERT_TRUE(view.grab().save(QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR "/") + name));
        }
    }
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
}

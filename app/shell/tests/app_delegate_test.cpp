// The launch sequence and the application's life events over fakes of the bus, the selection
// controller and the import check.
#include <gtest/gtest.h>

#include "app/shell/app_delegate.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/orvel_url.h"
#include "app/shell/selection_controller.h"
#include "app/shell/tests/fake_selection_controller.h"
#include "app/shell/tests/store_test_doubles.h"
#include "platform/selection_service_provider.h"

namespace velquin {
namespace {

using storetest::StoreFixture;

using FakeSelection = storetest::FakeSelectionController;

class FakeInstance : public ApplicationInstance {
public:
    bool anotherRunning = false;
    bool deliverable = true;
    bool endsDuringHandOver = false;  // the running copy ends before it answers
    QList<LaunchRequest> handedOver;
    std::function<void(const halvern::SelectionRequest&)> entry;
    std::function<void(const LaunchRequest&)> handler;

    bool claim() override { return !anotherRunning; }
    bool handOver(const LaunchRequest& request) override {
        handedOver.append(request);
        if (endsDuringHandOver) anotherRunning = false;
        return deliverable;
    }
    void registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)> receive) override {
        entry = std::move(receive);
    }
    void setRequestHandler(std::function<void(const LaunchRequest&)> value) override { handler = std::move(value); }
};

// A delegate over the store fixture's fakes; tests make one per case.
class Launcher : public StoreFixture {
public:
    Launcher() : coach(defaults) {}
    void TestBody() override {}

    using StoreFixture::defaults;
    using StoreFixture::store;

    AppDelegate& delegate() {
        if (!delegate_) {
            delegate_ = std::make_unique<AppDelegate>(AppDelegate::Services{
                .defaults = defaults,
                .coach = coach,
                .controller = selection,
                .store = store(),
                .instance = instance,
                .scheduler = *scheduler,
                .startImportCheck = [this](const QString& file) { importChecks.append(file); },
                .openURL = [this](const QString& url) { selection.calls.append(QStringLiteral("url ") + url); },
            });
        }
        return *delegate_;
    }

    // The launch with `arguments` after the program path; then the queued start.
    AppDelegate::Outcome launch(const QStringList& arguments) {
        const AppDelegate::Outcome outcome = delegate().applicationDidFinishLaunching(QStringList{"orvel"} + arguments);
        scheduler->runPosted();
        return outcome;
    }

    OrvelNativeCoach coach;
    FakeSelection selection;
    FakeInstance instance;
    QStringList importChecks;

private:
    std::unique_ptr<AppDelegate> delegate_;
};

using Next = AppDelegate::Next;

struct LaunchRow {
    const char* name;
    QStringList arguments;
    std::optional<int> storedVersion;
    bool presenting = false;
    AppDelegate::Outcome outcome;
    QStringList calls;  // of the selection controller, after the queued start
    bool setupRan = false;
    QStringList importChecks = {};
};

TEST(AppDelegate, LaunchSequence) {
    const QString frame = AppDelegate::windowFramePrefix + QStringLiteral("Orvel.workspace");
    const QList<LaunchRow> rows{
        {"first launch", {}, std::nullopt, false, {Next::showWindow, 0}, {"start", "directSettings"}, true},
        {"stored 5", {}, 5, false, {Next::showWindow, 0}, {"start", "directSettings"}, true},
        {"stored 5 while a selection shows", {}, 5, true, {Next::showWindow, 0}, {"start"}, true},
        {"stored 6", {}, 6, false, {Next::showWindow, 0}, {"start"}, false},
        {"stored 6 with --setup", {"--setup"}, 6, false, {Next::showWindow, 0}, {"start", "directSettings"}, false},
        {"stored 6 with --setup while a selection shows", {"--setup"}, 6, true, {Next::showWindow, 0}, {"start"},
         false},
        {"stored 6 with a URL", {"orvel-formac://reader"}, 6, false, {Next::showWindow, 0},
         {"start", "url orvel-formac://reader"}, false},
        {"check mode", {"--qa-smoke"}, std::nullopt, false, {Next::showWindow, 0}, {}, false},
        {"misspelt check mode", {"--qa-smoke-typo"}, std::nullopt, false, {Next::showWindow, 0}, {}, false},
        {"import switch without a file", {"--qa-smoke-import"}, std::nullopt, false, {Next::showWindow, 0}, {}, false},
        {"import check", {"--qa-smoke-import", "notes.txt", "--qa-smoke-import", "other.txt"}, 3, false,
         {Next::importCheck, 0}, {}, false, {"notes.txt"}},
    };
    for (const LaunchRow& row : rows) {
        SCOPED_TRACE(row.name);
        Launcher fixture;
        if (row.storedVersion) fixture.defaults.setInteger(AppDelegate::setupVersionKey, *row.storedVersion);
        fixture.defaults.setString(frame, QStringLiteral("1 2 3 4"));
        fixture.defaults.setBool(AppDelegate::autoSelectKey, true);
        fixture.selection.presenting = row.presenting;

        EXPECT_EQ(fixture.launch(row.arguments), row.outcome);
        EXPECT_EQ(fixture.selection.calls, row.calls);
        EXPECT_EQ(fixture.importChecks, row.importChecks);
        EXPECT_TRUE(bool(fixture.instance.entry)) << "the selection entry is registered";
        EXPECT_TRUE(fixture.instance.handedOver.isEmpty());
        EXPECT_EQ(fixture.defaults.contains(frame), !row.setupRan);
        EXPECT_EQ(fixture.defaults.boolean(AppDelegate::autoSelectKey), !row.setupRan);
        EXPECT_EQ(fixture.coach.step(),
                  row.setupRan ? OrvelNativeCoach::Step::selection : OrvelNativeCoach::Step::inactive);
        if (row.setupRan) {
            EXPECT_EQ(fixture.defaults.integer(AppDelegate::setupVersionKey), 6);
        }
    }
}

struct HandOverRow {
    const char* name;
    QStringList arguments;
    bool deliverable;
    AppDelegate::Outcome outcome;
    QList<LaunchRequest> handedOver;
    QByteArray standardOutput;
    QByteArray standardError;
};

// A second copy hands its request over and ends without registering or starting anything; a
// check run refuses with its failure marker instead of ending as if it had passed.
TEST(AppDelegate, SecondCopyHandsOver) {
    const QList<HandOverRow> rows{
        {"reopen", {}, true, {Next::end, 0}, {LaunchRequest{}}, "", ""},
        {"URL and setup",
         {"orvel-formac://direct", "--setup"},
         true,
         {Next::end, 0},
         {LaunchRequest{{"orvel-formac://direct"}, true}},
         "",
         ""},
        {"nobody answers", {}, false, {Next::end, 1}, {LaunchRequest{}}, "",
         "orvel: the running copy did not take the request\n"},
        {"import check", {"--qa-smoke-import", "a.txt"}, true, {Next::end, 2}, {},
         "ORVEL_SMOKE_IMPORT_FAILED another copy of Orvel is running\n", ""},
        {"check mode", {"--qa-smoke-settings"}, true, {Next::end, 2}, {}, "",
         "ORVEL_SMOKE_FAILED another copy of Orvel is running\n"},
    };
    for (const HandOverRow& row : rows) {
        SCOPED_TRACE(row.name);
        Launcher fixture;
        fixture.instance.anotherRunning = true;
        fixture.instance.deliverable = row.deliverable;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const AppDelegate::Outcome outcome = fixture.launch(row.arguments);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(fixture.instance.handedOver, row.handedOver);
        EXPECT_EQ(out, row.standardOutput.toStdString());
        EXPECT_EQ(err, row.standardError.toStdString());
        EXPECT_FALSE(bool(fixture.instance.entry));
        EXPECT_FALSE(bool(fixture.instance.handler));
        EXPECT_TRUE(fixture.selection.calls.isEmpty());
        EXPECT_TRUE(fixture.importChecks.isEmpty());
        EXPECT_FALSE(fixture.defaults.contains(AppDelegate::setupVersionKey));
    }
}

// A copy that ended just before this launch holds the name no more once its hand-over fails: this
// launch then starts as the running copy, with its own request.
TEST(AppDelegate, ALaunchAfterTheRunningCopyEndedStarts) {
    Launcher fixture;
    fixture.defaults.setInteger(AppDelegate::setupVersionKey, 6);
    fixture.instance.anotherRunning = true;
    fixture.instance.deliverable = false;
    fixture.instance.endsDuringHandOver = true;
    EXPECT_EQ(fixture.launch({"orvel-formac://reader"}), (AppDelegate::Outcome{Next::showWindow, 0}));
    EXPECT_EQ(fixture.instance.handedOver.size(), 1);
    EXPECT_TRUE(bool(fixture.instance.entry)) << "the selection entry is registered";
    EXPECT_EQ(fixture.selection.calls, (QStringList{"start", "url orvel-formac://reader"}));
}

// The running copy's answers: handed-over requests, the selection entry, activation and the end.
TEST(AppDelegate, RunningCopyAnswersRequestsAndTerminates) {
    Launcher app;
    app.defaults.setInteger(AppDelegate::setupVersionKey, 6);
    app.launch({});
    app.selection.calls.clear();

    app.instance.handler(LaunchRequest{});
    app.instance.handler(LaunchRequest{{"orvel-formac://reader", "orvel-formac://x"}, false});
    app.instance.handler(LaunchRequest{{}, true});
    app.selection.presenting = true;
    app.instance.handler(LaunchRequest{{}, true});
    app.instance.entry(halvern::SelectionRequest{QStringLiteral("Opportunity cost"), tamsel::StudyMode::explain});
    app.delegate().applicationDidBecomeActive();
    EXPECT_EQ(app.selection.calls, (QStringList{"reopen", "url orvel-formac://reader", "url orvel-formac://x",
                                                "directSettings", "service Opportunity cost", "refresh"}));

    app.selection.calls.clear();
    app.store().setStatus(QStringLiteral("已完成"));
    app.delegate().applicationWillTerminate();
    EXPECT_EQ(app.selection.calls, QStringList{"stop"});
    EXPECT_EQ(app.store().status(), QStringLiteral("已停止"));
}

TEST(OrvelURL, OnlyTheExactFormsAskForSomething) {
    const QList<std::pair<const char*, OrvelURLRequest>> rows{
        {"orvel-formac://reader", OrvelURLRequest::reader},
        {"orvel-formac://reader/", OrvelURLRequest::reader},
        {"orvel-formac://direct", OrvelURLRequest::direct},
        {"orvel-formac://user@direct:8/", OrvelURLRequest::direct},
        {"orvel-formac://%72eader", OrvelURLRequest::reader},
        {"orvel-formac://reader?", OrvelURLRequest::none},
        {"orvel-formac://reader?a=b", OrvelURLRequest::none},
        {"orvel-formac://reader#", OrvelURLRequest::none},
        {"orvel-formac://reader/#x", OrvelURLRequest::none},
        {"orvel-formac://reader/x", OrvelURLRequest::none},
        {"orvel-formac://reader//", OrvelURLRequest::none},
        {"orvel-formac://READER", OrvelURLRequest::none},
        {"Orvel-formac://reader", OrvelURLRequest::none},
        {"orvel-formac:reader", OrvelURLRequest::none},
        {"orvel-formac://", OrvelURLRequest::none},
        {"orvel-formac:///reader", OrvelURLRequest::none},
        {"reader", OrvelURLRequest::none},
        {"", OrvelURLRequest::none},
    };
    for (const auto& [url, expected] : rows) EXPECT_EQ(orvelURLRequest(QString::fromUtf8(url)), expected) << url;
}

}  // namespace
}  // namespace velquin

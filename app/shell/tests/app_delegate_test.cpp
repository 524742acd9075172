// The launch sequence and the application's life events over fakes of the bus, the selection
// controller and the import check.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include "app/shell/app_delegate.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/orvel_url.h"
#include "app/shell/selection_controller.h"
#include "app/shell/study_selection_command.h"
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
    QString otherProgram;  // a program that is not Orvel holds the name (while no copy does)
    bool deliverable = true;
    bool endsDuringHandOver = false;  // the running copy ends before it answers
    QList<LaunchRequest> handedOver;
    std::function<void(const halvern::SelectionRequest&)> entry;
    std::function<void(const LaunchRequest&)> handler;

    Claim claim() override {
        if (anotherRunning) return {Claim::Holder::runningCopy, {}};
        if (!otherProgram.isEmpty()) return {Claim::Holder::otherProgram, otherProgram};
        return {};
    }
    bool handOver(const LaunchRequest& request) override {
        handedOver.append(request);
        if (endsDuringHandOver) anotherRunning = false;
        return deliverable;
    }
    void registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)> receive) override {
        entry = std::move(receive);
    }
    std::function<void(const halvern::RefusedSelection&)> refusals;
    QStringList entryCalls;                          // "method arg1|arg2"
    std::optional<QString> entryAnswer = QString();  // nothing: the call is not delivered
    void registerSelectionRefusals(std::function<void(const halvern::RefusedSelection&)> refuse) override {
        refusals = std::move(refuse);
    }
    std::optional<QString> callSelectionEntry(const QString& method, const QVariantList& arguments) override {
        QStringList values;
        for (const QVariant& argument : arguments) values.append(argument.toString());
        entryCalls.append(method + u' ' + values.join(u'|'));
        if (endsDuringHandOver) anotherRunning = false;
        return entryAnswer;
    }
    void setRequestHandler(std::function<void(const LaunchRequest&)> value) override { handler = std::move(value); }
    bool released = false;
    void release() override { released = true; }
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
                .readSelection = [this] { return selectionOutcome; },
                .lockDataFolder = [this] { return dataFolder; },
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
    halvern::SelectionCommandReader::Outcome selectionOutcome = halvern::SelectionRefusal::noSelection;
    DataFolderLock::Result dataFolder;

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

// A copy in another session (another bus) holds the data folder: a launch writes and starts
// nothing, gives up the name it took and says why (a check run with its failure marker).
TEST(AppDelegate, ALaunchEndsWhileACopyInAnotherSessionHoldsTheDataFolder) {
    const DataFolderLock::Holder holder{QStringLiteral("pc"), QStringLiteral(":1"), 42};
    const std::string inUse = "another copy of Orvel uses the data folder (host pc, display :1, process 42)";
    const struct {
        QStringList arguments;
        AppDelegate::Outcome outcome;
        std::string err;
    } rows[] = {
        {{},
         {Next::dataFolderInUse, 1, holder},
         "orvel: " + inUse +
             " in another session; this copy ends without "
             "touching it\n"},
        {{"--qa-smoke-settings"}, {Next::end, 2}, "ORVEL_SMOKE_FAILED " + inUse + "\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.err);
        Launcher fixture;
        fixture.dataFolder = {DataFolderLock::Result::State::inUse, holder};
        testing::internal::CaptureStderr();
        EXPECT_EQ(fixture.launch(row.arguments), row.outcome);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.err);
        EXPECT_TRUE(fixture.instance.released);
        EXPECT_FALSE(fixture.instance.entry);
        EXPECT_TRUE(fixture.selection.calls.isEmpty());
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

// A program that is not Orvel holding the name gets no request and no text: the launch runs on its
// own, says why, and what does not work without the name. Also when it takes the name from a
// running copy that ended during the hand-over.
TEST(AppDelegate, ALaunchStartsWithoutTheNameAProgramOtherThanOrvelHolds) {
    const std::string holder =
        "orvel: another program (process 42, /usr/bin/python3.11) holds the name com.orvel.formac on the session "
        "bus; Orvel starts without it\n"
        "orvel: without the name this copy cannot be reached by orvel --study-selection, the bus's "
        "StudySelectedText or later launches, and on GNOME the shell extension tells it no clicks\n";
    struct Row {
        const char* name;
        QStringList arguments;
        bool copyEndsDuringHandOver;
        AppDelegate::Outcome outcome;
        QStringList controllerCalls;
        QList<LaunchRequest> handedOver = {};
    };
    const QList<Row> rows{
        {"a plain launch", {}, false, {Next::showWindow, 0}, {"start"}},
        {"a URL", {"orvel-formac://reader"}, false, {Next::showWindow, 0}, {"start", "url orvel-formac://reader"}},
        {"the study-selection command",
         {"--study-selection", "explain"},
         false,
         {Next::handOver, 0},
         {"start", "service Opportunity cost"}},
        {"a check run", {"--qa-smoke-settings"}, false, {Next::showWindow, 0}, {}},
        {"after the running copy ended", {}, true, {Next::showWindow, 0}, {"start"}, {LaunchRequest{}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Launcher fixture;
        fixture.defaults.setInteger(AppDelegate::setupVersionKey, 6);
        fixture.selectionOutcome = QStringLiteral("Opportunity cost");
        fixture.instance.otherProgram = QStringLiteral("process 42, /usr/bin/python3.11");
        fixture.instance.anotherRunning = row.copyEndsDuringHandOver;
        fixture.instance.endsDuringHandOver = row.copyEndsDuringHandOver;
        fixture.instance.deliverable = false;
        testing::internal::CaptureStderr();
        EXPECT_EQ(fixture.launch(row.arguments), row.outcome);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), holder);
        EXPECT_EQ(fixture.instance.handedOver, row.handedOver);
        EXPECT_TRUE(fixture.instance.entryCalls.isEmpty());
        EXPECT_EQ(fixture.selection.calls, row.controllerCalls);
        if (!fixture.selection.requests.isEmpty()) {
            EXPECT_EQ(fixture.selection.requests.first().mode, tamsel::StudyMode::explain);
        }
    }
}

// A copy is Orvel when its process runs the very program file, by whatever path it got there, or,
// after an upgrade replaced the super-user's file under it, the file that was at that path.
TEST(DBusApplicationInstance, OnlyAProcessRunningTheProgramFileIsOrvel) {
    EXPECT_TRUE(DBusApplicationInstance::runsProgramFile(QCoreApplication::applicationPid(),
                                                         DBusApplicationInstance::programFiles()));
    QTemporaryDir folder;
    const QDir place(QDir(folder.path()).canonicalPath());
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    const QString link = place.filePath(QStringLiteral("link"));
    const QString copy = place.filePath(QStringLiteral("orvel"));
    ASSERT_TRUE(QFile::link(sleep, link));
    ASSERT_TRUE(QFile::copy(sleep, copy));
    QProcess other, replaced;
    other.start(sleep, {QStringLiteral("60")});
    replaced.start(copy, {QStringLiteral("60")});
    ASSERT_TRUE(other.waitForStarted() && replaced.waitForStarted());
    const auto runs = [](const QProcess& process, const QStringList& programs) {
        return DBusApplicationInstance::runsProgramFile(process.processId(), programs);
    };
    EXPECT_FALSE(runs(other, DBusApplicationInstance::programFiles()));
    EXPECT_TRUE(runs(other, {QStringLiteral("/nowhere"), link}));
    EXPECT_FALSE(runs(replaced, {sleep}));
    ASSERT_TRUE(QFile::remove(copy));
    EXPECT_FALSE(runs(replaced, {copy})) << "the file is gone and nothing took its place";
    ASSERT_TRUE(QFile::copy(sleep, copy));
    EXPECT_EQ(runs(replaced, {copy}), ::geteuid() == 0) << "only a file of the super-user's";
    EXPECT_FALSE(DBusApplicationInstance::runsProgramFile(0, DBusApplicationInstance::programFiles()));
    other.kill();
    replaced.kill();
    EXPECT_TRUE(other.waitForFinished() && replaced.waitForFinished());
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
    // The entry's hand-overs reach the controller on a later turn of the event loop.
    app.instance.entry(halvern::SelectionRequest{QStringLiteral("Opportunity cost"), tamsel::StudyMode::explain});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return app.selection.calls.contains(QStringLiteral("service Opportunity cost")); }));
    app.delegate().applicationDidBecomeActive();
    EXPECT_EQ(app.selection.calls, (QStringList{"reopen", "url orvel-formac://reader", "url orvel-formac://x",
                                                "directSettings", "service Opportunity cost", "refresh"}));

    app.selection.calls.clear();
    app.store().setStatus(QStringLiteral("已完成"));
    app.delegate().applicationWillTerminate();
    EXPECT_EQ(app.selection.calls, QStringList{"stop"});
    EXPECT_EQ(app.store().status(), QStringLiteral("已停止"));
}

TEST(StudySelectionCommand, ArgumentsAndTheModeTheyAskFor) {
    struct Row {
        QStringList arguments;
        std::optional<StudySelectionCommand> command;
        bool error = false;
        QStringList urls = {};  // what a launch takes for URLs
    };
    const QList<Row> rows{
        {{}, std::nullopt},
        {{"orvel-formac://reader"}, std::nullopt, false, {"orvel-formac://reader"}},
        {{"--study-selection"}, StudySelectionCommand{}},
        {{"--study-selection", "explain"}, StudySelectionCommand{"explain"}},
        {{"--study-selection", "translate"}, StudySelectionCommand{"translate"}},
        {{"--study-selection=practice"}, StudySelectionCommand{"practice"}},
        {{"--study-selection", "--setup"}, StudySelectionCommand{}},
        {{"--study-selection", "Explain"}, std::nullopt, true},
        {{"--study-selection", "summarise"}, std::nullopt, true},
        {{"--study-selection="}, std::nullopt, true},
        {{"explain", "--study-selection"}, StudySelectionCommand{}, false, {"explain"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        const QStringList arguments = QStringList{"orvel"} + row.arguments;
        QString error = QStringLiteral("stale");
        EXPECT_EQ(StudySelectionCommand::fromArguments(arguments, &error), row.command);
        EXPECT_EQ(!error.isEmpty(), row.error) << error.toStdString();
        EXPECT_EQ(LaunchRequest::fromArguments(arguments).urls, row.urls);
    }
}

// `orvel --study-selection [mode]`: the selection or the refusal goes to the running copy's entry,
// or, when this launch is the running copy, to its own controller after the start.
TEST(AppDelegate, StudySelectionCommandHandsTheSelectionToTheRunningCopy) {
    using halvern::SelectionRefusal;
    struct Row {
        const char* name;
        QStringList arguments;
        halvern::SelectionCommandReader::Outcome read;
        bool anotherRunning;
        std::optional<QString> entryAnswer;  // the running copy's answer; nothing: not delivered
        AppDelegate::Outcome outcome;
        QStringList entryCalls;
        QStringList controllerCalls;  // after the queued start
        std::string standardError;
    };
    const QString text = QStringLiteral("Opportunity cost");
    const QList<Row> rows{
        {"text to the running copy",
         {"--study-selection", "explain"},
         text,
         true,
         QString(),
         {Next::end, 0},
         {"StudySelectedText Opportunity cost|explain"},
         {},
         ""},
        {"no mode: the entry's default",
         {"--study-selection"},
         text,
         true,
         QString(),
         {Next::end, 0},
         {"StudySelectedText Opportunity cost"},
         {},
         ""},
        {"the running copy refuses",
         {"--study-selection", "explain"},
         text,
         true,
         QString("太长"),
         {Next::end, 1},
         {"StudySelectedText Opportunity cost|explain"},
         {},
         "orvel: the running copy refused the selection: 太长\n"},
        {"nothing selected",
         {"--study-selection", "explain"},
         SelectionRefusal::noSelection,
         true,
         QString(),
         {Next::end, 1},
         {"ReportUnreadableSelection noSelection|explain"},
         {},
         "orvel: nothing to study: no text is selected\n"},
        {"a password field",
         {"--study-selection"},
         SelectionRefusal::protectedField,
         true,
         QString(),
         {Next::end, 1},
         {"ReportUnreadableSelection protectedField"},
         {},
         "orvel: nothing to study: the selection is in a password field\n"},
        {"the running copy ended meanwhile",
         {"--study-selection", "translate"},
         text,
         true,
         std::nullopt,
         {Next::handOver, 0},
         {"StudySelectedText Opportunity cost|translate"},
         {"start", "service Opportunity cost"},
         ""},
        {"no running copy",
         {"--study-selection", "translate"},
         text,
         false,
         QString(),
         {Next::handOver, 0},
         {},
         {"start", "service Opportunity cost"},
         ""},
        {"no running copy, nothing selected",
         {"--study-selection"},
         SelectionRefusal::noSelection,
         false,
         QString(),
         {Next::handOver, 0},
         {},
         {"start", "refused noSelection practice"},
         ""},
        {"no running copy, nothing selected, in a mode",
         {"--study-selection", "explain"},
         SelectionRefusal::tooLong,
         false,
         QString(),
         {Next::handOver, 0},
         {},
         {"start", "refused tooLong explain"},
         ""},
        {"an unknown mode",
         {"--study-selection", "summarise"},
         text,
         true,
         QString(),
         {Next::end, 2},
         {},
         {},
         "orvel: unknown study mode \"summarise\"; use explain, translate or practice\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Launcher fixture;
        fixture.defaults.setInteger(AppDelegate::setupVersionKey, 6);
        fixture.selectionOutcome = row.read;
        fixture.instance.anotherRunning = row.anotherRunning;
        fixture.instance.entryAnswer = row.entryAnswer;
        fixture.instance.endsDuringHandOver = !row.entryAnswer;
        testing::internal::CaptureStderr();
        EXPECT_EQ(fixture.launch(row.arguments), row.outcome);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.standardError);
        EXPECT_EQ(fixture.instance.entryCalls, row.entryCalls);
        EXPECT_TRUE(fixture.instance.handedOver.isEmpty());
        EXPECT_EQ(fixture.selection.calls, row.controllerCalls);
        if (row.controllerCalls.contains(QStringLiteral("service Opportunity cost"))) {
            EXPECT_EQ(fixture.selection.requests.value(0).mode, tamsel::StudyMode::translate);
        }
    }

    // The running copy's entry passes the command's refusals on to the controller.
    Launcher app;
    app.defaults.setInteger(AppDelegate::setupVersionKey, 6);
    app.launch({});
    app.selection.calls.clear();
    ASSERT_TRUE(bool(app.instance.refusals));
    app.instance.refusals({SelectionRefusal::protectedField, tamsel::StudyMode::explain});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.selection.calls.isEmpty(); }));
    EXPECT_EQ(app.selection.calls, QStringList{"refused protectedField explain"});
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

// Gesture detection and the read after a gesture, on virtual time.
#include <gtest/gtest.h>

#include "app/select-anywhere/tests/selection_test_doubles.h"

using namespace selectiontest;
using namespace std::chrono_literals;
using Phase = tamsel::SelectionInteraction::Phase;
using Case = tamsel::DirectSelectionFailure::Case;
using Program = tamsel::SelectionReadRule::Program;

namespace {

const QString gestureOK = QStringLiteral("鼠标事件正常。拖选或双击一个词才会尝试取字。");
const QString noPress = QStringLiteral("未记录到本次划选的起点。请先单击来源应用，再重新拖选文字。");
const QString editorRead = QStringLiteral("Gedit：已读取 11 个字符。点击选区旁 AI 图标打开；尚未调用模型。");

struct GestureRow {
    const char* name;
    std::function<void(ControllerHarness&)> prepare;
    QList<Event> events;
    bool reads;         // a read was scheduled
    QString status;     // activityStatus afterwards, when not reading
    QString lastBlock;  // when not empty
    int downs, ups;     // the counters afterwards
};

Event at(unsigned type, double x, double y = 100, int clicks = 1, qint32 pid = editor.processIdentifier) {
    Event snapshot;
    snapshot.type = type;
    snapshot.quartzX = x;
    snapshot.quartzY = y;
    snapshot.clickCount = clicks;
    snapshot.source.frontmostPID = pid;
    return snapshot;
}

using GestureTest = ControllerFixture;

}  // namespace

TEST(Gesture, WhichEventsMakeASelectionGesture) {
    const QList<GestureRow> rows{
        {"single click", {}, {at(1, 10), at(2, 10)}, false, gestureOK, {}, 1, 1},
        {"double click", {}, {at(1, 10), at(2, 10), at(1, 10, 100, 2), at(2, 10, 100, 2)}, true, {}, {}, 2, 2},
        {"released 3.9 points away", {}, {at(1, 0), at(6, 3.9), at(2, 3.9)}, false, gestureOK, {}, 1, 1},
        {"released 4.0 points away", {}, {at(1, 0), at(2, 4.0)}, true, {}, {}, 1, 1},
        {"dragged 4.0 points away and back", {}, {at(1, 0), at(6, 4.0), at(6, 1), at(2, 1)}, true, {}, {}, 1, 1},
        {"pressed in one program, released in another",
         {},
         {at(1, 0), at(2, 50, 100, 1, terminal.processIdentifier)},
         false,
         QStringLiteral("来源进程变化：按下时 200，松开时 300。请在当前应用重新拖选。"),
         QStringLiteral("来源进程变化：按下时 200，松开时 300"),
         1,
         1},
        {"release without a press", {}, {at(2, 50)}, false, noPress, {}, 0, 1},
        {"a scroll forgets the press", {}, {at(1, 0), at(22, 0), at(2, 50)}, false, noPress, {}, 1, 1},
        {"the main window is busy",
         [](ControllerHarness& f) { f.store().captureScreenText(); },
         {at(1, 0), at(2, 50)},
         false,
         QStringLiteral("主窗口正在处理任务，请完成后再划词。"),
         {},
         1,
         1},
        {"a protected program",
         [](ControllerHarness& f) {
             f.desktop->running[400] = {400, QStringLiteral("LockDown Browser"), QStringLiteral("respondus")};
         },
         {at(1, 0, 100, 1, 400), at(2, 50, 100, 1, 400)},
         false,
         tamsel::message(tamsel::SelectionSourceBlock::protectedApplication),
         QStringLiteral("protectedApplication：") + tamsel::message(tamsel::SelectionSourceBlock::protectedApplication),
         1,
         1},
        {"a browser while browsers are off",
         [](ControllerHarness& f) {
             f.controller().setBrowserSelectionEnabled(false);
             f.desktop->running[500] = {500, QStringLiteral("Chromium"), QStringLiteral("chromium")};
         },
         {at(1, 0, 100, 1, 500), at(2, 50, 100, 1, 500), at(2, 50)},
         false,
         noPress,
         QStringLiteral("无"),
         1,
         2},
        {"a program that cannot be told",
         {},
         {at(1, 0, 100, 1, 999)},
         false,
         QStringLiteral("无法从鼠标回调的 AX 命中 / 焦点 / 前台快照识别来源。请复制诊断中的来源轨迹。"),
         QStringLiteral("无法从鼠标回调的 AX 命中 / 焦点 / 前台快照识别来源"),
         1,
         0},
        {"the switch is off",
         [](ControllerHarness& f) { f.controller().setEnabled(false); },
         {at(1, 0), at(2, 50)},
         false,
         QStringLiteral("自动划词已暂停；仍可使用托盘图标菜单中的本机测试。"),
         {},
         0,
         0},
        {"this program's own window",
         {},
         {at(1, 0, 100, 1, ownPID), at(2, 50, 100, 1, ownPID)},
         false,
         QStringLiteral("尚未识别到外部应用的划选。请单击 Chrome 正文，再拖选一句话。"),
         {},
         1,
         1},
    };
    for (const GestureRow& row : rows) {
        SCOPED_TRACE(row.name);
        ControllerHarness test;
        test.started();
        const auto handler = test.monitors->global;
        if (row.prepare) row.prepare(test);
        for (const Event& event : row.events) handler(event);
        const auto& controller = test.controller();
        EXPECT_EQ(controller.interaction().phase == Phase::waiting, row.reads);
        if (!row.reads) {
            EXPECT_EQ(controller.activityStatus(), row.status);
        }
        if (!row.lastBlock.isEmpty()) {
            EXPECT_EQ(controller.diagnostics().lastBlock, row.lastBlock);
        }
        EXPECT_EQ(controller.diagnostics().mouseDownCount, row.downs);
        EXPECT_EQ(controller.diagnostics().mouseUpCount, row.ups);
    }
}

TEST_F(GestureTest, EventsOverThePanelsAreIgnoredAndTheTrailKeepsTenLines) {
    started();
    panels->area = QRectF(0, 0, 50, 50);
    send(event(Event::leftMouseDown, {10, 10}));
    EXPECT_EQ(controller().diagnostics().mouseDownCount, 0);
    for (int i = 0; i < 11; ++i) send(event(Event::leftMouseDown, {100.0 + i, 100}));
    const QStringList& trail = controller().diagnostics().sourceHistory;
    ASSERT_EQ(trail.size(), 10);
    EXPECT_EQ(trail.last(), QStringLiteral("down t=0.000 target=0 hit=nil focus=nil workspace=200 resolved=200 / "
                                           "回调时前台应用 AXErrors=0,0"));
    EXPECT_EQ(controller().diagnostics().lastSourceSnapshot, trail.last());
}

// The read after a gesture: the settle wait, the checks after it, and which readers the read rule
// lets it try for the program.
struct ReadRow {
    const char* name;
    bool compatibilityCopy;
    FakeReaders::Script accessibility;
    std::optional<QString> primary;  // what PRIMARY holds where the source owns it
    Program program;
    bool copies;  // the compatibility copy is asked (and gives "copied words")
    Phase phase;  // afterwards
    QString status;
    bool primaryUnanswered = false;  // the source owns PRIMARY, whose text did not come in time
    // PRIMARY comes through the compositor's window, set by the native window of this process as the
    // shell names it (nothing: the shell does not answer).
    std::optional<std::optional<qint32>> throughCompositor = std::nullopt;
    bool onAnotherMachine = false;  // a window of the source names another machine
};

TEST(SelectionRead, TheReadAfterTheSettleWait) {
    const FakeReaders::Script read = FakeReaders().accessibility;
    const QString primaryWords = QStringLiteral("primary words");
    const auto message = [](const QString& text) { return QStringLiteral("Gedit：") + text; };
    const auto failure = [](Case reason) { return tamsel::DirectSelectionFailure(reason).message(); };
    const auto refusal = [](halvern::CompatibilityReadFailure::Case reason) {
        return halvern::CompatibilityReadFailure(reason).message();
    };
    using Refused = halvern::CompatibilityReadFailure::Case;
    const QString readPrimary = QStringLiteral("Gedit：已读取 13 个字符。点击选区旁 AI 图标打开；尚未调用模型。");
    const QString readCopy = QStringLiteral("Gedit：已读取 12 个字符。点击选区旁 AI 图标打开；尚未调用模型。");
    const FakeReaders::Script offTheBus = []() -> halvern::SelectionReadResult {
        throw halvern::SelectionReadFailure(Case::unsupported, halvern::SelectedTextReader::notOnTheBusDiagnostics);
    };
    const QList<ReadRow> rows{
        {"accessibility reads it", false, read, QStringLiteral("hello world"), Program::ordinary, false, Phase::icon,
         editorRead},
        {"a hidden entry: PRIMARY of mask characters", true, read, QStringLiteral("●●●●●●●●●●●"), Program::ordinary,
         false, Phase::idle, message(failure(Case::protectedField))},
        {"the bus shows another selection than PRIMARY's: PRIMARY", false, read, primaryWords, Program::ordinary, false,
         Phase::icon, readPrimary},
        {"unsupported: PRIMARY without the copy switch", false, failing(Case::unsupported), primaryWords,
         Program::ordinary, false, Phase::icon, readPrimary},
        {"unsupported, PRIMARY empty: the accessibility message", false, failing(Case::unsupported), std::nullopt,
         Program::ordinary, false, Phase::idle, message(failure(Case::unsupported))},
        {"no text: PRIMARY", true, failing(Case::noText), primaryWords, Program::ordinary, false, Phase::icon,
         readPrimary},
        {"unsupported with the copy switch, PRIMARY not the source's: the copy", true, failing(Case::unsupported),
         std::nullopt, Program::ordinary, true, Phase::icon, readCopy},
        {"timed out without the switch: nothing else", false, failing(Case::timedOut), primaryWords, Program::ordinary,
         false, Phase::idle, message(failure(Case::timedOut))},
        {"a password field: nothing else", true, failing(Case::protectedField), primaryWords, Program::ordinary, false,
         Phase::idle, message(failure(Case::protectedField))},
        {"too long: nothing else", true, failing(Case::tooLong), primaryWords, Program::ordinary, false, Phase::idle,
         message(failure(Case::tooLong))},
        // A browser's PRIMARY may hold a password field's text in clear, also after a click elsewhere.
        {"a browser the bus does not show: only its own copy", true, failing(Case::unsupported),
         QStringLiteral("hunter2secret"), Program::webBrowser, true, Phase::icon, readCopy},
        {"a browser whose page is on the bus, without the copy switch: refused", false, failing(Case::noText),
         QStringLiteral("hunter2secret"), Program::webBrowser, false, Phase::idle,
         message(refusal(Refused::unshownWebSelection))},
        {"a browser off the bus, without the copy switch: refused", false, offTheBus, QStringLiteral("hunter2secret"),
         Program::webBrowser, false, Phase::idle, message(refusal(Refused::unconfirmedBrowserField))},
        {"a program putting passwords into PRIMARY off the bus: refused", true, failing(Case::unsupported),
         QStringLiteral("hunter2secret"), Program::clearPrimary, false, Phase::idle,
         message(refusal(Refused::unconfirmedProgramField))},
        // ssh's windows are other machines' programs, whatever the display server names.
        {"a program shown through ssh -X: refused", true, failing(Case::unsupported), QStringLiteral("hunter2secret"),
         Program::forwarder, false, Phase::idle, message(refusal(Refused::remoteSource))},
        {"a window naming another machine: refused", true, failing(Case::unsupported), primaryWords, Program::ordinary,
         false, Phase::idle, message(refusal(Refused::remoteSource)), false, std::nullopt, true},
        {"a browser read over the bus", false, read, QStringLiteral("hello world"), Program::webBrowser, false,
         Phase::icon, editorRead},
        // A hidden entry may show its text in clear on the bus; only PRIMARY's mask would tell.
        {"the source's PRIMARY did not come in time: refused", true, read, std::nullopt, Program::ordinary, false,
         Phase::idle, message(failure(Case::timedOut)), true},
        // The compositor passes on whichever native window set PRIMARY last.
        {"the compositor's PRIMARY, set by the source: PRIMARY", false, failing(Case::unsupported), primaryWords,
         Program::ordinary, false, Phase::icon, readPrimary, false, editor.processIdentifier},
        {"the compositor's PRIMARY, set by another program: not read", false, failing(Case::unsupported),
         QStringLiteral("hunter2secret"), Program::ordinary, false, Phase::idle, message(failure(Case::unsupported)),
         false, terminal.processIdentifier},
        {"the compositor's PRIMARY, the shell does not answer: not read", false, failing(Case::noText),
         QStringLiteral("hunter2secret"), Program::ordinary, false, Phase::idle, message(failure(Case::noText)), false,
         std::optional<qint32>()},
    };
    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.name);
        ControllerHarness test;
        test.defaults.setBool(halvern::SelectionClipboardReader::preferenceKey, row.compatibilityCopy);
        test.readers->accessibility = row.accessibility;
        test.readers->primary = [&row] {
            return halvern::PrimarySelection{row.primary.has_value() || row.primaryUnanswered, row.primary};
        };
        test.readers->sourceProgram = row.program;
        test.readers->anotherMachine = row.onAnotherMachine;
        test.readers->primaryThroughCompositor = row.throughCompositor.has_value();
        test.readers->nativeSource = row.throughCompositor.value_or(std::nullopt);
        test.started();
        test.drag({0, 100}, {80, 100});
        EXPECT_EQ(test.readers->preparations, QList<qint32>{editor.processIdentifier});
        test.timeline->advance(179ms);
        EXPECT_TRUE(test.readers->accessibilityReads.isEmpty()) << "read before the selection settled";
        test.timeline->advance(1ms);
        EXPECT_EQ(test.readers->accessibilityReads, QList<qint32>{editor.processIdentifier});
        EXPECT_EQ(test.readers->copies.size(), row.copies ? 1 : 0);
        if (row.copies) {
            test.readers->pendingCopy(
                halvern::SelectionReadResult{QStringLiteral("copied words"), QStringLiteral("copy"), 1}, {});
            test.timeline->runPosted();
        }
        const auto& controller = test.controller();
        EXPECT_EQ(controller.interaction().phase, row.phase);
        EXPECT_EQ(controller.activityStatus(), row.status);
        // An automatic read never opens the answer panel; only a success offers the icon.
        EXPECT_EQ(test.panels->calls.filter(QStringLiteral("icon 80,100")).size(), row.phase == Phase::icon ? 1 : 0);
        EXPECT_TRUE(test.panels->calls.filter(QStringLiteral("answer")).isEmpty());
        if (row.throughCompositor && *row.throughCompositor != editor.processIdentifier) {
            EXPECT_EQ(test.readers->primaryTextReads, 0) << "another program's PRIMARY was read";
        }
    }
}

TEST_F(GestureTest, ASecondGestureInTheWaitCancelsTheFirst) {
    started();
    drag({0, 100}, {80, 100});
    timeline->advance(100ms);
    drag({0, 200}, {90, 200});
    timeline->advance(100ms);
    EXPECT_TRUE(readers->accessibilityReads.isEmpty());
    timeline->advance(80ms);
    EXPECT_EQ(readers->accessibilityReads.size(), 1);
    EXPECT_EQ(controller().selectionPoint(), QPointF(90, 200));
    EXPECT_EQ(controller().diagnostics().iconShowCount, 1);
}

// The release may wait for the main thread after the pointer monitor received it; the settle wait
// counts from its arrival, and a release handled after the whole wait is read at once.
TEST(SelectionRead, TheSettleWaitCountsFromTheReleasesArrival) {
    for (const auto& [handledAfter, readAfter] : {std::pair{30ms, 150ms}, std::pair{250ms, 0ms}}) {
        SCOPED_TRACE(handledAfter.count());
        ControllerHarness test;
        test.started();
        test.timeline->advance(1000ms);
        test.send(ControllerHarness::event(Event::leftMouseDown, {0, 100}));
        Event release = ControllerHarness::event(Event::leftMouseUp, {80, 100});
        release.received = test.timeline->currentTime();
        test.timeline->advance(handledAfter);
        test.send(release);
        if (readAfter > 0ms) {
            test.timeline->advance(readAfter - 1ms);
            EXPECT_TRUE(test.readers->accessibilityReads.isEmpty()) << "read before the selection settled";
        }
        test.timeline->advance(1ms);
        EXPECT_EQ(test.readers->accessibilityReads.size(), 1);
    }
}

TEST_F(GestureTest, ASourceNoLongerInFrontAfterTheWaitIsNotRead) {
    started();
    drag({0, 100}, {80, 100});
    desktop->frontmost = terminal;
    timeline->advance(200ms);
    EXPECT_TRUE(readers->accessibilityReads.isEmpty());
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_EQ(controller().diagnostics().lastReadRoute, QStringLiteral("等待已取消：取字前后来源失焦或退出"));
    EXPECT_TRUE(panels->calls.filter(QStringLiteral("icon")).isEmpty());
}

TEST_F(GestureTest, AResultOfAnOlderGenerationIsDropped) {
    started();
    timeline->blockingRunsAtOnce = false;
    drag({0, 100}, {80, 100});
    timeline->advance(180ms);
    // The front check, then the read with its lookups: blocking work, none of it on the main thread.
    ASSERT_EQ(timeline->pendingJobs(), 1);
    timeline->finishJobs();
    timeline->runPosted();
    ASSERT_EQ(timeline->pendingJobs(), 1);
    EXPECT_TRUE(readers->accessibilityReads.isEmpty());
    EXPECT_EQ(readers->primaryTextReads, 0);
    // A press in the source starts a new interaction while the first read is still running.
    send(event(Event::leftMouseDown, {300, 300}));
    timeline->finishJobs();
    timeline->runPosted();
    EXPECT_EQ(interaction().phase, Phase::idle);
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("Gedit：已收到鼠标按下，等待拖选完成。"));
    EXPECT_EQ(controller().diagnostics().iconShowCount, 0);
}

TEST_F(GestureTest, AManualReadStartsAtOnceAndShowsAFailureInThePanel) {
    defaults.setBool(DirectSelectionController::enabledKey, false);
    started();
    readers->accessibility = failing(Case::timedOut);
    // This program is in front: the editor, in front at the start, is read.
    desktop->frontmost = SourceApplication{ownPID, QStringLiteral("Orvel"), QStringLiteral("orvel")};
    controller().readSelection(false);
    timeline->runPosted();
    EXPECT_EQ(readers->accessibilityReads, QList<qint32>{editor.processIdentifier});
    const QString message = tamsel::DirectSelectionFailure(Case::timedOut).message();
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("Gedit：") + message);
    EXPECT_EQ(interaction().phase, Phase::result);
    EXPECT_EQ(panels->calls.mid(panels->calls.size() - 2),
              (QStringList{QStringLiteral("error ") + message + QStringLiteral(" Gedit"),
                           QStringLiteral("answer 500,400 0")}));

    // A manual success opens the answer panel at once, with activation.
    readers->accessibility = FakeReaders().accessibility;
    controller().readSelection(true);
    timeline->runPosted();
    EXPECT_EQ(interaction().phase, Phase::result);
    EXPECT_EQ(panels->calls.mid(panels->calls.size() - 3),
              (QStringList{QStringLiteral("hideIcon"), QStringLiteral("preview hello world Gedit"),
                           QStringLiteral("answer 500,400 1")}));
    EXPECT_EQ(controller().activityStatus(), QStringLiteral("本机显示已保存选区，没有调用模型。"));
}

TEST_F(GestureTest, ManualReadRefusalsOpenTheSettings) {
    started();
    desktop->running[500] = {500, QStringLiteral("Chromium"), QStringLiteral("chromium")};
    controller().setBrowserSelectionEnabled(false);
    const QList<std::pair<std::function<void()>, QString>> rows{
        {[this] { desktop->frontmost = std::nullopt; },
         QStringLiteral("未找到可读取的来源应用。请先在文本编辑器中选择文字。")},
        {[this] { desktop->frontmost = desktop->running[500]; },
         QStringLiteral("Chromium：") + tamsel::message(tamsel::SelectionSourceBlock::browsersDisabled)},
        {[this] {
             desktop->frontmost = editor;
             desktop->trusted = false;
         },
         QStringLiteral("辅助功能尚未授权。更新后请确认勾选的是正在运行的 Orvel。")},
    };
    for (const auto& [prepare, status] : rows) {
        store().setShowDirectSelectionSettings(false);
        prepare();
        controller().readSelection(false);
        timeline->runPosted();
        EXPECT_EQ(controller().activityStatus(), status);
        EXPECT_TRUE(store().showDirectSelectionSettings());
    }
    EXPECT_TRUE(readers->accessibilityReads.isEmpty());
}

// The controller's D-Bus selection entry, the permission repair, the diagnostics report and the
// sample document, over the test doubles.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "app/select-anywhere/tests/selection_test_doubles.h"
#include "base/text.h"
#include "platform/selection_service_provider.h"

using namespace selectiontest;
using namespace std::chrono_literals;
using Phase = tamsel::SelectionInteraction::Phase;
using Origin = tamsel::SelectionInteraction::Origin;

namespace {

using ServiceRepairTest = ControllerFixture;

const QString seededText = QStringLiteral("SEEDED-SELECTION-7f3a opportunity cost");
const QString seededToken = QStringLiteral("SEEDED-TOKEN-91bc");

}  // namespace

TEST_F(ServiceRepairTest, HandedOverTextReplacesTheIconAndHidesTheMainWindow) {
    windows->add(7, DirectSelectionController::workspaceIdentifier).isVisible = true;
    started();
    drag({0, 100}, {80, 100});
    timeline->advance(200ms);
    ASSERT_EQ(interaction().phase, Phase::icon);
    store().setShowDirectSelectionSettings(true);
    store().setShowSettings(true);
    panels->calls.clear();

    const QString text = QStringLiteral("Opportunity cost");
    controller().receiveServiceSelection({text, tamsel::StudyMode::translate});
    EXPECT_EQ(interaction().phase, Phase::result);
    EXPECT_EQ(interaction().origin, Origin::service);
    EXPECT_TRUE(panels->calls.contains(QStringLiteral("present Opportunity cost ") +
                                       DirectSelectionController::serviceAppName + QStringLiteral(" translate service")));
    EXPECT_EQ(panels->calls.last().left(7), QStringLiteral("answer "));
    EXPECT_TRUE(panels->calls.last().endsWith(QStringLiteral(" 1")));  // shown with activation
    EXPECT_TRUE(windows->calls.contains(QStringLiteral("hideWindow 7")));
    EXPECT_FALSE(store().showDirectSelectionSettings());
    EXPECT_FALSE(store().showSettings());
    EXPECT_EQ(controller().activityStatus(),
              QStringLiteral("系统文本服务已交付 16 个字符；这条入口不需要辅助功能授权。"));

    // A refused command shows why, in the panel of the mode it asked for.
    panels->calls.clear();
    controller().receiveSelectionRefusal({halvern::SelectionRefusal::noSelection, tamsel::StudyMode::explain});
    const QString message = halvern::message(halvern::SelectionRefusal::noSelection);
    EXPECT_TRUE(panels->calls.contains(QStringLiteral("error ") + message + u' ' +
                                       DirectSelectionController::serviceAppName + QStringLiteral(" explain")));
    EXPECT_EQ(controller().activityStatus(), message);
}

TEST_F(ServiceRepairTest, PermissionSetupAsksTheDesktopOncePerProcess) {
    started();
    controller().beginAuthorizationSetup();
    EXPECT_TRUE(repair->calls.isEmpty());
    EXPECT_EQ(controller().repairFeedback(), QStringLiteral("授权已经通过，可直接开启自动划词。"));

    desktop->trusted = false;
    controller().beginAuthorizationSetup();
    controller().beginAuthorizationSetup();
    EXPECT_EQ(repair->calls, QStringList({"request", "settings", "settings"}));
    EXPECT_EQ(controller().repairFeedback(),
              QStringLiteral("已打开系统授权页面。开关保持你的选择；后台不会重复弹出授权请求。"));
    EXPECT_TRUE(controller().isEnabled());  // the switch is left as it was
}

TEST_F(ServiceRepairTest, RepairRunsOnceSwitchesOffAndRestarts) {
    timeline->blockingRunsAtOnce = false;
    started();
    controller().repairAuthorization();
    controller().repairAuthorization();
    EXPECT_TRUE(controller().isRepairing());
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(defaults.boolValue(DirectSelectionController::enabledKey), false);
    EXPECT_EQ(timeline->pendingJobs(), 1);
    timeline->finishJobs();
    timeline->runPosted();
    EXPECT_FALSE(controller().isRepairing());
    EXPECT_EQ(repair->calls, QStringList({"reset", "restart", "terminate"}));
}

TEST_F(ServiceRepairTest, FailedRestartsKeepTheProgramAndReportWhy) {
    repair->restartFailure = QStringLiteral("找不到安装的程序");
    started();
    controller().restartForAuthorization();
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(controller().repairFeedback(), QStringLiteral("找不到安装的程序"));
    controller().repairAuthorization();
    timeline->runPosted();
    EXPECT_FALSE(controller().isRepairing());
    EXPECT_EQ(repair->calls, QStringList({"restart", "reset", "restart"}));
}

TEST_F(ServiceRepairTest, DiagnosticsHoldTheirLinesInOrderAndNoSelectedTextOrToken) {
    token->token = seededToken;
    readers->accessibility = [] { return halvern::SelectionReadResult{seededText, QStringLiteral("AXSelectedText"), 1}; };
    started();
    drag({0, 100}, {80, 100});
    timeline->advance(200ms);
    controller().openSelectionIcon();
    controller().receiveServiceSelection({seededText, tamsel::StudyMode::explain});

    const QString report = controller().diagnosticsReport();
    EXPECT_FALSE(report.contains(seededText.left(20))) << report.toStdString();
    EXPECT_FALSE(report.contains(seededToken)) << report.toStdString();
    const QStringList labels{
        "Orvel ", "运行路径：", "固定安装位置：", "进程：", "当前 AX 授权：", "自动划词：", "浏览器划词：",
        "兼容复制取词：", "鼠标监听句柄：", "本次进程监听启动次数：", "鼠标按下 / 松开次数：",
        "选区读取 / 成功 / 失败 / 取消：", "交互阶段：", "AI 图标可见：", "最近来源：",
        "最近事件报告的目标 PID（仅诊断）：", "最近外部事件来源快照：", "忽略自身界面事件数：", "最近忽略的自身事件：",
        "最近拦截原因：", "最近取字路径：", "最近 AX 实际查询：", "窗口可见状态：", "结果窗显示调用数（含示例）：",
        "AI 图标显示调用数（含示例）：", "结果窗在当前桌面：", "结果窗系统遮挡状态可见：", "界面生命周期（最多 10 条）：",
        "Dock/Finder reopen 次数：", "主窗口已绑定：", "主窗口可见 / 最小化：", "待执行收起任务：", "当前全屏窗口：",
        "本次实际发起模型请求数：", "最近状态：", "最近外部事件轨迹（最多 10 条）："};
    // Each label starts a line of its own, in this order and with no line between them; the two
    // trails follow on lines of their own.
    const QStringList lines = report.split(u'\n');
    qsizetype line = 0;
    bool afterTrail = false;
    for (const QString& label : labels) {
        if (afterTrail)
            while (line < lines.size() && !lines[line].startsWith(label)) ++line;
        ASSERT_LT(line, lines.size()) << "missing: " << label.toStdString();
        EXPECT_TRUE(lines[line].startsWith(label)) << label.toStdString() << " ≠ " << lines[line].toStdString();
        afterTrail = label.endsWith(QStringLiteral("条）："));
        ++line;
    }
    // The version the project declares, and the commit built from (or "unknown" outside git).
    const QRegularExpression first(QStringLiteral("^Orvel %1 \\(build ([0-9a-f]{12,40}|unknown)\\)$")
                                       .arg(QRegularExpression::escape(QStringLiteral(ORVEL_PROJECT_VERSION))));
    EXPECT_TRUE(first.match(lines.first()).hasMatch()) << lines.first().toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("\n交互阶段：result / service\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\n当前全屏窗口：无\n")));

    controller().copyDiagnostics();
    EXPECT_EQ(clipboard->text, report);
    EXPECT_EQ(controller().repairFeedback(), QStringLiteral("诊断信息已复制，不包含原文、回答或 API Key。"));
}

TEST_F(ServiceRepairTest, EverySampleIsANewPrivateFileAndFailuresAreReported) {
    started();
    controller().openSampleDocument();
    controller().openSampleDocument();
    EXPECT_FALSE(controller().isEnabled());
    ASSERT_EQ(repair->calls.size(), 2);
    const QString first = repair->calls[0].mid(5), second = repair->calls[1].mid(5);
    EXPECT_NE(first, second);
    EXPECT_EQ(QFileInfo(first).dir(), QFileInfo(second).dir());
    EXPECT_TRUE(QFileInfo(first).fileName().startsWith(QStringLiteral("Selection-")));
    QFile file(first);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), DirectSelectionController::sampleText);
    EXPECT_EQ(QFileInfo(QFileInfo(first).path()).permissions() & 0x0077, QFileDevice::Permissions());
    EXPECT_TRUE(controller().repairFeedback().startsWith(QStringLiteral("样本文字已交给文本编辑器打开。")));

    repair->openFailure = QStringLiteral("没有文本编辑器");
    controller().openSampleDocument();
    EXPECT_EQ(controller().repairFeedback(), QStringLiteral("没有文本编辑器"));

    controller().stop();  // the private folder goes with the controller
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(first).path()));
}

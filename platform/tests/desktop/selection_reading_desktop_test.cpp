#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "base/task.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/x11_windows.h"
#include "platform/tests/desktop/selection_target_process.h"

using namespace halvern;
using namespace halvern::testing;
using Case = tamsel::DirectSelectionFailure::Case;

namespace {

SelectionReadResult readAccessibility(const SelectionTarget& target, const QString& control) {
    return SelectedTextReader::read(target.pid(), target.geometry(control).center());
}

}  // namespace

TEST(SelectionReadingDesktop, AccessibilityReadsTheLineEditSelection) {
    ASSERT_TRUE(SelectedTextReader::isAuthorized());
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("lineEdit"));
    const SelectionReadResult result = readAccessibility(target, QStringLiteral("lineEdit"));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_TRUE(result.route.startsWith(QStringLiteral("AXSelectedText · focus="))) << result.route.toStdString();
}

TEST(SelectionReadingDesktop, AccessibilityRefusesThePasswordField) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("passwordField"));
    try {
        readAccessibility(target, QStringLiteral("passwordField"));
        FAIL() << "the password field was read";
    } catch (const SelectionReadFailure& failure) {
        EXPECT_EQ(failure.reason(), Case::protectedField) << failure.diagnostics().toStdString();
        EXPECT_EQ(failure.message(), QStringLiteral("这个控件是受保护的输入框，不读取其中的文字。"));
    }
    EXPECT_FALSE(SelectedTextReader::permitsCompatibilityCopy(target.pid()));
}

TEST(SelectionReadingDesktop, CompatibilityCopyTakesThePrimarySelectionOfTheSource) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::primaryRoute);
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
}

TEST(SelectionReadingDesktop, CompatibilityCopyFallsBackToTheGuardedCopyAndRestoresTheClipboard) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    // Another program takes PRIMARY: it no longer tells the source's selection.
    QGuiApplication::clipboard()->setText(QStringLiteral("someone else's"), QClipboard::Selection);
    settle(100);
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, QStringLiteral("Compatibility Copy · clipboard snapshot restore attempted"));
    settle(100);
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("old"));
    EXPECT_TRUE(target.lines().contains(QStringLiteral("key %1 %2").arg(int(Qt::Key_C)).arg(int(Qt::ControlModifier))));
}

TEST(SelectionReadingDesktop, ATerminalWindowGetsNoSyntheticKeys) {
    SelectionTarget target({QStringLiteral("--class"), QStringLiteral("xterm")});
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));
    QGuiApplication::clipboard()->setText(QStringLiteral("someone else's"), QClipboard::Selection);
    settle(100);
    const std::optional<x11::WindowId> active = x11::activeWindow();
    ASSERT_TRUE(active);
    EXPECT_EQ(x11::windowClass(*active), QStringLiteral("xterm"));
    EXPECT_TRUE(x11::isTerminalWindow(*active));
    EXPECT_EQ(x11::applicationIdentifier(*active), QStringLiteral("xterm"));
    try {
        base::waitForTask(SelectionClipboardReader::read(target.pid()));
        FAIL() << "a copy was made in a terminal";
    } catch (const CompatibilityReadFailure& failure) {
        EXPECT_EQ(failure.failureCase(), CompatibilityReadFailure::Case::noCopy);
    }
    settle(200);
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
}

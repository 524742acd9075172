#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "base/task.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/x11_windows.h"
#include "tests/support/gui/selection_target_process.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

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
        // The person is told the terminal's own copy key, not Ctrl+C.
        EXPECT_EQ(failure.failureCase(), CompatibilityReadFailure::Case::noCopyFromTerminal);
        EXPECT_TRUE(failure.message().contains(QStringLiteral("Ctrl+Shift+C")));
    }
    settle(200);
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
    EXPECT_EQ(target.clipboard(), QStringLiteral("old"));
}

// Under a reparenting window manager a program's top-level windows sit inside frames made by the
// manager, and only the manager's client list names them. The selection owner window of a Qt or
// GTK program carries no process id, so it is matched through those managed windows.
TEST(SelectionReadingDesktop, ThePrimarySelectionIsRecognisedInsideAWindowManagerFrame) {
    auto* x11App = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(x11App);
    Display* dpy = x11App->display();
    const Window root = DefaultRootWindow(dpy);

    SelectionTarget target;
    ASSERT_TRUE(target.started());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    settle(100);
    target.dragAcross(QStringLiteral("lineEdit"));

    // The target's visible top-level window.
    Window topLevel = 0;
    {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        ASSERT_TRUE(XQueryTree(dpy, root, &rootReturn, &parent, &children, &count));
        for (unsigned int i = 0; i < count && !topLevel; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(dpy, children[i], &attributes) && attributes.map_state == IsViewable &&
                x11::windowProcess(children[i]) == target.pid())
                topLevel = children[i];
        }
        if (children) XFree(children);
    }
    ASSERT_NE(topLevel, Window(0));
    const x11::WindowId owner = x11::primaryOwner();
    ASSERT_NE(owner, x11::WindowId(0));
    ASSERT_FALSE(x11::windowProcess(owner)) << "the owner window carries a process id of its own";

    // Frame it as a window manager would, and list it as a managed client.
    const Window frame = XCreateSimpleWindow(dpy, root, 0, 0, 800, 600, 0, 0, 0);
    XMapWindow(dpy, frame);
    XReparentWindow(dpy, topLevel, frame, 0, 0);
    const Atom clientList = XInternAtom(dpy, "_NET_CLIENT_LIST", False);
    XChangeProperty(dpy, root, clientList, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&topLevel), 1);
    XSync(dpy, False);
    settle(100);

    EXPECT_TRUE(x11::windowBelongsToProcess(owner, target.pid()));
    EXPECT_FALSE(x11::windowBelongsToProcess(owner, target.pid() + 1));
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::primaryRoute);

    XDeleteProperty(dpy, root, clientList);
    XReparentWindow(dpy, topLevel, root, 0, 0);
    XDestroyWindow(dpy, frame);
    XSync(dpy, False);
}

// With nobody owning the clipboard before the read, the restore leaves it empty: the copied
// selection, which another program owns, does not stay behind.
TEST(SelectionReadingDesktop, AnEmptyClipboardIsLeftEmptyAfterTheGuardedCopy) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    ASSERT_EQ(x11::clipboardOwner(), x11::WindowId(0));
    target.dragAcross(QStringLiteral("lineEdit"));
    QGuiApplication::clipboard()->setText(QStringLiteral("someone else's"), QClipboard::Selection);
    settle(100);
    const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(target.pid()));
    EXPECT_EQ(result.text, QStringLiteral("hello world"));
    EXPECT_EQ(result.route, SelectionClipboardReader::copyRoute);
    settle(100);
    EXPECT_EQ(x11::clipboardOwner(), x11::WindowId(0));
    EXPECT_EQ(target.clipboard(), QString());
}

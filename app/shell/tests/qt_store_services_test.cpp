// The production clipboard, window system and file dialogs over Qt, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "app/shell/app_store_services.h"
#include "app/shell/file_chooser.h"
#include "app/shell/qt_window_system.h"

using namespace velquin;

// Stands for the widget Qt makes for a tray icon on an XEmbed system tray: a visible frameless
// top-level window of this class, docked inside the desktop's panel.
class QSystemTrayIconSys : public QWidget {
    Q_OBJECT
public:
    QSystemTrayIconSys() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint) {}
};

TEST(SystemClipboardTest, ReadsFilesTextAndImagesAndReplacesEverythingWithText) {
    SystemClipboard clipboard;
    auto* data = new QMimeData;
    data->setUrls(
        {QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf")), QUrl(QStringLiteral("https://example.org/b.pdf"))});
    data->setText(QStringLiteral("text"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    data->setImageData(image);
    QGuiApplication::clipboard()->setMimeData(data);

    EXPECT_EQ(clipboard.fileURLs(), QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf"))});
    const auto png = clipboard.imageData();
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));

    clipboard.replaceWithString(QStringLiteral("答案 only"));
    const QMimeData* after = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->formats(), QStringList{QStringLiteral("text/plain")});
    EXPECT_EQ(clipboard.string(), QStringLiteral("答案 only"));
    EXPECT_TRUE(clipboard.fileURLs().isEmpty());
    EXPECT_FALSE(clipboard.imageData());
}

TEST(QtWindowSystemTest, DescribesTopLevelWidgetsAndHidesAndShowsThemAgain) {
    QtWindowSystem system;
    QWidget panel(nullptr, Qt::Tool);
    QWidget main;
    main.setObjectName(workspaceWindowIdentifier);
    main.setMinimumSize(820, 650);
    QDialog sheet(&main);
    sheet.setWindowModality(Qt::WindowModal);
    panel.show();
    main.show();
    sheet.show();

    const auto windows = system.windows();
    const auto find = [&](const QWidget* widget) {
        for (const auto& window : windows)
            if (window.id == QtWindowSystem::idOf(widget)) return window;
        return WindowSystem::Window{};
    };
    EXPECT_TRUE(find(&panel).isPanel);
    EXPECT_FALSE(find(&panel).canBecomeMain);
    EXPECT_TRUE(find(&sheet).isSheet);
    EXPECT_EQ(find(&main).identifier, workspaceWindowIdentifier);
    EXPECT_EQ(find(&main).minimumContentSize, QSizeF(820, 650));
    EXPECT_EQ(window_rules::mainWorkspaceWindow(windows)->id, QtWindowSystem::idOf(&main));
    EXPECT_TRUE(system.visibleScreenFrame(QtWindowSystem::idOf(&main)));

    system.hideApplication();
    EXPECT_TRUE(system.isApplicationHidden());
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(panel.isVisible());
    system.showApplication();
    EXPECT_FALSE(system.isApplicationHidden());
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(panel.isVisible());

    system.setContentSize(QtWindowSystem::idOf(&main), QSizeF(900, 700));
    EXPECT_EQ(main.size(), QSize(900, 700));
    // Grown near the bottom of a laptop's screen, it moves up to stay inside it.
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() != QLatin1String("laptop-1024x768")) continue;
        main.move(screen->availableGeometry().topLeft() + QPoint(40, 300));
        system.setContentSize(QtWindowSystem::idOf(&main), QSizeF(840, 700));
        EXPECT_EQ(main.size(), QSize(840, 700));
        EXPECT_TRUE(screen->availableGeometry().contains(main.frameGeometry()));
    }
}

// The tray icon is part of the desktop's panel, not a window of the application: hiding the
// application leaves it where it is, and it is never taken for the main window.
TEST(QtWindowSystemTest, LeavesTheTrayIconOutOfTheApplicationsWindows) {
    QtWindowSystem system;
    QSystemTrayIconSys trayIcon;
    trayIcon.resize(22, 22);
    trayIcon.show();
    QWidget untagged;
    untagged.show();

    const auto windows = system.windows();
    for (const auto& window : windows) EXPECT_NE(window.id, QtWindowSystem::idOf(&trayIcon));
    ASSERT_TRUE(window_rules::mainWorkspaceWindow(windows));
    EXPECT_EQ(window_rules::mainWorkspaceWindow(windows)->id, QtWindowSystem::idOf(&untagged));

    system.hideApplication();
    EXPECT_FALSE(untagged.isVisible());
    EXPECT_TRUE(trayIcon.isVisible());
    system.showApplication();
    EXPECT_TRUE(untagged.isVisible());
    EXPECT_TRUE(trayIcon.isVisible());
}

// The dialogs are window-modal over the main window and leave the event loop running: the call
// returns before the user answers, and the answer arrives once the dialog ends.
TEST(QtFileChooserTest, DialogsAreWindowModalAndAnswerWhenTheyEnd) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QWidget main;
    main.setObjectName(workspaceWindowIdentifier);
    main.show();
    QtFileChooser chooser;
    const auto openDialog = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
        return static_cast<QFileDialog*>(nullptr);
    };

    struct Case {
        const char* name;
        bool save;
        QString typed;     // empty: the dialog is cancelled
        QString expected;  // empty: nothing chosen
    };
    const QString existing = dir.filePath(QStringLiteral("material.md"));
    QFile(existing).open(QIODevice::WriteOnly);
    const Case cases[] = {
        {"save, suffix added", true, dir.filePath(QStringLiteral("notes")), dir.filePath(QStringLiteral("notes.txt"))},
        {"save, cancelled", true, QString(), QString()},
        {"open an existing file", false, existing, existing},
        {"open, cancelled", false, QString(), QString()},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::optional<QUrl> chosen;
        bool finished = false;
        FileChooser::Request request;
        request.title = QStringLiteral("Title");
        request.message = QStringLiteral("A line about the files");
        request.patterns = {QStringLiteral("*.txt"), QStringLiteral("*.md")};
        request.fileName = QStringLiteral("Orvel-Result.txt");
        request.defaultSuffix = QStringLiteral("txt");
        // No window given: the dialog goes on the main window.
        if (row.save)
            chooser.chooseSaveLocation(nullptr, request, [&](const QUrl& file) { chosen = file; });
        else
            chooser.chooseFileToOpen(nullptr, request, [&](const QUrl& file) { chosen = file; });
        QFileDialog* dialog = openDialog();
        ASSERT_TRUE(dialog);
        QObject::connect(dialog, &QDialog::finished, [&] { finished = true; });
        EXPECT_EQ(dialog->parentWidget(), &main);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(dialog->acceptMode(), row.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (row.typed.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(row.typed);
            QMetaObject::invokeMethod(dialog, "accept");
        }
        EXPECT_TRUE(finished);
        EXPECT_EQ(chosen.value_or(QUrl()).toLocalFile(), row.expected);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !openDialog(); }));
    }
}

#include "qt_store_services_test.moc"

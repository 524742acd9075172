// The production clipboard and window system over Qt, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QMimeData>
#include <QWidget>

#include "app/shell/app_store_services.h"
#include "app/shell/qt_window_system.h"

using namespace velquin;

TEST(SystemClipboardTest, ReadsFilesTextAndImagesAndReplacesEverythingWithText) {
    SystemClipboard clipboard;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.pdf")), QUrl(QStringLiteral("https://example.org/b.pdf"))});
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
    system.unhideApplication();
    EXPECT_FALSE(system.isApplicationHidden());
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(panel.isVisible());

    system.setContentSize(QtWindowSystem::idOf(&main), QSizeF(900, 700));
    EXPECT_EQ(main.size(), QSize(900, 700));
}

#include <gtest/gtest.h>

#include "core/selection_source.h"

using namespace tamsel;
using Block = SelectionSourceBlock;

TEST(SelectionEventSource, ResolvesFrontmostThenFocused) {
    struct Row {
        std::optional<qint32> focused;
        std::optional<qint32> frontmost;
        std::optional<qint32> pid;
        const char16_t* method;
    };
    const Row rows[] = {
        {512, 0, 512, u"AX 焦点应用"},
        {512, 300, 300, u"回调时前台应用"},
        {512, std::nullopt, 512, u"AX 焦点应用"},
        {std::nullopt, 7, 7, u"回调时前台应用"},
        {std::nullopt, std::nullopt, std::nullopt, nullptr},
        {0, 0, std::nullopt, nullptr},
        {-3, -1, std::nullopt, nullptr},
    };
    for (const Row& row : rows) {
        // The hit element and the reported target never take part.
        const SelectionEventSource source{99, row.focused, row.frontmost, 1234};
        const auto resolution = source.resolve(300);
        if (!row.pid) {
            EXPECT_EQ(resolution, std::nullopt);
            continue;
        }
        ASSERT_TRUE(resolution);
        EXPECT_EQ(resolution->processIdentifier, *row.pid);
        EXPECT_EQ(resolution->method, QString::fromUtf16(row.method));
    }
}

TEST(SelectionSourceBlock, MessagesAndRawValues) {
    const std::pair<Block, const char16_t*> rows[] = {
        {Block::ownApplication, u"来源是 Orvel 自身，不读取自己的窗口。"},
        {Block::terminated, u"来源应用已经退出。"},
        {Block::systemApplication, u"来源是系统界面，不读取其中的选区。"},
        {Block::nonTextApplication, u"文件管理器的文件和桌面选择不触发自动划词。"},
        {Block::protectedApplication, u"来源应用不支持 Orvel 自动划词。"},
        {Block::browsersDisabled, u"浏览器划词已关闭。请在划词设置中开启“在浏览器中启用划词”。"},
    };
    ASSERT_EQ(base::allCases<SelectionSourceBlock>().size(), 6);
    for (const auto& [block, text] : rows) {
        EXPECT_EQ(message(block), QString::fromUtf16(text));
        EXPECT_EQ(base::fromRawValue<SelectionSourceBlock>(base::rawValue(block)), block);
    }
    EXPECT_EQ(base::rawValue(Block::browsersDisabled), QStringLiteral("browsersDisabled"));
}

TEST(SelectionSourcePolicy, BlockReasonsInOrder) {
    struct Row { QString id; QString name; bool own; bool terminated; bool browsers; std::optional<Block> expected; };
    const Row rows[] = {
        {QStringLiteral("com.apple.dock"), QStringLiteral("Dock"), true, true, true, Block::ownApplication},
        {QStringLiteral("com.example.editor"), QStringLiteral("Editor"), false, true, true, Block::terminated},
        {QStringLiteral("COM.APPLE.DOCK"), QStringLiteral("Dock"), false, false, true, Block::systemApplication},
        {QStringLiteral("com.apple.dock.extra"), QStringLiteral("Dock"), false, false, true, std::nullopt},
        {QStringLiteral("com.apple.SecurityAgent"), QString(), false, false, true, Block::systemApplication},
        {QStringLiteral("com.apple.Finder"), QStringLiteral("Finder"), false, false, true, Block::nonTextApplication},
        {QStringLiteral("com.example.exam"), QStringLiteral("Exam LockDown Browser"), false, false, true,
         Block::protectedApplication},
        {QStringLiteral("com.Respondus.app"), QStringLiteral("Exam"), false, false, true, Block::protectedApplication},
        // The words are looked for across the joining space too.
        {QStringLiteral("down.example"), QStringLiteral("Lock"), false, false, true, std::nullopt},
        {QStringLiteral("com.apple.Safari"), QStringLiteral("Safari"), false, false, true, std::nullopt},
        {QStringLiteral("com.apple.Safari"), QStringLiteral("Safari"), false, false, false, Block::browsersDisabled},
        {QStringLiteral("com.operasoftware.OperaGX"), QStringLiteral("Opera"), false, false, false,
         Block::browsersDisabled},
        {QStringLiteral("org.example.browser"), QStringLiteral("Browser"), false, false, false, std::nullopt},
        {QStringLiteral("firefox.desktop"), QStringLiteral("Firefox"), false, false, false, std::nullopt},
        // Linux desktop identities.
        {QStringLiteral("Firefox-ESR"), QStringLiteral("Firefox"), false, false, false, Block::browsersDisabled},
        {QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Files"), false, false, true, Block::nonTextApplication},
        {QStringLiteral("gnome-shell"), QString(), false, false, true, Block::systemApplication},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SelectionSourcePolicy::blockReason(row.id, row.name, row.own, row.terminated, row.browsers),
                  row.expected)
            << row.id.toStdString() << " / " << row.name.toStdString();

    EXPECT_TRUE(SelectionSourcePolicy::isBrowser(QStringLiteral("ORG.MOZILLA.FIREFOX")));
    EXPECT_FALSE(SelectionSourcePolicy::isBrowser(QStringLiteral("org.mozilla.firefox ")));
}

TEST(SelectionSourcePolicy, BrowserPreferenceDefaultsOnAndDropsTheOlderKey) {
    base::DefaultsStore fresh{QString()};
    EXPECT_TRUE(SelectionSourcePolicy::loadBrowserPreference(fresh));
    EXPECT_EQ(fresh.boolValue(QStringLiteral("nativeSelectionIncludeBrowsers")), true);

    base::DefaultsStore off{QString()};
    off.setBool(QStringLiteral("nativeSelectionIncludeBrowsers"), false);
    EXPECT_FALSE(SelectionSourcePolicy::loadBrowserPreference(off));
    EXPECT_EQ(off.boolValue(QStringLiteral("nativeSelectionIncludeBrowsers")), false);

    base::DefaultsStore legacy{QString()};
    legacy.setBool(QStringLiteral("nativeSelectionSkipBrowsers"), true);
    EXPECT_TRUE(SelectionSourcePolicy::loadBrowserPreference(legacy));
    EXPECT_FALSE(legacy.contains(QStringLiteral("nativeSelectionSkipBrowsers")));
}

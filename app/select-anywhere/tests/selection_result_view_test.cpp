// The compact selection view over a store of test doubles: its title per mode and language, the
// one place of stop and regenerate, and what it shows before, during and after a request.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>

#include "app/select-anywhere/selection_result_view.h"
#include "app/shell/interface_settings.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/wrapped_text.h"

using velquin::InterfaceAppearance;
using velquin::InterfaceLanguage;
using velquin::InterfaceSettings;
using velquin::SelectionResultView;
using tamsel::StudyMode;

namespace {

class SelectionResultViewTest : public storetest::StoreFixture {
protected:
    void TearDown() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        InterfaceSettings::shared().setAppearance(InterfaceAppearance::system);
    }
};

}  // namespace

TEST_F(SelectionResultViewTest, TitleFollowsModeAndLanguage) {
    SelectionResultView view(store());
    const std::tuple<InterfaceLanguage, StudyMode, const char*> rows[] = {
        {InterfaceLanguage::chinese, StudyMode::translate, "划词翻译"},
        {InterfaceLanguage::chinese, StudyMode::practice, "划词回答"},
        {InterfaceLanguage::english, StudyMode::explain, "Selection · Explain"},
        {InterfaceLanguage::english, StudyMode::practice, "Selection · Answer"},
        {InterfaceLanguage::french, StudyMode::translate, "Sélection · Traduire"},
    };
    for (const auto& [language, mode, title] : rows) {
        InterfaceSettings::shared().setLanguage(language);
        store().setMode(mode);
        EXPECT_EQ(view.titleLabel()->text(), QString::fromUtf8(title));
    }
}

TEST_F(SelectionResultViewTest, StopAndRegenerateShareOnePlaceThroughARequest) {
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    SelectionResultView view(store());
    view.show();
    // Idle, nothing asked yet: the store's status, regenerate disabled without a source, no copy.
    EXPECT_TRUE(view.stopButton()->isHidden());
    EXPECT_FALSE(view.regenerateButton()->isHidden());
    EXPECT_FALSE(view.regenerateButton()->isEnabled());
    EXPECT_FALSE(view.copyButton()->isEnabled());
    EXPECT_EQ(view.detailLabel()->text(), QStringLiteral("由你主动触发 · 所选文字发送至 第三方 AI 服务"));

    store().setSource(QStringLiteral("one\ntwo\nthree\nfour\nfive"));
    EXPECT_EQ(view.snippetLabel()->text(), store().source());  // verbatim; the label shows three lines
    EXPECT_LE(view.snippetLabel()->shownLines().size(), 3);
    stub.enqueue(answerPath, testsupport::ScriptedReply::held());
    stub.enqueue(answerPath, testsupport::ScriptedReply::answer(QStringLiteral("one, two, three")));
    store().submit();
    scheduler->runNextJob();  // the token read
    ASSERT_TRUE(store().isBusy());
    EXPECT_FALSE(view.stopButton()->isHidden());
    EXPECT_TRUE(view.regenerateButton()->isHidden());
    EXPECT_FALSE(view.busyIndicator()->isHidden());
    EXPECT_EQ(view.placeholderLabel()->text(), QStringLiteral("正在回答…"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return stub.requests().size() == 1; }));
    view.stopButton()->click();
    EXPECT_FALSE(store().isBusy());
    EXPECT_TRUE(view.stopButton()->isHidden());
    EXPECT_TRUE(view.regenerateButton()->isEnabled());
    EXPECT_TRUE(view.busyIndicator()->isHidden());
    EXPECT_EQ(view.placeholderLabel()->text(), QStringLiteral("已停止"));

    view.regenerateButton()->click();
    EXPECT_EQ(view.placeholderLabel()->text(), QStringLiteral("正在回答…"));
    scheduler->runNextJob();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !store().isBusy(); }));
    ASSERT_TRUE(store().answer().has_value());
    EXPECT_EQ(view.answerText()->toPlainText(), store().answer()->text);
    // Screen readers read an answer as written, a switch in it included.
    const QString written = QStringLiteral("Run --local-service.");
    store().setAnswer(tamsel::ModelAnswer{written, {}, {}, {}});
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.answerText())->text(QAccessible::Value), written);
    EXPECT_TRUE(view.copyButton()->isEnabled());
    view.copyButton()->click();
    EXPECT_EQ(clipboard->text, store().answer()->text);

    // The full window leaves the compact presentation; the gear opens the settings over it.
    view.settingsButton()->click();
    EXPECT_TRUE(store().showSettings());
    store().setSelectionPresentation(true);
    view.fullWindowButton()->click();
    EXPECT_FALSE(store().selectionPresentation());
}

// A selection, a message and a detail without spaces wrap inside the word at the window's first and
// smallest size: the view never asks for more width, and each shows whole or in its lines.
TEST_F(SelectionResultViewTest, UnbrokenTextsNeverWidenTheView) {
    store().setSource(QStringLiteral("https://example.org/") + QString(200, u's'));
    store().setErrorMessage(QStringLiteral("学习历史保存失败：/") + QString(160, u'd') +
                            QStringLiteral("/learning-history.json"));
    store().setResultDetail(QString(120, u'f') + QStringLiteral(".pdf"));
    SelectionResultView view(store());
    view.show();
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const QSize size : {QSize(480, 520), QSize(420, 420)}) {
        for (const auto& [language, code] : languages) {
            SCOPED_TRACE(std::string(code) + " " + std::to_string(size.width()));
            InterfaceSettings::shared().setLanguage(language);
            view.resize(size);
            QApplication::processEvents();
            EXPECT_LE(view.minimumSizeHint().width(), 420);
            const struct {
                velquin::WrappedText* text;
                int lines;  // at most; 0: every line shows
            } rows[] = {{view.snippetLabel(), 3}, {view.errorLabel(), 0}, {view.detailLabel(), 2}};
            for (const auto& row : rows) {
                const QRect placed(row.text->mapTo(&view, QPoint(0, 0)), row.text->size());
                EXPECT_TRUE(view.rect().contains(placed)) << row.text->text().toStdString();
                const QStringList lines = row.text->shownLines();
                if (row.lines)
                    EXPECT_EQ(lines.size(), row.lines);
                else
                    EXPECT_EQ(lines.join(QString()), row.text->text());
            }
            for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
                InterfaceSettings::shared().setAppearance(appearance);
                QApplication::processEvents();
                EXPECT_TRUE(view.grab().save(
                    QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR "/compact-view-long-%1-%2-%3x%4.png")
                        .arg(QLatin1String(code), appearance == InterfaceAppearance::dark ? "dark" : "light")
                        .arg(size.width())
                        .arg(size.height())));
            }
            InterfaceSettings::shared().setAppearance(InterfaceAppearance::light);
        }
    }
}

TEST_F(SelectionResultViewTest, ScreenshotsInThreeLanguagesLightAndDark) {
    QDir().mkpath(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    store().setMode(StudyMode::explain);
    store().setSource(QStringLiteral("Opportunity cost is the value of the next best alternative given up when a "
                                     "choice is made. It is a central idea of economics."));
    store().setAnswer(tamsel::ModelAnswer{QStringLiteral("机会成本是做出选择时放弃的次优选择的价值。\n\n"
                                                         "例如：把一小时用来学习，就放弃了这一小时的其他用途。"),
                                          QStringLiteral("答案因输出上限而中断。可提高设置中的输出上限，再手动重试。"),
                                          std::nullopt, std::nullopt});
    store().setErrorMessage(QStringLiteral("网络连接失败，请检查网络后重试。"));
    SelectionResultView view(store());
    view.resize(480, 520);
    view.show();
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const auto& [language, code] : languages) {
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setLanguage(language);
            InterfaceSettings::shared().setAppearance(appearance);
            QApplication::processEvents();
            EXPECT_TRUE(view.grab().save(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR "/compact-view-%1-%2.png")
                                             .arg(QLatin1String(code),
                                                  appearance == InterfaceAppearance::dark ? "dark" : "light")));
        }
    }
}

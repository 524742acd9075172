// The answer panel's content as a person sees it (offscreen): what shows in each state of the
// model, answers as plain text, the three languages, Escape; and screenshots of the panel in every
// language and appearance, written to the build tree for a person to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>

#include <algorithm>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/direct_float_view.h"
#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/floating_bulb_view.h"
#include "app/shell/interface_settings.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_service_provider.h"

namespace {

using namespace velquin;
using testsupport::ScriptedReply;

// A control by what it says (its text, else its accessible name); null when none shows.
QAbstractButton* buttonTitled(const QWidget* view, const QString& title) {
    for (QAbstractButton* button : view->findChildren<QAbstractButton*>())
        if (button->isVisibleTo(view) && (button->text() == title || button->accessibleName() == title)) return button;
    return nullptr;
}

bool showsLabel(const QWidget* view, const QString& text) {
    for (const QLabel* label : view->findChildren<QLabel*>())
        if (label->isVisibleTo(view) && label->text() == text) return true;
    for (const WrappedText* label : view->findChildren<WrappedText*>())
        if (label->isVisibleTo(view) && label->text() == text) return true;
    return false;
}

class DirectFloatViewTest : public storetest::StoreFixture {
protected:
    DirectFloatViewTest() {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
        tamsel::ResponsesClient::Options options;
        options.endpoint = tamsel::ResponsesClient::endpoint(stub.baseUrl());
        options.defaults = &defaults;
        model = std::make_unique<DirectFloatModel>(
            DirectFloatServices{&defaults, history.get(), scheduler, clock, clipboard, token,
                                std::make_shared<tamsel::ResponsesClient>(nullptr, options)});
        view = std::make_unique<DirectFloatView>(
            *model, [this] { ++closes; }, [] {}, [] {});
        view->resize(360, 390);
        view->show();
    }
    ~DirectFloatViewTest() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }

    // The model answers `text` through the stub.
    void answer(const QString& text) {
        scheduler->automatic = true;
        stub.enqueue(answerPath, ScriptedReply::answer(text));
        model->present(QStringLiteral("opportunity cost"), QStringLiteral("TextEdit"));
        ASSERT_TRUE(waitUntil([this] { return !model->isBusy(); }));
    }
    QString body() const {
        const auto* stack = view->findChild<QStackedWidget*>();
        const auto* text = qobject_cast<QTextEdit*>(stack->currentWidget());
        return text ? text->toPlainText() : QStringLiteral("<placeholder>");
    }
    QString phase() const { return view->findChild<FloatingBulbView*>()->property("phase").toString(); }

    std::unique_ptr<DirectFloatModel> model;
    std::unique_ptr<DirectFloatView> view;
    int closes = 0;
};

TEST_F(DirectFloatViewTest, EachStateShowsItsBulbOutputAndButtons) {
    struct Row {
        const char* state;
        std::function<void()> arrange;
        QString phase;
        QString body;         // the text shown, or "<placeholder>"
        QString placeholder;  // its line, when shown
        QString statusButton;  // "停止", "重试" or none
        bool copy;
    };
    const QList<Row> rows{
        {"nothing yet", [] {}, QStringLiteral("idle"), QStringLiteral("<placeholder>"),
         QStringLiteral("清晰解释你选中的内容"), QStringLiteral("重试"), false},
        {"busy",
         [this] {
             scheduler->automatic = false;  // the token read waits: the request stays busy
             model->present(QStringLiteral("opportunity cost"), QStringLiteral("TextEdit"));
         },
         QStringLiteral("querying"), QStringLiteral("<placeholder>"), QStringLiteral("Orvel AI 正在思考…"),
         QStringLiteral("停止"), false},
        {"answer", [this] { answer(QStringLiteral("the next best alternative")); }, QStringLiteral("done"),
         QStringLiteral("the next best alternative"), {}, QStringLiteral("重试"), true},
        {"error", [this] { model->showError(QStringLiteral("读取失败"), QStringLiteral("选区读取提示")); },
         QStringLiteral("idle"), QStringLiteral("<placeholder>"), QStringLiteral("清晰解释你选中的内容"),
         QStringLiteral("重试"), false},
        {"local preview", [this] { model->preview(QStringLiteral("local text"), QStringLiteral("Test")); },
         QStringLiteral("idle"), QStringLiteral("local text"), {}, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        row.arrange();
        EXPECT_EQ(phase(), row.phase);
        EXPECT_EQ(body(), row.body);
        if (!row.placeholder.isEmpty()) {
            EXPECT_TRUE(showsLabel(view.get(), row.placeholder));
        }
        for (const QString& title : {QStringLiteral("停止"), QStringLiteral("重试")})
            EXPECT_EQ(buttonTitled(view.get(), title) != nullptr, title == row.statusButton) << title.toStdString();
        ASSERT_TRUE(buttonTitled(view.get(), QStringLiteral("复制")));
        EXPECT_EQ(buttonTitled(view.get(), QStringLiteral("复制"))->isEnabled(), row.copy);
    }
    // A failed read: its message, and without text no source row.
    model->showError(QStringLiteral("读取失败"), QStringLiteral("选区读取提示"));
    EXPECT_TRUE(showsLabel(view.get(), QStringLiteral("读取失败")));
    EXPECT_FALSE(showsLabel(view.get(), QStringLiteral("选区读取提示")));
}

TEST_F(DirectFloatViewTest, AnswersAndSelectionsAreShownAsPlainText) {
    // As written, to the eye and to a screen reader; the view keeps the switch whole with joiners.
    const QString written = QStringLiteral("--local-service <b>x</b> &amp; <i>y</i>");
    answer(written);
    EXPECT_EQ(body().remove(QChar(0x2060)), written);
    const auto* stack = view->findChild<QStackedWidget*>();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(stack->currentWidget())->text(QAccessible::Value), written);

    model->preview(QStringLiteral("   \n "), QStringLiteral(""));
    EXPECT_TRUE(showsLabel(view.get(), QStringLiteral("查看原文")));
    model->showError(QStringLiteral("x"), QString());
    model->present(QStringLiteral("  \n\t"), QStringLiteral("<b>App</b>"));
    // Blank text: retry stays (the text is not empty), continue does not.
    EXPECT_TRUE(buttonTitled(view.get(), QStringLiteral("重试"))->isEnabled());
    EXPECT_FALSE(view->findChild<QAbstractButton*>(QStringLiteral("orvel.reader.continue-in-workspace"))->isEnabled());
    EXPECT_TRUE(showsLabel(view.get(), QStringLiteral("<b>App</b>")));

    // Expanding shows the whole selection, in at most five lines; a new presentation collapses it.
    QString lines;
    for (int i = 1; i <= 12; ++i) lines += QStringLiteral("line %1\n").arg(i);
    model->preview(lines, QStringLiteral("Notes"));
    buttonTitled(view.get(), QStringLiteral("展开原文"))->click();
    const WrappedText* full = nullptr;
    for (const WrappedText* label : view->findChildren<WrappedText*>())
        if (label->text() == lines) full = label;
    ASSERT_TRUE(full && full->isVisibleTo(view.get()));
    EXPECT_EQ(full->shownLines().size(), 5);
    ASSERT_TRUE(buttonTitled(view.get(), QStringLiteral("收起原文")));
    view->collapseSelection();
    EXPECT_TRUE(buttonTitled(view.get(), QStringLiteral("展开原文")));
}

// An answer too long to lay out shows its beginning, wrapped within the panel, with a note in the
// interface language; copy takes the whole answer; a short answer drops the note again.
TEST_F(DirectFloatViewTest, ALongAnswerShowsItsBeginningWithANote) {
    QString unbroken(200 * 1000, u'a');
    for (qsizetype i = 0; i < unbroken.size(); ++i) unbroken[i] = QChar(char16_t(u'a' + i % 26));
    answer(unbroken);
    const auto* text = qobject_cast<QTextEdit*>(view->findChild<QStackedWidget*>()->currentWidget());
    ASSERT_TRUE(text);
    EXPECT_TRUE(body().endsWith(QStringLiteral("…")));
    EXPECT_LE(text->document()->idealWidth(), text->viewport()->width());
    const QDir folder(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    ASSERT_TRUE(QDir().mkpath(folder.path()));
    const std::pair<InterfaceLanguage, const char*> rows[] = {
        {InterfaceLanguage::chinese, "回答太长，这里只显示开头部分；“复制”可取得完整回答。"},
        {InterfaceLanguage::english, "Only the beginning is shown; Copy takes it all."},
        {InterfaceLanguage::french, "Seul le début s'affiche ; « Copier » copie tout."}};
    for (const auto& [language, note] : rows) {
        InterfaceSettings::shared().setLanguage(language);
        // French is shown typeset (no-break spaces, one apostrophe).
        const QString shown = language == InterfaceLanguage::french
                                  ? UIStrings::frenchTypography(QString::fromUtf8(note))
                                  : QString::fromUtf8(note);
        EXPECT_TRUE(showsLabel(view.get(), shown)) << note;
        for (int turn = 0; turn < 4; ++turn) QCoreApplication::processEvents();
        EXPECT_TRUE(
            view->grab().save(folder.filePath(QStringLiteral("long-answer-%1.png").arg(base::rawValue(language)))));
    }
    buttonTitled(view.get(), QStringLiteral("Copier"))->click();
    EXPECT_EQ(clipboard->text, unbroken);

    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("short")));
    model->request(true);
    ASSERT_TRUE(waitUntil([this] { return !model->isBusy(); }));
    EXPECT_EQ(body(), QStringLiteral("short"));
    EXPECT_FALSE(showsLabel(view.get(), QString::fromUtf8(rows[2].second)));
}

TEST_F(DirectFloatViewTest, ALanguageSwitchRetitlesTheViewButNotTheProductName) {
    answer(QStringLiteral("answer"));
    struct Row {
        InterfaceLanguage language;
        QStringList shown;
    };
    const QList<Row> rows{
        {InterfaceLanguage::english,
         {QStringLiteral("Your selection companion"), QStringLiteral("Translate"), QStringLiteral("Explain"),
          QStringLiteral("Answer"), QStringLiteral("Explanation"), QStringLiteral("Retry"), QStringLiteral("Copy"),
          QStringLiteral("Continue in Lessonary"), QStringLiteral("Selection Settings"), QStringLiteral("Close window"),
          QStringLiteral("Show selection")}},
        {InterfaceLanguage::french,
         {QStringLiteral("Votre assistant de sélection"), QStringLiteral("Traduire"), QStringLiteral("Répondre"),
          QStringLiteral("Explication"), QStringLiteral("Réessayer"), QStringLiteral("Copier"),
          QStringLiteral("Continuer dans Lessonary"), QStringLiteral("Réglages de sélection"),
          QStringLiteral("Afficher la sélection")}},
    };
    for (const Row& row : rows) {
        InterfaceSettings::shared().setLanguage(row.language);
        for (const QString& text : row.shown)
            EXPECT_TRUE(showsLabel(view.get(), text) || buttonTitled(view.get(), text)) << text.toStdString();
        EXPECT_TRUE(showsLabel(view.get(), QStringLiteral("Orvel")));
    }
}

// A screen reader's toggle chooses a study mode as a click does, and asks again in that mode;
// toggling the chosen mode again leaves it shown as chosen.
TEST_F(DirectFloatViewTest, AScreenReadersToggleChoosesAMode) {
    answer(QStringLiteral("answer"));
    QAbstractButton* practice = buttonTitled(view.get(), QStringLiteral("回答"));
    ASSERT_TRUE(practice);
    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("again")));
    for (int turn = 0; turn < 2; ++turn) {
        QAccessible::queryAccessibleInterface(practice)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
        EXPECT_EQ(model->mode(), tamsel::StudyMode::practice);
        EXPECT_TRUE(practice->isChecked());
        EXPECT_TRUE(waitUntil([this] { return !model->isBusy() && body() == QStringLiteral("again"); }));
    }
}

TEST_F(DirectFloatViewTest, EscapeInThePanelClosesOnce) {
    DirectResultPanel panel;
    int dismissals = 0;
    panel.setDismissResult([&] { ++dismissals; });
    panel.setContent(view.release());
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    // Through the window, as the desktop delivers it: the content's close takes it.
    QTest::keyClick(panel.windowHandle(), Qt::Key_Escape);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(dismissals, 0);

    // Without the content's close, the panel's own Escape asks its owner.
    panel.setContent(new QWidget);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::keyClick(panel.windowHandle(), Qt::Key_Escape);
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(panel.isVisible()) << "the panel is hidden by its owner, never closed";
}

// A program's name is shown as it is; the text service's name (this program's own) in the
// interface language.
TEST_F(DirectFloatViewTest, SourceRowNamesTheTextServiceInTheInterfaceLanguage) {
    scheduler->automatic = false;
    const std::pair<InterfaceLanguage, const char*> rows[] = {
        {InterfaceLanguage::english, "System text service"},
        {InterfaceLanguage::french, "Service de texte du système"},
        {InterfaceLanguage::chinese, "系统文本服务"}};
    for (const auto& [language, name] : rows) {
        InterfaceSettings::shared().setLanguage(language);
        model->present(QStringLiteral("Opportunity cost"), QStringLiteral("系统文本服务"));
        EXPECT_TRUE(showsLabel(view.get(), QString::fromUtf8(name))) << name;
        model->present(QStringLiteral("Opportunity cost"), QStringLiteral("XTerm"));
        EXPECT_TRUE(showsLabel(view.get(), QStringLiteral("XTerm")));
    }
}

// Nothing in the panel is cut off, at its first size and at its smallest, with the longest texts
// it may have to show: a message beside the placeholder, a history failure naming a long path
// beside an answer, a long unbroken selection. Where the panel is too short, the middle scrolls,
// and the output keeps its placeholder or three lines of its answer whole. Pictures of each.
TEST_F(DirectFloatViewTest, LongMessagesAndSmallPanelsCutNothing) {
    const QDir folder(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    ASSERT_TRUE(QDir().mkpath(folder.path()));
    const QString selection = QStringLiteral("https://example.org/") + QString(120, u'a');
    const QString longFolder = QStringLiteral("/") + QString(160, u'd') + QStringLiteral("/learning-history.json");
    const struct {
        const char* state;
        std::function<void()> arrange;
        bool answered;
    } rows[] = {
        {"error",
         [&] {
             tamsel::AIPrivacyConsent::set(false, defaults);
             model->present(selection, QStringLiteral("A program with a long name"));
             tamsel::AIPrivacyConsent::set(true, defaults);
         },
         false},
        // The longest refusal of a read.
        {"refusal",
         [&] {
             model->showError(halvern::CompatibilityReadFailure(
                                  halvern::CompatibilityReadFailure::Case::unconfirmedProgramField)
                                  .message(),
                              QStringLiteral("LibreOffice"));
         },
         false},
        // A refusal that names a command-line switch.
        {"switch",
         [&] {
             model->showError(halvern::CompatibilityReadFailure(
                                  halvern::CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy)
                                  .message(),
                              QStringLiteral("Chromium"));
         },
         false},
        {"answer-error",
         [&] {
             // The history cannot be written: its file's place is taken by a folder.
             answer(QStringLiteral("机会成本是指为了得到某种东西而放弃的次优选择的价值。"));
             const QString file =
                 QDir(dir.path())
                     .absoluteFilePath(QDirIterator(dir.path(), {QStringLiteral("learning-history.json")}, QDir::Files,
                                                    QDirIterator::Subdirectories)
                                           .next());
             ASSERT_TRUE(QFile::remove(file));
             ASSERT_TRUE(QDir().mkpath(file + longFolder));
             stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("Opportunity cost is the value of the "
                                                                           "next best alternative given up.")));
             model->present(selection, QStringLiteral("TextEdit"));
             ASSERT_TRUE(waitUntil([this] { return !model->isBusy(); }));
             ASSERT_TRUE(model->error());
         },
         true},
        {"busy",
         [&] {
             scheduler->automatic = false;  // the token read waits: the request stays busy
             model->present(selection, QStringLiteral("TextEdit"));
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        row.arrange();
        for (const QSize size : {DirectResultPanel::initialSize, DirectResultPanel::minimumPanelSize}) {
            view->resize(size);
            for (const InterfaceLanguage language :
                 {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
                SCOPED_TRACE(base::rawValue(language).toStdString() + " " + std::to_string(size.height()));
                InterfaceSettings::shared().setLanguage(language);
                for (int turn = 0; turn < 4; ++turn) QCoreApplication::processEvents();
                const auto* middle = view->findChild<QScrollArea*>();
                const QWidget* column = middle->widget();
                // Every text lies whole inside the middle's column or, outside it, inside the panel.
                for (const QWidget* text : view->findChildren<QWidget*>()) {
                    if (!text->isVisibleTo(view.get()) ||
                        !(qobject_cast<const QLabel*>(text) || qobject_cast<const WrappedText*>(text)))
                        continue;
                    const QWidget* within = column->isAncestorOf(text) ? column : view.get();
                    const QRect placed(text->mapTo(within, QPoint(0, 0)), text->size());
                    EXPECT_TRUE(within->rect().contains(placed)) << text->objectName().toStdString();
                    for (const QWidget* up = text->parentWidget(); up != within; up = up->parentWidget())
                        EXPECT_TRUE(up->rect().contains(QRect(text->mapTo(up, QPoint(0, 0)), text->size())));
                }
                const auto* error = view->findChild<WrappedText*>(QStringLiteral("outputMessage"));
                if (model->error()) {
                    EXPECT_EQ(error->text(), UIStrings::text(*model->error()));
                    const QStringList lines = error->shownLines();
                    EXPECT_EQ(lines.join(QString()), error->text());
                    // A command-line switch is never broken.
                    static const QRegularExpression aSwitch(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*[a-z]"));
                    for (const auto& found : aSwitch.globalMatch(error->text())) {
                        EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(),
                                                [&](const QString& line) { return line.contains(found.captured()); }))
                            << lines.join(u'|').toStdString();
                    }
                }
                const auto* body = view->findChild<QStackedWidget*>();
                // The output's top is in view, scrolled there when the panel is short.
                const int outputTop = body->parentWidget()->mapTo(middle->viewport(), QPoint(0, 0)).y();
                EXPECT_TRUE(outputTop >= 0 && outputTop < middle->viewport()->height()) << outputTop;
                if (row.answered) {
                    EXPECT_GE(body->height(), 3 * body->fontMetrics().lineSpacing());
                }
                // At its first size the panel shows a short message and the placeholder whole
                // without scrolling.
                if (size == DirectResultPanel::initialSize && !row.answered) {
                    EXPECT_LE(column->height(), middle->viewport()->height());
                }
                for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
                    InterfaceSettings::shared().setAppearance(appearance);
                    QCoreApplication::processEvents();
                    EXPECT_TRUE(view->grab().save(folder.filePath(
                        QStringLiteral("fit-%1-%2-%3-%4x%5.png")
                            .arg(QString::fromLatin1(row.state), base::rawValue(language), base::rawValue(appearance))
                            .arg(size.width())
                            .arg(size.height()))));
                }
                InterfaceSettings::shared().setAppearance(InterfaceAppearance::light);
            }
        }
    }
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
}

// Screenshots of the panel with an answer in every language and appearance, and of the busy and
// the error state.
TEST_F(DirectFloatViewTest, Screenshots) {
    const QDir folder(QStringLiteral(ORVEL_SELECTION_SCREENSHOT_DIR));
    ASSERT_TRUE(QDir().mkpath(folder.path()));
    const auto shot = [&](const QString& name) {
        // The layouts take the new texts' sizes, the nested ones a turn after their children.
        for (int turn = 0; turn < 4; ++turn) QCoreApplication::processEvents();
        EXPECT_TRUE(view->grab().save(folder.filePath(name + QStringLiteral(".png"))));
    };
    answer(QStringLiteral("机会成本是指为了得到某种东西而放弃的次优选择的价值。\n\nOpportunity cost is the value of the "
                          "next best alternative given up."));
    for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
        InterfaceSettings::shared().setAppearance(appearance);
        for (const InterfaceLanguage language :
             {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
            InterfaceSettings::shared().setLanguage(language);
            shot(QStringLiteral("answer-%1-%2").arg(base::rawValue(language), base::rawValue(appearance)));
        }
    }
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    model->showError(QStringLiteral("未读到选中文字。请先在文档中选中一段文字。"), QStringLiteral("选区读取提示"));
    shot(QStringLiteral("error-en-dark"));
    scheduler->automatic = false;
    model->present(QStringLiteral("A fairly long selection that shows how the source row and its toggle share the "
                                  "width of a narrow panel."),
                   QStringLiteral("A program with a long name"));
    view->resize(320, 300);
    shot(QStringLiteral("busy-en-dark-smallest"));
    InterfaceSettings::shared().setAppearance(InterfaceAppearance::light);

    // A failed read from a terminal, and the study-selection command with nothing selected.
    view->resize(360, 390);
    for (const InterfaceLanguage language :
         {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
        InterfaceSettings::shared().setLanguage(language);
        model->showError(
            halvern::CompatibilityReadFailure(halvern::CompatibilityReadFailure::Case::noCopyFromTerminal).message(),
            QStringLiteral("XTerm"));
        shot(QStringLiteral("terminal-error-%1").arg(base::rawValue(language)));
        model->showError(halvern::message(halvern::SelectionRefusal::noSelection), QStringLiteral("系统文本服务"));
        shot(QStringLiteral("nothing-selected-%1").arg(base::rawValue(language)));
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setAppearance(appearance);
            for (const auto refusal :
                 {halvern::SelectionRefusal::remoteSource, halvern::SelectionRefusal::unknownProgram,
                  halvern::SelectionRefusal::unconfirmedWebViewField}) {
                model->showError(halvern::message(refusal), QStringLiteral("系统文本服务"));
                shot(QStringLiteral("%1-%2-%3")
                         .arg(halvern::rawValue(refusal), base::rawValue(language), base::rawValue(appearance)));
            }
        }
        InterfaceSettings::shared().setAppearance(InterfaceAppearance::light);
    }
}

}  // namespace

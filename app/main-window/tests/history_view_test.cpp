// The history page offscreen over a real history store, as a person would use it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/account/account_data_scope.h"
#include "app/account/history_store.h"
#include "app/account/tests/history_test_support.h"
#include "app/main-window/history_list_model.h"
#include "app/main-window/history_view.h"
#include "app/main-window/tests/view_test_support.h"
#include "app/shell/interface_settings.h"
#include "app/shell/wrapped_text.h"

namespace velquin {
namespace {

using viewtest::child;
using viewtest::shown;

class HistoryViewTest : public ::testing::Test {
protected:
    HistoryViewTest() {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
        history = std::make_unique<HistoryStore>(HistoryStore::Options{dir.filePath(QStringLiteral("data")), {}});
    }

    // The rows' sources (or other labels) from top to bottom.
    QStringList sources(HistoryView& view, const char* name = "source") {
        QList<QLabel*> labels;
        for (QLabel* label : view.findChildren<QLabel*>(QString::fromLatin1(name)))
            if (shown(label)) labels.append(label);
        std::sort(labels.begin(), labels.end(), above);
        QStringList list;
        for (QLabel* label : labels) list.append(label->text());
        return list;
    }
    static bool above(QWidget* a, QWidget* b) {
        return a->mapTo(a->window(), QPoint()).y() < b->mapTo(b->window(), QPoint()).y();
    }
    QAbstractButton* rowButton(HistoryView& view, const char* name, int row) {
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* button : view.findChildren<QAbstractButton*>(QString::fromLatin1(name)))
            if (shown(button)) buttons.append(button);
        std::sort(buttons.begin(), buttons.end(), above);
        return row < buttons.size() ? buttons[row] : nullptr;
    }
    QMessageBox* confirmation(HistoryView& view) {
        auto* box = view.findChild<QMessageBox*>(QStringLiteral("deleteConfirmation"));
        return box && box->isVisible() ? box : nullptr;
    }
    void answer(HistoryView& view, const char* button) {
        QMessageBox* box = confirmation(view);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }

    QTemporaryDir dir;
    std::unique_ptr<HistoryStore> history;
};

}  // namespace

TEST_F(HistoryViewTest, TheListFollowsTheStoreAndDeletionAsksFirst) {
    QList<LearningRecord> continued;
    int closed = 0;
    HistoryView view(
        *history, [&](const LearningRecord& r) { continued.append(r); }, [&] { ++closed; });
    view.resize(700, 900);
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    auto* deleteAll = child<QPushButton>(view, "deleteAllButton");
    EXPECT_TRUE(sources(view).isEmpty());
    EXPECT_FALSE(deleteAll->isEnabled());
    // A switch of language before any row was measured.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);

    history->add(QStringLiteral("first"), QStringLiteral("answer one"), QStringLiteral("explain"));
    history->add(QStringLiteral("second"), QStringLiteral("answer two"), QStringLiteral("MERID"));
    history->add(QStringLiteral("third"), QStringLiteral("answer three"), QStringLiteral("translate"));
    EXPECT_EQ(sources(view), (QStringList{"third", "second", "first"}));
    EXPECT_TRUE(deleteAll->isEnabled());
    // After a switch of language the rows already shown date their records as the new language
    // does (the program gives its window that language's locale), and the mode stays as stored.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    view.setLocale(locale(InterfaceLanguage::french));
    QStringList dates;
    for (const LearningRecord& record : history->records())
        dates.append(locale(InterfaceLanguage::french)
                         .toString(record.createdAt.toDateTime().toLocalTime(), QLocale::ShortFormat) +
                     QStringLiteral(" · ") + record.mode);
    EXPECT_EQ(sources(view, "dateLine"), dates);
    EXPECT_EQ(rowButton(view, "noteButton", 0)->text(), QStringLiteral("Enregistrer la note"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    view.setLocale(locale(InterfaceLanguage::chinese));

    // A note, and the filter: delete-all still counts every record.
    QTest::mouseClick(rowButton(view, "noteButton", 1), Qt::LeftButton);
    EXPECT_TRUE(history->records()[1].isNote);
    EXPECT_EQ(rowButton(view, "noteButton", 1)->text(), QStringLiteral("取消收藏"));
    child<QCheckBox>(view, "notesOnly")->setChecked(true);
    EXPECT_EQ(sources(view), QStringList{"second"});
    EXPECT_TRUE(deleteAll->isEnabled());
    // Unmarking under the filter takes the row away while its own button is handled.
    QTest::mouseClick(rowButton(view, "noteButton", 0), Qt::LeftButton);
    EXPECT_TRUE(sources(view).isEmpty());
    EXPECT_TRUE(deleteAll->isEnabled());
    child<QCheckBox>(view, "notesOnly")->setChecked(false);

    // Continue calls only the continue callback on a page that has a close callback.
    QTest::mouseClick(rowButton(view, "orvel.history.continue", 2), Qt::LeftButton);
    ASSERT_EQ(continued.size(), 1);
    EXPECT_EQ(continued.first().source, QStringLiteral("first"));
    EXPECT_EQ(closed, 0);

    // One record: asked first; cancel keeps it, confirm removes it alone.
    QTest::mouseClick(rowButton(view, "deleteButton", 1), Qt::LeftButton);
    ASSERT_NE(confirmation(view), nullptr);
    EXPECT_EQ(confirmation(view)->informativeText(), QStringLiteral("仅删除当前记录，其他笔记保留。"));
    // As wide as the other sheets, not as its short title.
    EXPECT_GE(confirmation(view)->width(), 450);
    answer(view, "cancelButton");
    EXPECT_EQ(history->records().size(), 3);
    EXPECT_FALSE(view.deleteScope());
    QTest::mouseClick(rowButton(view, "deleteButton", 1), Qt::LeftButton);
    answer(view, "confirmButton");
    EXPECT_EQ(sources(view), (QStringList{"third", "first"}));

    // A record that went between the click and the confirmation is not looked for twice.
    QTest::mouseClick(rowButton(view, "deleteButton", 0), Qt::LeftButton);
    history->remove(history->records().first());
    answer(view, "confirmButton");
    EXPECT_EQ(sources(view), QStringList{"first"});

    // Everything: asked with its own message.
    QTest::mouseClick(deleteAll, Qt::LeftButton);
    EXPECT_EQ(confirmation(view)->informativeText(),
              QStringLiteral("此操作无法撤销，将删除当前账户的全部历史和笔记。"));
    answer(view, "confirmButton");
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_FALSE(deleteAll->isEnabled());

    // Escape is the back button.
    child<QCheckBox>(view, "notesOnly")->setFocus();
    QTest::keyClick(child<QCheckBox>(view, "notesOnly"), Qt::Key_Escape);
    EXPECT_EQ(closed, 1);
}

TEST_F(HistoryViewTest, GuestRecordsCanBeCopiedIntoAnAccountAndFileTroubleIsShown) {
    history->add(QStringLiteral("guest record"), QStringLiteral("a"), QStringLiteral("explain"));
    HistoryView view(*history, {}, {});
    view.show();
    auto* block = child<QWidget>(view, "legacyImportBlock");
    EXPECT_FALSE(shown(block));  // a guest history has nothing to copy into
    EXPECT_EQ(view.findChild<QAbstractButton*>(QStringLiteral("orvel.history.continue")), nullptr);

    history->switchToAccount(QStringLiteral("acct_12345"));
    EXPECT_TRUE(shown(block));
    QTest::mouseClick(child<QPushButton>(view, "legacyImportButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(view, "importNotice")->text(), QStringLiteral("已复制 1 条记录。旧记录保留在原位."));
    EXPECT_EQ(sources(view), QStringList{"guest record"});
    QTest::mouseClick(child<QPushButton>(view, "legacyImportButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>(view, "importNotice")->text(), QStringLiteral("已复制 0 条记录。旧记录保留在原位."));

    // An account file that cannot be read is moved aside, and the page says so.
    const QString file = *AccountDataScope::learningHistoryURL(QStringLiteral("acct_67890"), dir.filePath("data"));
    historytest::writeFile(file, "not json");
    history->switchToAccount(QStringLiteral("acct_67890"));
    history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
    auto* status = child<WrappedText>(view, "storeStatus");
    EXPECT_TRUE(shown(status));
    EXPECT_EQ(status->text(), history->statusMessage());
    EXPECT_FALSE(status->text().isEmpty());
}

TEST_F(HistoryViewTest, ALongHistoryIsListedInFullButBuiltOnlyWhereSeen) {
    // A history file of 60 records with long answers, one of them without any space.
    QList<LearningRecord> records;
    for (int i = 0; i < 60; ++i)
        records.append(LearningRecord{QUuid::fromString(historytest::idOf(i)), base::Date{7e8 - i},
                                      QStringLiteral("explain"), QStringLiteral("record %1").arg(i),
                                      (i == 1 ? QStringLiteral("x") : QStringLiteral("word ")).repeated(400),
                                      i % 3 == 0});
    records[0].source += QStringLiteral("\nline two\nline three\nline four");
    historytest::writeFile(*AccountDataScope::legacyLearningHistory(dir.filePath(QStringLiteral("data"))),
                           learning_history::encode(records));
    history = std::make_unique<HistoryStore>(HistoryStore::Options{dir.filePath(QStringLiteral("data")), {}});
    ASSERT_EQ(history->records().size(), 60);
    HistoryView view(
        *history, [](const LearningRecord&) {}, [] {});
    view.resize(900, 800);
    view.show();
    auto* list = child<QListView>(view, "records");
    auto* model = qobject_cast<HistoryListModel*>(list->model());
    ASSERT_NE(model, nullptr);

    // Every record is a row, in the store's order; the filter keeps the notes.
    auto ids = [&] {
        QList<QUuid> shown;
        for (int row = 0; row < model->rowCount(); ++row) shown.append(model->record(row).id);
        return shown;
    };
    QList<QUuid> expected;
    for (const LearningRecord& record : history->records()) expected.append(record.id);
    EXPECT_EQ(ids(), expected);
    // Only the rows in sight are built, each as tall as its whole answer. A source shows at most
    // two whole lines, cut at its line feeds; a source of one line takes one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sources(view).size() > 1; }));
    EXPECT_EQ(sources(view).mid(0, 2), (QStringList{"record 0\nline two…", "record 1"}));
    EXPECT_LT(sources(view).size(), 5);
    QMap<QString, int> heights;
    for (QLabel* label : view.findChildren<QLabel*>(QStringLiteral("source")))
        if (shown(label)) heights.insert(label->text(), label->height());
    EXPECT_EQ(heights.value(QStringLiteral("record 0\nline two…")), 2 * heights.value(QStringLiteral("record 1")));
    QWidget* text = nullptr;
    for (QWidget* answer : view.findChildren<QWidget*>(QStringLiteral("answer")))
        if (!text && shown(answer)) text = answer;
    ASSERT_NE(text, nullptr);
    EXPECT_GT(text->height(), 10 * text->fontMetrics().lineSpacing());
    EXPECT_LE(text->mapTo(list->viewport(), QPoint(0, text->height())).y(),
              list->visualRect(model->index(0)).bottom() + 1);
    // The answer is selectable as text: dragged over and copied.
    QTest::mousePress(text, Qt::LeftButton, {}, QPoint(1, 3));
    QTest::mouseMove(text, QPoint(text->width() / 2, 3 + text->fontMetrics().lineSpacing()));
    QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(text->width() / 2, 3 + text->fontMetrics().lineSpacing()));
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("word word word")));

    // Tab goes through the records' buttons in the list's order and brings each into sight;
    // Shift+Tab goes back; a note marked from the keyboard keeps its button focused.
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    child<QPushButton>(view, "backButton")->setFocus(Qt::OtherFocusReason);
    const auto inSight = [&](QWidget* widget) {
        return list->viewport()->rect().contains(QRect(widget->mapTo(list->viewport(), QPoint()), widget->size()));
    };
    const auto focusedRecord = [] {
        return QApplication::focusWidget()->parentWidget()->findChild<QLabel*>(QStringLiteral("source"))->text();
    };
    // A record's row is placed on the turn after the list scrolled to the record above it; a person's
    // next key comes after that turn, keys sent here would not.
    const auto built = [&](int record) {
        const QString source = QStringLiteral("record %1").arg(record);
        for (const QString& text : sources(view))
            if (text.section(u'\n', 0, 0) == source) return true;
        return false;
    };
    for (int record = 0; record < 4; ++record)
        for (const char* button : {"orvel.history.continue", "noteButton", "deleteButton"}) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return built(record); })) << record;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            ASSERT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(button)) << record;
            EXPECT_TRUE(focusedRecord().startsWith(QStringLiteral("record %1").arg(record)));
            EXPECT_TRUE(QTest::qWaitFor([&] { return inSight(QApplication::focusWidget()); })) << record << button;
        }
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focusedRecord(), QStringLiteral("record 2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inSight(QApplication::focusWidget()); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(history->records()[2].isNote);
    EXPECT_TRUE(
        QTest::qWaitFor([] { return QApplication::focusWidget()->objectName() == QStringLiteral("noteButton"); }));
    EXPECT_EQ(focusedRecord(), QStringLiteral("record 2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(history->records()[2].isNote);

    // Narrower, the record at the top stays where it was, and every row in sight holds its whole
    // answer at the new width in the room the list gives it, one below the other.
    const QModelIndex top = list->indexAt(QPoint(0, 0));
    const int topOffset = list->visualRect(top).top();
    view.resize(640, 800);
    const auto rowsFit = [&] {
        QList<QWidget*> answers;
        for (QWidget* answer : view.findChildren<QWidget*>(QStringLiteral("answer")))
            if (shown(answer) && answer->parentWidget()->geometry().intersects(list->viewport()->rect()))
                answers.append(answer);
        std::sort(answers.begin(), answers.end(), above);
        int below = INT_MIN;
        for (QWidget* answer : answers) {
            const QRect row = answer->parentWidget()->geometry();
            if (row != list->visualRect(list->indexAt(row.center())) || row.top() <= below ||
                answer->height() != answer->heightForWidth(answer->width()) || answer->width() > 640)
                return false;
            below = row.bottom();
        }
        return !answers.isEmpty();
    };
    EXPECT_TRUE(QTest::qWaitFor(rowsFit));
    EXPECT_EQ(list->indexAt(QPoint(0, 0)).row(), top.row());
    EXPECT_EQ(list->visualRect(top).top(), topOffset);

    // A record added while the page is away is at the top when it comes back.
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->singleStep());
    view.hide();
    history->add(QStringLiteral("newest"), QStringLiteral("a new answer"), QStringLiteral("explain"));
    view.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return sources(view).value(0) == QStringLiteral("newest"); }));
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);

    // Scrolled to the end once every row is measured (at this width: measuring the long rows again at
    // another takes seconds on a busy machine): the last records are built, the first are gone.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        return sources(view).contains(QStringLiteral("record 59"));
    }));
    EXPECT_FALSE(sources(view).contains(QStringLiteral("record 0\nline two…")));
    EXPECT_LT(sources(view).size(), 5);

    // Deleting a row seen there takes it out of the store and the list.
    QTest::mouseClick(rowButton(view, "deleteButton", sources(view).size() - 1), Qt::LeftButton);
    answer(view, "confirmButton");
    EXPECT_EQ(history->records().size(), 60);
    EXPECT_EQ(model->rowCount(), 60);
    EXPECT_EQ(model->rowOf(QUuid::fromString(historytest::idOf(59))), -1);
    // The list stays where the person was.
    EXPECT_TRUE(sources(view).contains(QStringLiteral("record 58")));
    child<QCheckBox>(view, "notesOnly")->setChecked(true);
    EXPECT_EQ(model->rowCount(), 20);
}

}  // namespace velquin

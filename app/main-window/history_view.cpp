#include "app/main-window/history_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/account/history_store.h"
#include "app/account/learning_record.h"
#include "app/shell/system_colors.h"
#include "app/main-window/account_view_style.h"
#include "app/main-window/home_style.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/errors.h"

namespace velquin {

namespace {

using account_style::choose;
using account_style::makeButton;
using lessonary::currentScheme;
using lessonary::makeLabel;
using lessonary::setTextColor;

// A borderless button of a row, as wide as its title.
QToolButton* makeRowButton(QWidget* parent, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A label that shows at most `lines` lines of its text, the last one ended with "…" when the text
// goes on.
class LineLimitedLabel : public QLabel {
public:
    LineLimitedLabel(QWidget* parent, const QFont& font, int lines) : QLabel(parent), lines_(lines) {
        setTextFormat(Qt::PlainText);
        setFont(font);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(QFontMetrics(font).lineSpacing() * lines_);
    }
    void setFullText(const QString& text) {
        full_ = text;
        fit();
    }
    const QString& fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit() {
        const int width = qMax(1, contentsRect().width());
        QString flat = full_;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QTextLayout layout(flat, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QStringList shown;
        int used = 0;
        while (shown.size() < lines_) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            used = line.textStart() + line.textLength();
            shown.append(flat.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        if (used < flat.size() && !shown.isEmpty()) {
            const QString rest = shown.last() + QStringLiteral(" ") + flat.mid(used).simplified();
            shown.last() = QFontMetrics(font()).elidedText(rest, Qt::ElideRight, width);
        }
        setText(shown.join(u'\n'));
    }

    QString full_;
    int lines_;
};

}  // namespace

// One record of the list.
class HistoryRow : public QWidget {
public:
    HistoryRow(QWidget* parent, bool withContinue) : QWidget(parent) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 7, 0, 7);
        column->setSpacing(7);
        source_ = new LineLimitedLabel(this, lessonary::font(home_style::headline, QFont::DemiBold), 2);
        source_->setObjectName(QStringLiteral("source"));
        column->addWidget(source_);
        answer_ = makeLabel(this, lessonary::font(home_style::callout), true);
        answer_->setObjectName(QStringLiteral("answer"));
        answer_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        column->addWidget(answer_);
        date_ = makeLabel(this, lessonary::font(home_style::caption), false);
        date_->setObjectName(QStringLiteral("dateLine"));
        column->addWidget(date_);
        auto* buttons = new QHBoxLayout();
        buttons->setSpacing(4);
        if (withContinue) {
            continue_ = makeRowButton(this, QStringLiteral("orvel.history.continue"));
            buttons->addWidget(continue_);
        }
        note_ = makeRowButton(this, QStringLiteral("noteButton"));
        buttons->addWidget(note_);
        delete_ = makeRowButton(this, QStringLiteral("deleteButton"));
        buttons->addWidget(delete_);
        buttons->addStretch(1);
        column->addLayout(buttons);
    }

    void show(const LearningRecord& record) {
        id = record.id;
        isNote_ = record.isNote;
        source_->setFullText(record.source);
        answer_->setText(record.answer);
        // The mode as stored, never translated.
        date_->setText(locale().toString(record.createdAt.toDateTime().toLocalTime(), QLocale::ShortFormat) +
                       QStringLiteral(" · ") + record.mode);
        retranslate();
    }
    void retranslate() {
        if (continue_) account_style::setTitle(continue_, choose("继续理解", "Continue learning", "Poursuivre"));
        account_style::setTitle(note_, isNote_ ? choose("取消收藏", "Remove bookmark", "Retirer le favori")
                               : choose("加入笔记", "Save note", "Enregistrer la note"));
        account_style::setTitle(delete_, choose("删除", "Delete", "Supprimer"));
    }
    void restyle(ColorScheme scheme) {
        setTextColor(source_, LessonaryTheme::ink(scheme));
        setTextColor(answer_, LessonaryTheme::ink(scheme));
        setTextColor(date_, LessonaryTheme::inkSecondary(scheme));
        for (QToolButton* button : {continue_, note_, delete_})
            if (button) setTextColor(button, LessonaryTheme::ink(scheme));
    }

    QUuid id;
    QToolButton* continue_ = nullptr;
    QToolButton* note_ = nullptr;
    QToolButton* delete_ = nullptr;

private:
    LineLimitedLabel* source_ = nullptr;
    QLabel* answer_ = nullptr;
    QLabel* date_ = nullptr;
    bool isNote_ = false;
};

HistoryView::HistoryView(HistoryStore& history, ContinueCallback onContinue, std::function<void()> onClose,
                         QWidget* parent)
    : QWidget(parent), history_(history), onContinue_(std::move(onContinue)), onClose_(std::move(onClose)) {
    setObjectName(QStringLiteral("historyView"));
    setMinimumSize(600, 430);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto* header = new QHBoxLayout();
    title_ = makeLabel(this, lessonary::font(home_style::title2, QFont::Bold), false);
    title_->setObjectName(QStringLiteral("title"));
    header->addWidget(title_);
    header->addStretch(1);
    notesOnly_ = new QCheckBox(this);
    notesOnly_->setObjectName(QStringLiteral("notesOnly"));
    header->addWidget(notesOnly_);
    back_ = makeButton(this, QStringLiteral("backButton"));
    header->addWidget(back_);
    column->addLayout(header);

    importBlock_ = new QWidget(this);
    importBlock_->setObjectName(QStringLiteral("legacyImportBlock"));
    auto* importColumn = new QVBoxLayout(importBlock_);
    importColumn->setContentsMargins(0, 0, 0, 0);
    importColumn->setSpacing(6);
    auto* importRow = new QHBoxLayout();
    importButton_ = makeButton(importBlock_, QStringLiteral("legacyImportButton"));
    importRow->addWidget(importButton_, 0, Qt::AlignVCenter);
    importExplanation_ = makeLabel(importBlock_, lessonary::font(home_style::caption), true);
    importRow->addWidget(importExplanation_, 1, Qt::AlignVCenter);
    importColumn->addLayout(importRow);
    importNoticeLabel_ = makeLabel(importBlock_, lessonary::font(home_style::caption), true);
    importNoticeLabel_->setObjectName(QStringLiteral("importNotice"));
    importColumn->addWidget(importNoticeLabel_);
    column->addWidget(importBlock_);

    storageLine_ = makeLabel(this, lessonary::font(home_style::caption), true);
    column->addWidget(storageLine_);
    // What the store says of its file (one moved aside, a change not stored).
    statusLine_ = makeLabel(this, lessonary::font(home_style::caption), true);
    statusLine_->setObjectName(QStringLiteral("storeStatus"));
    column->addWidget(statusLine_);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("records"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* rows = new QWidget(scroll_);
    rows->setAutoFillBackground(false);
    list_ = new QVBoxLayout(rows);
    list_->setContentsMargins(0, 0, 8, 0);
    list_->setSpacing(0);
    list_->addStretch(1);
    scroll_->setWidget(rows);
    column->addWidget(scroll_, 1);

    auto* footer = new QHBoxLayout();
    deleteAll_ = makeButton(this, QStringLiteral("deleteAllButton"));
    footer->addWidget(deleteAll_);
    footer->addStretch(1);
    column->addLayout(footer);

    connect(notesOnly_, &QCheckBox::toggled, this, &HistoryView::showRecords);
    connect(back_, &QPushButton::clicked, this, &HistoryView::leave);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &HistoryView::leave);
    connect(importButton_, &QPushButton::clicked, this, &HistoryView::importLegacy);
    connect(deleteAll_, &QPushButton::clicked, this, [this] { askToDelete(All{}); });
    connect(&history_, &HistoryStore::recordsChanged, this, [this] {
        showRecords();
        showStoreState();
    });
    connect(&history_, &HistoryStore::statusMessageChanged, this, &HistoryView::showStoreState);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });

    showRecords();
    retranslate();
    restyle();
}

HistoryView::~HistoryView() = default;

void HistoryView::showRecords() {
    // The store's order; the filter only drops records that are no notes.
    QList<HistoryRow*> shown;
    QHash<QUuid, HistoryRow*> kept;
    for (const LearningRecord& record : history_.records()) {
        if (notesOnly_->isChecked() && !record.isNote) continue;
        if (kept.contains(record.id)) continue;  // one row per id
        HistoryRow* row = rows_.take(record.id);
        if (!row) {
            row = new HistoryRow(list_->parentWidget(), bool(onContinue_));
            const QUuid id = record.id;
            if (row->continue_)
                connect(row->continue_, &QToolButton::clicked, this, [this, id] {
                    for (const LearningRecord& current : history_.records())
                        if (current.id == id) {
                            onContinue_(current);
                            if (!onClose_) QWidget::close();
                            return;
                        }
                });
            connect(row->note_, &QToolButton::clicked, this, [this, id] {
                for (const LearningRecord& current : history_.records())
                    if (current.id == id) {
                        history_.toggleNote(current);
                        return;
                    }
            });
            connect(row->delete_, &QToolButton::clicked, this, [this, id] { askToDelete(id); });
            row->restyle(currentScheme());
        }
        row->show(record);
        kept.insert(record.id, row);
        shown.append(row);
    }
    // A row may go while one of its own buttons is being handled (a note unmarked under the filter).
    for (HistoryRow* gone : std::as_const(rows_)) {
        gone->hide();
        gone->deleteLater();
    }
    rows_ = kept;
    for (int i = 0; i < shown.size(); ++i) {
        list_->removeWidget(shown[i]);
        list_->insertWidget(i, shown[i]);
        shown[i]->setVisible(true);
    }
    deleteAll_->setEnabled(!history_.records().isEmpty());
}

void HistoryView::showStoreState() {
    importBlock_->setVisible(history_.canImportLegacy());
    importNoticeLabel_->setText(UIStrings::text(importNotice_));
    importNoticeLabel_->setVisible(!importNotice_.isEmpty());
    statusLine_->setText(UIStrings::text(history_.statusMessage()));
    statusLine_->setVisible(!history_.statusMessage().isEmpty());
}

void HistoryView::importLegacy() {
    try {
        const int copied = history_.importLegacyToCurrentAccount();
        const QString count = QString::number(copied);
        importNotice_ =
            UIStrings::choose(QStringLiteral("已复制 ") + count + QStringLiteral(" 条记录。旧记录保留在原位."),
                              QStringLiteral("Copied ") + count + QStringLiteral(" records. Original copies remain."),
                              count + QStringLiteral(" entrées copiées. Les originaux sont conservés."));
    } catch (...) {
        importNotice_ = QStringLiteral("历史导入失败：") + base::messageOf(std::current_exception());
    }
    showStoreState();
}

void HistoryView::askToDelete(DeleteScope scope) {
    deleteScope_ = scope;
    if (!confirmation_) {
        confirmation_ = new QMessageBox(this);
        confirmation_->setObjectName(QStringLiteral("deleteConfirmation"));
        confirmation_->setIcon(QMessageBox::Warning);
        confirmation_->setWindowModality(Qt::WindowModal);
        QPushButton* confirm = confirmation_->addButton(QString(), QMessageBox::DestructiveRole);
        confirm->setObjectName(QStringLiteral("confirmButton"));
        QPushButton* cancel = confirmation_->addButton(QString(), QMessageBox::RejectRole);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        confirmation_->setDefaultButton(cancel);
        connect(confirmation_, &QMessageBox::finished, this, [this] {
            if (confirmation_->clickedButton() && confirmation_->buttonRole(confirmation_->clickedButton()) ==
                                                      QMessageBox::DestructiveRole)
                confirmDeletion();
            deleteScope_.reset();
        });
    }
    retranslate();
    confirmation_->open();
}

void HistoryView::confirmDeletion() {
    if (!deleteScope_) return;
    if (std::holds_alternative<All>(*deleteScope_)) {
        history_.deleteAll();
        return;
    }
    // Looked up now: a record that went meanwhile is not deleted.
    const QUuid id = std::get<QUuid>(*deleteScope_);
    for (const LearningRecord& record : history_.records())
        if (record.id == id) {
            history_.remove(record);
            return;
        }
}

void HistoryView::leave() {
    if (onClose_)
        onClose_();
    else
        QWidget::close();
}

void HistoryView::retranslate() {
    title_->setText(choose("学习历史与笔记", "Learning history & notes", "Historique et notes"));
    account_style::setTitle(notesOnly_, choose("只看笔记", "Notes only", "Notes uniquement"));
    back_->setText(choose("返回首页", "Back to home", "Retour à l’accueil"));
    back_->setAccessibleName(choose("关闭学习历史", "Close learning history", "Fermer l’historique"));
    account_style::setTitle(importButton_,
            choose("复制旧版本历史到此账户", "Copy legacy history to this account", "Copier l’ancien historique ici"));
    importExplanation_->setText(choose("不会删除原始历史，也不会共享到其他账户。",
                                       "Original history is preserved and never shared across accounts.",
                                       "Les originaux sont conservés, sans partage entre comptes."));
    storageLine_->setText(
        choose("记录按用户独立保存在本机；未验证身份时不会显示其他账户的历史，也不会读取 Beta 数据。",
               "Records are stored on this computer per account. Other accounts and Beta data stay "
               "separate.",
               "L’historique est enregistré localement par compte, séparé des autres comptes et de la "
               "bêta."));
    account_style::setTitle(deleteAll_, choose("清空所有记录", "Delete all history", "Effacer l’historique"));
    for (HistoryRow* row : std::as_const(rows_)) row->retranslate();
    if (confirmation_) {
        confirmation_->setText(choose("确认删除学习记录？", "Confirm deletion?", "Confirmer la suppression ?"));
        const bool all = deleteScope_ && std::holds_alternative<All>(*deleteScope_);
        confirmation_->setInformativeText(
            all ? choose("此操作无法撤销，将删除当前账户的全部历史和笔记。",
                         "This is permanent: all local history and notes for this account will be deleted.",
                         "Action définitive : tout l’historique et les notes de ce compte seront supprimés.")
                : choose("仅删除当前记录，其他笔记保留。", "Only this record will be deleted; other notes remain.",
                         "Seule cette entrée sera supprimée ; les autres notes restent."));
        const QList<QAbstractButton*> buttons = confirmation_->buttons();
        for (QAbstractButton* button : buttons) {
            if (confirmation_->buttonRole(button) == QMessageBox::DestructiveRole)
                account_style::setTitle(button, choose("确认删除", "Delete", "Supprimer"));
            else
                account_style::setTitle(button, choose("取消", "Cancel", "Annuler"));
        }
        confirmation_->setWindowTitle(confirmation_->text());
    }
    showStoreState();
}

void HistoryView::restyle() {
    const ColorScheme scheme = currentScheme();
    setTextColor(title_, LessonaryTheme::ink(scheme));
    setTextColor(importNoticeLabel_, LessonaryTheme::ink(scheme));
    for (QLabel* label : {importExplanation_, storageLine_}) setTextColor(label, LessonaryTheme::inkSecondary(scheme));
    setTextColor(statusLine_, SystemColors::orange(scheme));
    for (HistoryRow* row : std::as_const(rows_)) row->restyle(scheme);
    update();
}

void HistoryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The guest history file may have appeared since.
    showStoreState();
}

void HistoryView::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), LessonaryTheme::paper(currentScheme())); }

}  // namespace velquin

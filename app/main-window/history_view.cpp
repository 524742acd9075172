#include "app/main-window/history_view.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/account/history_store.h"
#include "app/account/learning_record.h"
#include "app/main-window/account_view_style.h"
#include "app/main-window/history_list_model.h"
#include "app/main-window/home_style.h"
#include "app/shell/sheet_window.h"
#include "app/shell/shown_answer.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
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
    button->setFont(lessonary::font(home_style::body));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// A label that shows at most `lines` lines of its text, as tall as the lines it shows: a line feed
// starts a new line, and when the text goes on past the last line shown, that line ends with "…".
class LineLimitedLabel : public QLabel {
public:
    LineLimitedLabel(QWidget* parent, const QFont& font, int lines) : QLabel(parent), lines_(lines) {
        setTextFormat(Qt::PlainText);
        setFont(font);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(0);
    }
    void setFullText(const QString& text) {
        full_ = text;
        fit();
    }
    const QString& fullText() const { return full_; }

    // Two lines never need more than the start of a long text.
    static constexpr qsizetype laidLength = 4000;

    // The lines `text` shows at `width` in `font`, at most `lines` of them.
    static QStringList shownLines(const QString& text, const QFont& font, int width, int lines) {
        QString flat = text.left(laidLength);
        flat.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        for (QChar& c : flat)
            if (c == u'\n' || c == u'\r') c = QChar::LineSeparator;
        QTextLayout layout(flat, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QStringList shown;
        qsizetype used = 0;
        while (shown.size() < lines) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            used = line.textStart() + line.textLength();
            shown.append(flat.mid(line.textStart(), line.textLength()).trimmed());  // with its line end
        }
        layout.endLayout();
        // Nothing but line ends and spaces after the last line shown is not more text.
        const bool goesOn = text.size() > laidLength || std::any_of(flat.cbegin() + used, flat.cend(), [](QChar c) {
                                return !c.isSpace() && c != QChar::LineSeparator;
                            });
        // The "…" after the last line, or in place of its end where there is no room for it.
        if (goesOn && !shown.isEmpty())
            shown.last() = QFontMetrics(font).elidedText(shown.last() + QStringLiteral("…"), Qt::ElideRight, width);
        return shown;
    }
    // The height of `count` lines, with the fallback fonts of Chinese text, which are taller than
    // the Latin font.
    static int heightOf(int count, const QFont& font) {
        QTextLayout sample(QStringLiteral("Ag国語"), font);
        sample.beginLayout();
        QTextLine line = sample.createLine();
        line.setLineWidth(10000);
        sample.endLayout();
        return count * qMax(QFontMetrics(font).lineSpacing(), int(std::ceil(line.height())));
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit() {
        const QStringList shown = shownLines(full_, font(), qMax(1, contentsRect().width()), lines_);
        setText(shown.join(u'\n'));
        setFixedHeight(heightOf(int(shown.size()), font()));
    }

    QString full_;
    int lines_;
};

// The rows of the list are widgets placed over the visible items; the delegate only gives the
// items their sizes.
class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(QObject* parent, std::function<QSize(const QModelIndex&)> size)
        : QStyledItemDelegate(parent), size_(std::move(size)) {}
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override { return size_(index); }
    void paint(QPainter*, const QStyleOptionViewItem&, const QModelIndex&) const override {}

private:
    std::function<QSize(const QModelIndex&)> size_;
};

// A list that says when what it shows may have moved: laid out, scrolled, resized.
class RecordList : public QListView {
public:
    RecordList(QWidget* parent, std::function<void()> moved, std::function<void()> resized)
        : QListView(parent), moved_(std::move(moved)), resized_(std::move(resized)) {}

protected:
    void updateGeometries() override {
        QListView::updateGeometries();
        moved_();
    }
    // Also the viewport's resizes (the list lays its items out again only when its height changes).
    void resizeEvent(QResizeEvent* event) override {
        QListView::resizeEvent(event);
        resized_();
    }
    void scrollContentsBy(int dx, int dy) override {
        QListView::scrollContentsBy(dx, dy);
        moved_();
    }

private:
    std::function<void()> moved_;
    std::function<void()> resized_;
};

}  // namespace

// The characters of a font whose glyphs the page has loaded. A font loads a character's glyph the
// first time a text of it is laid out, some fifteen microseconds a Chinese character, where laying
// out one it has loaded costs about one: a row of thousands of characters new to the font held the
// window up while it was measured. Their glyphs are loaded here a piece at a time before the row is
// measured, so that measuring it lays out known glyphs only.
class GlyphLoader {
public:
    explicit GlyphLoader(const QFont& font) : metrics_(font) {}

    // Loads the glyphs of the characters of `text` not loaded yet, a piece at a time until `clock`
    // has run `time` milliseconds; whether all are loaded.
    bool load(QStringView text, const QElapsedTimer& clock, int time) {
        QString piece;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const char32_t character = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
            if (!loaded_.contains(character)) {
                loaded_.insert(character);
                piece += text.mid(i, pair ? 2 : 1);
                if (piece.size() >= pieceLength) {
                    metrics_.horizontalAdvance(piece);
                    piece.clear();
                    if (clock.hasExpired(time)) return false;
                }
            }
            if (pair) ++i;
        }
        if (!piece.isEmpty()) metrics_.horizontalAdvance(piece);
        return true;
    }

private:
    // Characters laid out at once: about a millisecond when all are new.
    static constexpr qsizetype pieceLength = 100;

    QFontMetricsF metrics_;
    QSet<char32_t> loaded_;
};

// One record of the list.
class HistoryRow : public QWidget {
public:
    // Room between the text and the list's scroll bar.
    static constexpr int rightInset = 8;
    static QFont answerFont() { return lessonary::font(home_style::callout); }
    static QFont sourceFont() { return lessonary::font(home_style::headline, QFont::DemiBold); }
    static constexpr int sourceLines = 2;

    HistoryRow(QWidget* parent, bool withContinue) : QWidget(parent) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 7, rightInset, 7);
        column->setSpacing(7);
        source_ = new LineLimitedLabel(this, sourceFont(), sourceLines);
        source_->setObjectName(QStringLiteral("source"));
        column->addWidget(source_);
        answer_ = new WrappedText(this, answerFont());
        answer_->setObjectName(QStringLiteral("answer"));
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
        createdAt_ = record.createdAt.toDateTime().toLocalTime();
        mode_ = record.mode;
        source_->setFullText(record.source);
        answer_->setText(record.answer);
        showDate();
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

    // The source as the row shows it.
    QString sourceText() const { return source_->text(); }
    // Its buttons in the order Tab goes through them.
    QList<QToolButton*> buttons() const {
        QList<QToolButton*> all;
        for (QToolButton* button : {continue_, note_, delete_})
            if (button) all.append(button);
        return all;
    }
    // Its widget that has the keyboard focus, if any.
    QWidget* focused() const {
        QWidget* focus = focusWidget();
        return focus && focus->hasFocus() ? focus : nullptr;
    }

    QUuid id;
    QToolButton* continue_ = nullptr;
    QToolButton* note_ = nullptr;
    QToolButton* delete_ = nullptr;

protected:
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        // The window takes the interface language's locale when the language changes.
        if (event->type() == QEvent::LocaleChange) showDate();
    }

private:
    // The date in this locale's short form, then the mode as stored, never translated.
    void showDate() {
        date_->setText(locale().toString(createdAt_, QLocale::ShortFormat) + QStringLiteral(" · ") + mode_);
    }

    LineLimitedLabel* source_ = nullptr;
    WrappedText* answer_ = nullptr;
    QLabel* date_ = nullptr;
    bool isNote_ = false;
    QDateTime createdAt_;
    QString mode_;
};

namespace {

// The rows in sight of a record list, top to bottom (the row that only measures is never shown, and
// the rows kept just outside the list for the keyboard are not in sight).
QList<QWidget*> rowsInSight(const QListView* list) {
    QList<QWidget*> rows;
    for (QObject* object : list->viewport()->children())
        if (auto* row = dynamic_cast<HistoryRow*>(object);
            row && row->isVisible() && row->geometry().intersects(list->viewport()->rect()))
            rows.append(row);
    std::sort(rows.begin(), rows.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    return rows;
}

// Screen readers find the records as the rows in sight, each with its source, answer, date line
// and buttons (the list's own items only give the rows their places).
class AccessibleRecordList : public QAccessibleWidget {
public:
    explicit AccessibleRecordList(RecordList* list) : QAccessibleWidget(list, QAccessible::List) {}
    int childCount() const override { return int(rowsInSight(list()).size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> rows = rowsInSight(list());
        return index >= 0 && index < rows.size() ? QAccessible::queryAccessibleInterface(rows[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? int(rowsInSight(list()).indexOf(child->object())) : -1;
    }

private:
    const QListView* list() const { return static_cast<const QListView*>(widget()); }
};

class AccessibleRecordRow : public QAccessibleWidget {
public:
    explicit AccessibleRecordRow(HistoryRow* row) : QAccessibleWidget(row, QAccessible::ListItem) {}
    QAccessibleInterface* parent() const override {
        // The row lives on the list's viewport; its place for a screen reader is in the list.
        return QAccessible::queryAccessibleInterface(widget()->parentWidget()->parentWidget());
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) return static_cast<const HistoryRow*>(widget())->sourceText();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleRecords(const QString&, QObject* object) {
    if (auto* list = dynamic_cast<RecordList*>(object)) return new AccessibleRecordList(list);
    if (auto* row = dynamic_cast<HistoryRow*>(object)) return new AccessibleRecordRow(row);
    return nullptr;
}

}  // namespace

HistoryView::HistoryView(HistoryStore& history, ContinueCallback onContinue, std::function<void()> onClose,
                         QWidget* parent)
    : QWidget(parent), history_(history), onContinue_(std::move(onContinue)), onClose_(std::move(onClose)) {
    static const bool installed = (QAccessible::installFactory(accessibleRecords), true);
    Q_UNUSED(installed);
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
    // Its messages name the history's file, however long its path.
    statusLine_ = new WrappedText(this, lessonary::font(home_style::caption));
    statusLine_->setObjectName(QStringLiteral("storeStatus"));
    statusLine_->setMinimumHeightFollowsWidth(true);
    column->addWidget(statusLine_);

    model_ = new HistoryListModel(history_, this);
    placeTimer_ = new QTimer(this);
    placeTimer_->setSingleShot(true);
    placeTimer_->setInterval(0);
    connect(placeTimer_, &QTimer::timeout, this, &HistoryView::placeRows);
    measureTimer_ = new QTimer(this);
    measureTimer_->setSingleShot(true);
    measureTimer_->setInterval(0);
    connect(measureTimer_, &QTimer::timeout, this, [this] {
        // Rows waiting to be placed in sight go first, on a turn of their own.
        if (placeTimer_->isActive()) return measureTimer_->start();
        // (Where the list stands before the new heights move the rows. The rows come into sight
        // on the next turn of the event loop.)
        const Anchor anchor = topRecord();
        const Measuring measuring = measureSome();
        // Rows measured out of sight only make the list longer: it is laid out again a few times a
        // second for them, and once all are measured.
        if (measuring == Measuring::inSight ||
            (measuring == Measuring::outOfSight &&
             (!laidOut_.isValid() || laidOut_.hasExpired(layOutInterval) || nextToMeasure() < 0)))
            layOut(anchor);
    });
    answerGlyphs_ = std::make_unique<GlyphLoader>(HistoryRow::answerFont());
    sourceGlyphs_ = std::make_unique<GlyphLoader>(HistoryRow::sourceFont());
    list_ = new RecordList(
        this,
        [this] {
            if (!placeTimer_->isActive()) placeTimer_->start();
        },
        [this] {
            // The rows' heights follow their width: those in sight are measured again at once.
            if (measuredWidth_ < 0 || rowWidth() == measuredWidth_) return;
            const Anchor anchor = topRecord();
            if (measureSome() == Measuring::none) return;
            layOut(anchor);
            placeRows();
        });
    list_->setObjectName(QStringLiteral("records"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->verticalScrollBar()->setSingleStep(20);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setResizeMode(QListView::Adjust);
    // The list gives a row room once it is measured: rows are measured a few at a time between
    // other events, those in sight first, so that a long history never holds the window up.
    list_->setAutoFillBackground(false);
    list_->viewport()->setAutoFillBackground(false);
    list_->setItemDelegate(
        new RowDelegate(list_, [this](const QModelIndex& index) { return QSize(rowWidth(), rowHeight(index)); }));
    list_->setModel(model_);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { anchor_ = topRecord(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        rebuildRows(anchor_);
        deleteAll_->setEnabled(!history_.records().isEmpty());
    });
    column->addWidget(list_, 1);

    auto* footer = new QHBoxLayout();
    deleteAll_ = makeButton(this, QStringLiteral("deleteAllButton"));
    footer->addWidget(deleteAll_);
    footer->addStretch(1);
    column->addLayout(footer);

    connect(notesOnly_, &QCheckBox::toggled, model_, &HistoryListModel::setNotesOnly);
    connect(back_, &QPushButton::clicked, this, &HistoryView::leave);
    // Escape goes back wherever the focus is in the window while the page is shown, also when the
    // page was opened from the sidebar, whose row keeps the focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &HistoryView::leave);
    connect(importButton_, &QPushButton::clicked, this, &HistoryView::importLegacy);
    connect(deleteAll_, &QPushButton::clicked, this, [this] { askToDelete(All{}); });
    connect(&history_, &HistoryStore::recordsChanged, this, &HistoryView::showStoreState);
    connect(&history_, &HistoryStore::statusMessageChanged, this, &HistoryView::showStoreState);
    lessonary::follow(
        this,
        [this] {
            retranslate();
            // Rows made in another language may not be as tall as those made in this one (their
            // buttons' titles and dates take other fonts): the rows in sight and the row that
            // measures are made again, and the list laid out again with the new measure.
            const Anchor anchor = topRecord();
            if (prototype_) {
                prototype_->hide();
                prototype_->deleteLater();
                prototype_ = nullptr;
            }
            prototypeWidth_ = -1;
            rebuildRows(anchor);
        },
        [this] { restyle(); });

    deleteAll_->setEnabled(!history_.records().isEmpty());
    retranslate();
    restyle();
}

HistoryView::~HistoryView() = default;

int HistoryView::rowWidth() const {
    // The room the scroll bar takes when it shows is kept free while it does not: a long list
    // brings the bar in only once its first rows are measured, and they keep their width then.
    QStyleOption option;
    option.initFrom(list_);
    const QScrollBar* bar = list_->verticalScrollBar();
    int barRoom =
        bar->sizeHint().width() - bar->style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarOverlap, &option, bar);
    if (list_->style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, &option, list_))
        barRoom += list_->style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, &option, list_);
    return qMax(1, list_->maximumViewportSize().width() - qMax(0, barRoom));
}

int HistoryView::rowHeight(const QModelIndex& index) const {
    const auto measured = heights_.constFind(model_->record(index.row()).id);
    if (measured == heights_.constEnd()) return 0;
    const int width = rowWidth();
    if (!prototype_ || prototypeWidth_ != width) {
        // The height of a row without its source's lines and its answer, measured once per width
        // and language on a row made as the list's rows are (where they take their fonts from).
        if (!prototype_) {
            prototype_ = new HistoryRow(list_->viewport(), bool(onContinue_));
            prototype_->hide();
            LearningRecord sample;
            sample.source = QStringLiteral("x");
            sample.mode = QStringLiteral("explain");
            prototype_->show(sample);
        }
        prototypeWidth_ = width;
        prototypeHeight_ =
            prototype_->layout()->totalHeightForWidth(width) - LineLimitedLabel::heightOf(1, HistoryRow::sourceFont());
    }
    return prototypeHeight_ + measured->sourceHeight + measured->answerHeight;
}

bool HistoryView::isMeasured(int row, int width) const {
    const LearningRecord& record = model_->record(row);
    const auto measured = heights_.constFind(record.id);
    return measured != heights_.constEnd() && measured->width == width &&
           measured->answerLength == record.answer.size();
}

int HistoryView::nextToMeasure(bool* inSight) {
    const int width = rowWidth();
    if (width != measuredWidth_) {
        measuredWidth_ = width;
        measuredFrom_ = 0;
    }
    const int rows = model_->rowCount();
    // The rows in sight, down to the list's bottom edge (rows not measured yet take no room).
    const QModelIndex top = list_->indexAt(QPoint(0, 0));
    if (inSight) *inSight = true;
    for (int row = top.isValid() ? top.row() : rows; row < rows; ++row) {
        if (!isMeasured(row, width)) return row;
        if (list_->visualRect(model_->index(row)).bottom() >= list_->viewport()->height()) break;
    }
    while (measuredFrom_ < rows && isMeasured(measuredFrom_, width)) ++measuredFrom_;
    if (measuredFrom_ == rows) return -1;
    if (inSight) {
        // Where the row will start: below the rows the list has laid out and those measured since.
        int low = 0, high = measuredFrom_;
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (list_->visualRect(model_->index(middle)).isValid())
                low = middle + 1;
            else
                high = middle;
        }
        int top =
            low > 0 ? list_->visualRect(model_->index(low - 1)).bottom() + 1 : -list_->verticalScrollBar()->value();
        for (int row = low; row < measuredFrom_ && top < list_->viewport()->height(); ++row)
            top += rowHeight(model_->index(row));
        *inSight = top < list_->viewport()->height();
    }
    return measuredFrom_;
}

HistoryView::Measuring HistoryView::measureSome() {
    QElapsedTimer clock;
    clock.start();
    Measuring measured = Measuring::none;
    bool inSight = false;
    for (int row = nextToMeasure(&inSight); row >= 0;) {
        const LearningRecord& record = model_->record(row);
        // (An answer shows at most its first ShownAnswer::limit characters.)
        if (!answerGlyphs_->load(QStringView(record.answer).left(2 * ShownAnswer::limit), clock, measureTime) ||
            !sourceGlyphs_->load(QStringView(record.source).left(LineLimitedLabel::laidLength), clock, measureTime))
            break;
        const int textWidth = measuredWidth_ - HistoryRow::rightInset;
        const QFont sourceFont = HistoryRow::sourceFont();
        heights_[record.id] = Measured{
            measuredWidth_, record.answer.size(),
            WrappedText::heightFor(record.answer, HistoryRow::answerFont(), textWidth),
            LineLimitedLabel::heightOf(
                int(LineLimitedLabel::shownLines(record.source, sourceFont, textWidth, HistoryRow::sourceLines).size()),
                sourceFont)};
        if (inSight || measured == Measuring::none) measured = inSight ? Measuring::inSight : Measuring::outOfSight;
        // The first rows in sight are shown before the others are measured.
        const bool measuredInSight = inSight;
        row = nextToMeasure(&inSight);
        if (clock.hasExpired(measureTime) || (rows_.isEmpty() && measuredInSight && !inSight)) break;
    }
    if (nextToMeasure() >= 0) measureTimer_->start();
    return measured;
}

HistoryView::Anchor HistoryView::topRecord() const {
    // At the top the list stays at the top, where new records come in.
    const QModelIndex top = list_->indexAt(QPoint(0, 0));
    return top.isValid() && list_->verticalScrollBar()->value() > 0
               ? Anchor{model_->record(top.row()).id, top.row(), -list_->visualRect(top).top()}
               : Anchor{};
}

void HistoryView::rebuildRows(const Anchor& anchor) {
    // A row may go while one of its own buttons is being handled (a note unmarked under the filter).
    // A button that has the focus has it again in its record's new row, where that row is built.
    for (HistoryRow* row : std::as_const(rows_))
        if (QWidget* focused = row->focused()) {
            refocus_ = {row->id, focused->objectName()};
            // Held meanwhile by the page, so that it does not pass from row to row as they go.
            setFocus(Qt::OtherFocusReason);
        }
    for (HistoryRow* row : std::as_const(rows_)) {
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    // Rows measured before keep their heights; new ones are measured now as far as a turn allows.
    measuredFrom_ = 0;
    measureSome();
    layOut(anchor);
    placeRows();
}

void HistoryView::layOut(const Anchor& anchor) {
    laidOut_.start();
    list_->doItemsLayout();
    if (anchor.row >= 0 && model_->rowCount() > 0) {
        int row = model_->rowOf(anchor.id);
        int offset = anchor.offset;
        if (row < 0) {
            row = qMin(anchor.row, model_->rowCount() - 1);
            offset = 0;
        }
        const QRect rect = list_->visualRect(model_->index(row));
        if (rect.isValid())
            list_->verticalScrollBar()->setValue(list_->verticalScrollBar()->value() + rect.top() + offset);
    }
}

void HistoryView::placeRows() {
    placeTimer_->stop();
    // Widgets only for the rows in sight, made when they come into sight, and for one row on either
    // side of them, so that Tab and Shift+Tab reach the next record; a row that has the focus stays.
    const QRect area = list_->viewport()->rect();
    const int width = rowWidth();
    QList<HistoryRow*> placed;
    const QModelIndex top = list_->indexAt(QPoint(0, 0));
    for (int row = top.isValid() ? qMax(0, top.row() - 1) : 0; row < model_->rowCount(); ++row) {
        const QModelIndex index = model_->index(row);
        const QRect rect = list_->visualRect(index);
        if (!rect.isValid() || !isMeasured(row, width)) break;  // not measured (at this width) yet
        HistoryRow* widget = rows_.value(model_->record(row).id);
        if (!widget) widget = makeRow(index);
        placed.append(widget);
        if (rect.top() > area.bottom()) break;  // the one below
    }
    // The focus of a row built again goes back to it once the rows are placed (unless it went
    // elsewhere meanwhile).
    if (refocus_ && !placed.isEmpty()) {
        if (HistoryRow* row = rows_.value(refocus_->first); row && hasFocus())
            if (auto* button = row->findChild<QToolButton*>(refocus_->second)) button->setFocus(Qt::OtherFocusReason);
        refocus_.reset();
    }
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (placed.contains(it.value()) || it.value()->focused()) {
            const int row = model_->rowOf(it.key());
            const QRect rect = list_->visualRect(model_->index(row));
            it.value()->setGeometry(rect.x(), rect.y(), rowWidth(), rect.height());
            it.value()->setVisible(true);
            ++it;
            continue;
        }
        it.value()->hide();
        it.value()->deleteLater();
        it = rows_.erase(it);
    }
    // Tab goes from the header through the records' buttons in the list's order to the footer.
    QList<HistoryRow*> ordered = rows_.values();
    std::sort(ordered.begin(), ordered.end(),
              [this](HistoryRow* a, HistoryRow* b) { return model_->rowOf(a->id) < model_->rowOf(b->id); });
    QWidget* previous = importButton_;
    for (HistoryRow* row : std::as_const(ordered))
        for (QToolButton* button : row->buttons()) {
            QWidget::setTabOrder(previous, button);
            previous = button;
        }
    QWidget::setTabOrder(previous, deleteAll_);
}

HistoryRow* HistoryView::makeRow(const QModelIndex& index) {
    const LearningRecord& record = model_->record(index.row());
    // A child of the list's viewport, which moves it when the list scrolls. (Not an index widget:
    // each of those would start the list's layout over.)
    auto* row = new HistoryRow(list_->viewport(), bool(onContinue_));
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
    for (QToolButton* button : row->buttons()) button->installEventFilter(this);
    row->setAutoFillBackground(false);
    row->restyle(currentScheme());
    row->show(record);
    rows_.insert(id, row);
    return row;
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
        confirmation_ = new ConfirmationSheet(this);
        confirmation_->setObjectName(QStringLiteral("deleteConfirmation"));
        confirmation_->setIcon(QMessageBox::Warning);
        QPushButton* confirm = confirmation_->addButton(QString(), QMessageBox::DestructiveRole);
        confirm->setObjectName(QStringLiteral("confirmButton"));
        QPushButton* cancel = confirmation_->addButton(QString(), QMessageBox::RejectRole);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        confirmation_->setDefaultButton(cancel);
        connect(confirmation_, &QMessageBox::finished, this, [this] {
            if (confirmation_->clickedButton() &&
                confirmation_->buttonRole(confirmation_->clickedButton()) == QMessageBox::DestructiveRole)
                confirmDeletion();
            deleteScope_.reset();
        });
    }
    retranslate();
    openSheet(confirmation_);
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

bool HistoryView::eventFilter(QObject* watched, QEvent* event) {
    // A row's button reached with Tab or Shift+Tab is scrolled into sight.
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) reveal(static_cast<QWidget*>(watched));
    }
    return QWidget::eventFilter(watched, event);
}

void HistoryView::reveal(QWidget* button) {
    const QWidget* row = button->parentWidget();
    const QRect area = list_->viewport()->rect();
    const QRect place = row->geometry();
    const QRect buttonPlace(button->mapTo(list_->viewport(), QPoint()), button->size());
    int by = 0;
    if (place.height() <= area.height()) {
        // The whole row, with its source and answer.
        if (place.top() < area.top())
            by = place.top() - area.top();
        else if (place.bottom() > area.bottom())
            by = place.bottom() - area.bottom();
    } else if (buttonPlace.top() < area.top() || buttonPlace.bottom() > area.bottom()) {
        // A row taller than the list: its foot, where its buttons are.
        by = place.bottom() - area.bottom();
    }
    if (by != 0) list_->verticalScrollBar()->setValue(list_->verticalScrollBar()->value() + by);
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
    account_style::setTitle(importButton_, choose("复制旧版本历史到此账户", "Copy legacy history to this account",
                                                  "Copier l’ancien historique ici"));
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
    if (prototype_) prototype_->retranslate();
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
        static_cast<ConfirmationSheet*>(confirmation_)->widen();
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
    // Opened anew, the page starts at the newest record.
    if (!event->spontaneous()) list_->verticalScrollBar()->setValue(0);
    // The guest history file may have appeared since.
    showStoreState();
    if (nextToMeasure() >= 0) measureTimer_->start();
}

void HistoryView::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), LessonaryTheme::paper(currentScheme())); }

}  // namespace velquin

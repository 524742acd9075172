#include "app/main-window/recent_history_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "app/account/history_store.h"
#include "app/main-window/home_style.h"
#include "app/main-window/relative_time.h"
#include "app/shell/app_store.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/symbol_image.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr qreal kRowRadius = 11;
constexpr int kRowHorizontalPadding = 12;
constexpr int kRowVerticalPadding = 10;
constexpr int kStateColumnWidth = 25;
constexpr int kSymbolSize = 16;
constexpr int kLineGap = 3;

QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = u' ';
    }
    return text;
}

// One record's ground: the control background, faint, with rounded corners.
class RecordRow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor ground = palette().color(QPalette::Base);
        ground.setAlphaF(0.65f);
        LessonaryTheme::fillRounded(painter, QRectF(rect()), ground, kRowRadius);
    }
};

}  // namespace

// ---- RecentRecordButton ----------------------------------------------------------------------

RecentRecordButton::RecentRecordButton(const LearningRecord& record, QWidget* parent)
    : QAbstractButton(parent), source_(oneLine(record.source)) {
    setObjectName(QStringLiteral("orvel.history.reopen.") + record.id.toString(QUuid::WithoutBraces).toUpper());
    setAccessibleName(record.source);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(lessonary::font(home_style::callout, QFont::Medium));
}

void RecentRecordButton::setTimeText(const QString& text) {
    if (text == time_) return;
    time_ = text;
    setAccessibleDescription(text);
    update();
}

QSize RecentRecordButton::sizeHint() const {
    const QFontMetrics source(font());
    const QFontMetrics time(lessonary::font(home_style::caption2));
    return {source.horizontalAdvance(source_), source.height() + kLineGap + time.height()};
}

QSize RecentRecordButton::minimumSizeHint() const { return {0, sizeHint().height()}; }

void RecentRecordButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ColorScheme scheme = home_style::scheme();
    QColor ink = LessonaryTheme::ink(scheme);
    QColor secondary = home_style::secondary(scheme);
    if (isDown()) {
        ink.setAlphaF(0.6f);
        secondary.setAlphaF(0.6f);
    }
    const QFontMetrics sourceMetrics(font());
    painter.setFont(font());
    painter.setPen(ink);
    painter.drawText(QRect(0, 0, width(), sourceMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     sourceMetrics.elidedText(source_, Qt::ElideRight, width()));
    const QFont timeFont = lessonary::font(home_style::caption2);
    painter.setFont(timeFont);
    painter.setPen(secondary);
    painter.drawText(QRect(0, sourceMetrics.height() + kLineGap, width(), QFontMetrics(timeFont).height()),
                     Qt::AlignLeft | Qt::AlignVCenter, time_);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// ---- RecentHistorySection --------------------------------------------------------------------

RecentHistorySection::RecentHistorySection(AppStore& store, HistoryStore& history, WorkspaceRouter& router,
                                           QWidget* parent)
    : QWidget(parent), store_(store), history_(history), router_(router) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(9);

    auto* header = new QHBoxLayout();
    title_ = lessonary::makeLabel(this, lessonary::font(home_style::headline, QFont::DemiBold), false);
    header->addWidget(title_);
    header->addStretch(1);
    showAll_ = new QPushButton(this);
    showAll_->setCursor(Qt::PointingHandCursor);
    showAll_->setFont(lessonary::font(home_style::body));
    header->addWidget(showAll_);
    stack->addLayout(header);
    connect(showAll_, &QPushButton::clicked, this, [this] { router_.open(WorkspaceRouter::Page::history); });

    empty_ = lessonary::makeLabel(this, lessonary::font(home_style::callout), true);
    empty_->setContentsMargins(14, 14, 14, 14);
    stack->addWidget(empty_);
    rows_ = new QVBoxLayout();
    rows_->setSpacing(9);
    stack->addLayout(rows_);

    clock_.setSingleShot(true);
    connect(&clock_, &QTimer::timeout, this, &RecentHistorySection::showTimes);
    connect(&history_, &HistoryStore::recordsChanged, this, &RecentHistorySection::showRecords);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    showRecords();
    retranslate();
    restyle();
}

void RecentHistorySection::showRecords() {
    const QList<LearningRecord> records = history_.records().mid(0, shownRecords);
    const bool same = records.size() == shown_.size() &&
                      std::equal(records.begin(), records.end(), shown_.begin(), [](const auto& a, const auto& b) {
                          return a.id == b.id && a.source == b.source && a.isNote == b.isNote &&
                                 a.createdAt == b.createdAt;
                      });
    if (same) return;
    shown_ = records;
    // A row may be the sender of the click that changed the history: it goes once that is over.
    for (QWidget* row : std::as_const(rowWidgets_)) {
        row->hide();
        row->deleteLater();
    }
    rowWidgets_.clear();
    stateLabels_.clear();
    reopenButtons_.clear();
    noteButtons_.clear();
    for (const LearningRecord& record : shown_) {
        auto* row = new RecordRow(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(kRowHorizontalPadding, kRowVerticalPadding, kRowHorizontalPadding,
                                   kRowVerticalPadding);
        layout->setSpacing(11);
        auto* state = new QLabel(row);
        state->setFixedWidth(kStateColumnWidth);
        state->setProperty("symbol", record.isNote ? QStringLiteral("bookmark.fill") : QStringLiteral("doc.text"));
        layout->addWidget(state);
        stateLabels_.append(state);
        auto* reopen = new RecentRecordButton(record, row);
        layout->addWidget(reopen, 1);
        auto* note = new QToolButton(row);
        note->setAutoRaise(true);
        note->setCursor(Qt::PointingHandCursor);
        note->setIconSize(QSize(kSymbolSize, kSymbolSize));
        note->setProperty("symbol", record.isNote ? QStringLiteral("bookmark.fill") : QStringLiteral("bookmark"));
        layout->addWidget(note);
        rows_->addWidget(row);
        rowWidgets_.append(row);
        reopenButtons_.append(reopen);
        noteButtons_.append(note);
        // The row is rebuilt whenever the history changes, so the record it holds is current.
        connect(reopen, &QAbstractButton::clicked, this, [this, record] { store_.reopenHistoryRecord(record); });
        connect(note, &QToolButton::clicked, this, [this, record] { history_.toggleNote(record); });
    }
    empty_->setVisible(shown_.isEmpty());
    retranslate();
    restyle();
}

void RecentHistorySection::setClock(std::function<base::Date()> now) {
    now_ = std::move(now);
    showTimes();
}

void RecentHistorySection::showTimes() {
    const base::Date now = now_();
    const InterfaceLanguage language = InterfaceSettings::shared().language();
    double nextChange = INFINITY;
    for (qsizetype i = 0; i < shown_.size(); ++i) {
        const double age = now.secondsSinceReference - shown_[i].createdAt.secondsSinceReference;
        reopenButtons_[i]->setTimeText(RelativeTime::text(age, language));
        nextChange = std::min(nextChange, RelativeTime::secondsUntilChange(age));
    }
    if (std::isfinite(nextChange))
        clock_.start(int(std::clamp(std::ceil(nextChange * 1000), 100.0, 3600.0 * 1000)));
    else
        clock_.stop();
}

void RecentHistorySection::retranslate() {
    title_->setText(UIStrings::text(QStringLiteral("最近学习")));
    showAll_->setText(UIStrings::text(QStringLiteral("查看全部")));
    empty_->setText(UIStrings::text(QStringLiteral("暂无学习记录")));
    for (qsizetype i = 0; i < shown_.size(); ++i) {
        noteButtons_[i]->setToolTip(UIStrings::text(shown_[i].isNote ? QStringLiteral("取消收藏")
                                                                      : QStringLiteral("加入笔记")));
        noteButtons_[i]->setAccessibleName(noteButtons_[i]->toolTip());
    }
    showTimes();
}

void RecentHistorySection::restyle() {
    const ColorScheme scheme = home_style::scheme();
    const qreal ratio = devicePixelRatioF();
    const QColor ink = LessonaryTheme::ink(scheme);
    lessonary::setTextColor(title_, ink);
    lessonary::setTextColor(empty_, home_style::secondary(scheme));
    home_style::styleBorderless(showAll_, OrvelBrand::accent());
    for (qsizetype i = 0; i < shown_.size(); ++i) {
        QLabel* state = stateLabels_[i];
        const bool note = shown_[i].isNote;
        state->setPixmap(SymbolImage::pixmap(state->property("symbol").toString(), QSize(kSymbolSize, kSymbolSize),
                                             note ? OrvelBrand::accent() : home_style::secondary(scheme), ratio));
        noteButtons_[i]->setIcon(
            home_style::symbolIcon(noteButtons_[i]->property("symbol").toString(), ink, kSymbolSize, ratio));
        rowWidgets_[i]->update();
    }
}

}  // namespace velquin

#include "app/tutor-lesson/merid_history_session_row.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

MeridHistorySessionRow::MeridHistorySessionRow(const QString& title, const QString& evidence, bool isActive,
                                               bool busy, QWidget* parent)
    : QAbstractButton(parent), active_(isActive) {
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(9, 9, 9, 9);
    row->setSpacing(9);
    symbol_ = new LessonarySymbol(isActive ? QStringLiteral("book.closed.fill") : QStringLiteral("clock.arrow.circlepath"),
                                  14, this);
    row->addWidget(symbol_, 0, Qt::AlignVCenter);
    auto* text = new QVBoxLayout();
    text->setSpacing(4);
    title_ = new LessonaryElidedLabel(2, this);
    title_->setFont(lessonary::font(11, QFont::Medium));
    evidence_ = new LessonaryElidedLabel(1, this);
    evidence_->setFont(lessonary::font(10));
    for (QWidget* label : {static_cast<QWidget*>(title_), static_cast<QWidget*>(evidence_)})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    text->addWidget(title_);
    text->addWidget(evidence_);
    row->addLayout(text, 1);

    connect(this, &QAbstractButton::clicked, this, &MeridHistorySessionRow::openRequested);
    // Its colours are the palette's: taken again once a new palette is in (changeEvent()).
    lessonary::follow(this, [this] { update(); }, nullptr);
    setContent(title, evidence, isActive, busy);
    restyle();
}

void MeridHistorySessionRow::setContent(const QString& title, const QString& evidence, bool isActive, bool busy) {
    setEnabled(!busy);
    setAccessibleName(title);
    title_->setFullText(title);
    evidence_->setFullText(evidence);
    setProperty("isActive", isActive);
    if (active_ == isActive) return;
    active_ = isActive;
    symbol_->setName(isActive ? QStringLiteral("book.closed.fill") : QStringLiteral("clock.arrow.circlepath"));
    restyle();
}

QString MeridHistorySessionRow::deleteItemText() { return UIStrings::text(QStringLiteral("删除此会话")); }

QSize MeridHistorySessionRow::sizeHint() const { return layout()->sizeHint(); }
QSize MeridHistorySessionRow::minimumSizeHint() const { return layout()->minimumSize(); }
int MeridHistorySessionRow::heightForWidth(int width) const { return layout()->totalHeightForWidth(width); }

void MeridHistorySessionRow::restyle() {
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    symbol_->setColor(active_ ? lessonary::componentAccent() : secondary);
    lessonary::setTextColor(evidence_, secondary);
    update();
}

void MeridHistorySessionRow::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && evidence_) restyle();
}

void MeridHistorySessionRow::paintEvent(QPaintEvent*) {
    // The whole row is the click target; the open session sits on a faint accent.
    if (!active_) return;
    QColor fill = lessonary::componentAccent();
    fill.setAlphaF(0.12f);
    QPainter painter(this);
    LessonaryTheme::fillRounded(painter, QRectF(rect()), fill, 9);
}

void MeridHistorySessionRow::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* remove = menu->addAction(deleteItemText());
    remove->setEnabled(isEnabled());
    connect(remove, &QAction::triggered, this, [this] {
        if (isEnabled()) Q_EMIT deleteRequested();
    });
    menu->popup(event->globalPos());
}

}  // namespace velquin

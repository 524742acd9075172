#include "app/tutor-lesson/merid_past_turn_row.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace velquin {

MeridPastTurnRow::MeridPastTurnRow(const meridcore::TeacherTurn& turn, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(4);
    heading_ = lessonary::makeLabel(this, lessonary::font(11, QFont::Medium), false);
    heading_->setText(heading(turn.role));
    column->addWidget(heading_);
    content_ = new MeridMathRichText(turn.content, 12, QFont::Normal, false, this);
    column->addWidget(content_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    lessonary::follow(this, nullptr, [this] { update(); });
}

QString MeridPastTurnRow::heading(meridcore::TeacherTurn::Role role) {
    return role == meridcore::TeacherTurn::Role::user ? QStringLiteral("我的提问 / 操作")
                                                       : QStringLiteral("Merid · 教学记录");
}

void MeridPastTurnRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    LessonaryTheme::fillRounded(painter, QRectF(rect()), palette().color(QPalette::Base), 9);
}

}  // namespace velquin

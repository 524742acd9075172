#include "app/tutor-lesson/lessonary_paper_card.h"

#include <QPainter>
#include <QVBoxLayout>

#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

LessonaryPaperCard::LessonaryPaperCard(QWidget* content, QWidget* parent) : QWidget(parent), content_(content) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(0);
    // The content takes the whole inner width, so wrapping text uses it; it lays itself out leading.
    if (content_) column->addWidget(content_);
    // Fills the width it is offered; as high as its content.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    lessonary::follow(this, nullptr, [this] { update(); });
}

void LessonaryPaperCard::paintEvent(QPaintEvent*) {
    const ColorScheme scheme = lessonary::currentScheme();
    QPainter painter(this);
    const QRectF bounds(rect());
    LessonaryTheme::fillRounded(painter, bounds, LessonaryMERIDPalette::card(scheme), cornerRadius);
    LessonaryTheme::strokeInside(painter, bounds, LessonaryMERIDPalette::line(scheme), cornerRadius);
}

}  // namespace velquin

#include "app/main-window/surface_card.h"

#include <QPainter>
#include <QVBoxLayout>

#include "app/main-window/home_style.h"
#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin {

SurfaceCard::SurfaceCard(qreal radius, int padding, int spacing, QWidget* parent) : QWidget(parent), radius_(radius) {
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(padding, padding, padding, padding);
    column_->setSpacing(spacing);
    connect(&ApplicationAppearance::shared(), &ApplicationAppearance::colorSchemeChanged, this, [this] { update(); });
}

void SurfaceCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ColorScheme scheme = home_style::scheme();
    LessonaryTheme::fillRounded(painter, QRectF(rect()), LessonaryTheme::surface(scheme), radius_);
    LessonaryTheme::border(painter, QRectF(rect()), scheme, radius_);
}

}  // namespace velquin

#include "app/select-anywhere/floating_bulb_view.h"

#include <QPainter>

namespace velquin {

FloatingBulbView::FloatingBulbView(FloatingBulbPhase phase, QWidget* parent) : QWidget(parent), phase_(phase) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setProperty("phase", base::rawValue(phase_));
    connect(&ApplicationAppearance::shared(), &ApplicationAppearance::colorSchemeChanged, this,
            [this] { update(); });
}

void FloatingBulbView::setPhase(FloatingBulbPhase phase) {
    if (phase_ == phase) return;
    phase_ = phase;
    setProperty("phase", base::rawValue(phase_));
    update();
}

void FloatingBulbView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    FloatingBulbArtwork::paint(painter, rect(), ApplicationAppearance::shared().colorScheme(), phase_);
}

}  // namespace velquin

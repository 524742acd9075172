#include "app/select-anywhere/selection_icon_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/select-anywhere/floating_bulb_artwork.h"

namespace velquin {

SelectionIconView::SelectionIconView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    connect(&ApplicationAppearance::shared(), &ApplicationAppearance::colorSchemeChanged, this,
            [this] { update(); });
}

void SelectionIconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    FloatingBulbArtwork::paint(painter, rect(), ApplicationAppearance::shared().colorScheme(),
                               FloatingBulbPhase::idle);
}

void SelectionIconView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton && clicked_) clicked_();
}

}  // namespace velquin

#include "app/tutor-lesson/busy_spinner.h"

#include <QPainter>

#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kFrameMs = 50;
constexpr int kStepDegrees = 30;

}  // namespace

BusySpinner::BusySpinner(int size, QWidget* parent) : QWidget(parent) {
    setFixedSize(size, size);
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + kStepDegrees) % 360;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal line = std::max(1.5, width() / 8.0);
    const QRectF bounds = QRectF(rect()).adjusted(line, line, -line, -line);
    const QColor ink = LessonaryTheme::inkSecondary(lessonary::currentScheme());
    QColor track = ink;
    track.setAlphaF(0.25f);
    painter.setPen(QPen(track, line));
    painter.drawEllipse(bounds);
    painter.setPen(QPen(ink, line, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(bounds, -angle_ * 16, 100 * 16);
}

void BusySpinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start();
}

void BusySpinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

}  // namespace velquin

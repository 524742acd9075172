#include "app/main-window/segment_track.h"

#include <QPainter>

#include "app/main-window/home_style.h"
#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin {

void SegmentTrack::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    LessonaryTheme::fillRounded(painter, QRectF(rect()), LessonaryTheme::rail(home_style::scheme()), radius);
}

}  // namespace velquin

#include "app/main-window/page_title.h"

#include <QLabel>

#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

QLabel* makePageTitle(QWidget* parent) {
    return lessonary::makeLabel(parent, lessonary::font(24, QFont::DemiBold), false);
}

}  // namespace velquin

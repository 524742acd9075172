#include <QApplication>
#include <QHBoxLayout>
#include <gtest/gtest.h>

#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "lesson_sessions.h"

namespace velquin {
namespace {

TEST(LessonaryElidedLabel, KeepsItsLinesAndCutsTheLastOne) {
    QWidget host;
    auto* row = new QHBoxLayout(&host);
    auto* label = new LessonaryElidedLabel(1, &host);
    label->setFont(lessonary::font(11));
    label->setFullText(QStringLiteral("代数讲义.pdf"));
    row->addWidget(label);
    row->addStretch(1);
    host.resize(400, 40);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(label->text(), QStringLiteral("代数讲义.pdf")) << label->width() << " " << label->sizeHint().width();
}

}  // namespace
}  // namespace velquin

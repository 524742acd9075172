#include "app/tutor-workspace/merid_course_editor_view.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-workspace/merid_formal_workspace_controller.h"
#include "base/text.h"

namespace velquin {

using meridcore::TeacherLearningSession;

MeridCourseEditorView::MeridCourseEditorView(MeridFormalWorkspaceController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setObjectName(QStringLiteral("orvel.merid.course-editor"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(15, 15, 15, 15);
    stack->setSpacing(10);
    heading_ = lessonary::makeLabel(this, lessonary::font(12, QFont::DemiBold), false);
    course_ = new QLineEdit(this);
    course_->setObjectName(QStringLiteral("orvel.merid.course-name"));
    topic_ = new QLineEdit(this);
    topic_->setObjectName(QStringLiteral("orvel.merid.topic-name"));
    stack->addWidget(heading_);
    stack->addWidget(course_);
    stack->addWidget(topic_);

    // Only the student's edits change the session; refresh() sets the fields without them.
    connect(course_, &QLineEdit::textEdited, this, &MeridCourseEditorView::editCourse);
    connect(topic_, &QLineEdit::textEdited, this, &MeridCourseEditorView::editTopic);
    connect(&controller_, &MeridFormalWorkspaceController::activeChanged, this, &MeridCourseEditorView::refresh);
    lessonary::follow(this, [this] { retranslate(); }, [this] { update(); });
    retranslate();
    refresh();
}

void MeridCourseEditorView::refresh() {
    const TeacherLearningSession& active = controller_.active();
    const QString course = active.courseName.value_or(QString());
    const QString topic = active.topicName.value_or(QString());
    if (course_->text() != course) course_->setText(course);
    if (topic_->text() != topic) topic_->setText(topic);
}

void MeridCourseEditorView::editCourse(const QString& text) {
    const QString kept = base::text::graphemePrefix(text, courseNameLength);
    if (kept != text) course_->setText(kept);
    controller_.editActive([&kept](TeacherLearningSession& session) { session.courseName = kept; });
}

void MeridCourseEditorView::editTopic(const QString& text) {
    const QString kept = base::text::graphemePrefix(text, topicNameLength);
    if (kept != text) topic_->setText(kept);
    controller_.editActive([&kept](TeacherLearningSession& session) {
        session.topicName = kept;
        if (session.coursePlan) session.coursePlan->activeTopicID.reset();
        session.latestClassroomResponse.reset();
        session.latestClassroomMode.reset();
        session.lastPedagogicalAction.reset();
    });
}

void MeridCourseEditorView::retranslate() {
    heading_->setText(UIStrings::text(QStringLiteral("课程与当前知识点")));
    course_->setPlaceholderText(UIStrings::text(QStringLiteral("课程名称，例如 ADM2336")));
    topic_->setPlaceholderText(UIStrings::text(QStringLiteral("知识点，例如 Big Five Personality")));
}

void MeridCourseEditorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(shape, palette().color(QPalette::Base));
}

}  // namespace velquin

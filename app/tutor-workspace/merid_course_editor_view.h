#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace velquin {

class MeridFormalWorkspaceController;

// The course editor of the lesson column: the course name and the topic of the active session.
// Every edit by the student goes straight into the session and is saved; a new topic also forgets
// the outline topic, the latest reply and the last teaching step. Fields follow the active session
// without running those steps.
class MeridCourseEditorView : public QWidget {
    Q_OBJECT
public:
    static constexpr int courseNameLength = 90;
    static constexpr int topicNameLength = 120;

    explicit MeridCourseEditorView(MeridFormalWorkspaceController& controller, QWidget* parent = nullptr);

    QLineEdit* courseField() const { return course_; }
    QLineEdit* topicField() const { return topic_; }

    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void editCourse(const QString& text);
    void editTopic(const QString& text);

    MeridFormalWorkspaceController& controller_;
    QLabel* heading_ = nullptr;
    QLineEdit* course_ = nullptr;
    QLineEdit* topic_ = nullptr;
};

}  // namespace velquin

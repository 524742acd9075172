#pragma once

#include <QAbstractButton>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_material.h"

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace velquin {

// The material of the active tutor session: its file and the piece being studied, the course
// outline with each topic's study state, and arrows to the previous and next piece. It shows what
// it is given and reports the student's choices; the outline's expansion is its only own state.
class MeridCourseMaterialView : public QWidget {
    Q_OBJECT
public:
    static constexpr int collapsedTopics = 6;
    static constexpr int expandedTopics = 80;

    explicit MeridCourseMaterialView(QWidget* parent = nullptr);

    // Shows the session's material at piece `chunkIndex`.
    void setState(const meridcore::TeacherMaterial& material, qint64 chunkIndex,
                  const meridcore::TeacherLearningSession& session, bool busy);

    bool outlineExpanded() const { return outlineExpanded_; }

Q_SIGNALS:
    void previousRequested();
    void nextRequested();
    void topicSelected(const QString& topicID);

protected:
    void changeEvent(QEvent* event) override;

private:
    void rebuild();
    void retranslate();
    void restyle();
    void restyleArrows();

    std::optional<meridcore::TeacherMaterial> material_;
    qsizetype chunkCount_ = 0;
    qint64 chunkIndex_ = 0;
    std::optional<meridcore::TeacherLearningSession> session_;
    bool busy_ = false;
    bool outlineExpanded_ = false;

    QLabel* symbol_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* position_ = nullptr;
    QLabel* marker_ = nullptr;
    QLabel* outlineHeading_ = nullptr;
    QLabel* noHeadings_ = nullptr;
    QVBoxLayout* topicRows_ = nullptr;
    QToolButton* toggle_ = nullptr;
    QLabel* footnote_ = nullptr;
    QToolButton* previous_ = nullptr;
    QLabel* navigationLabel_ = nullptr;
    QToolButton* next_ = nullptr;
};

// One topic of the outline: a plain button holding the topic's mark, heading, study state and
// page marker; the whole row is the click target.
class MeridCourseTopicRow : public QAbstractButton {
    Q_OBJECT
public:
    MeridCourseTopicRow(const QString& heading, const QString& status, const std::optional<QString>& sourceMarker,
                        bool isActive, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velquin

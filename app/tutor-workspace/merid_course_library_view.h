#pragma once

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

#include "tutor-engine/teacher_learning_session.h"

class QLabel;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class MeridCourseMaterialView;

// The course library rail at the left of the tutor screen: the tutor's title, the current course
// (its name, its material or a placeholder, building an outline, importing), the stored sessions
// newest first with a button for a new one, and a footer. It shows what setState() gives it and
// reports every choice by a signal; it changes, saves and sends nothing.
class MeridCourseLibraryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int railWidth = 236;

    explicit MeridCourseLibraryView(QWidget* parent = nullptr);

    void setState(const meridcore::TeacherLearningSession& active,
                  const QList<meridcore::TeacherLearningSession>& sessions, bool busy, bool canSave);

    // The sessions by `updatedAt`, most recent first; equal times keep their order.
    static QList<meridcore::TeacherLearningSession> sortedSessions(QList<meridcore::TeacherLearningSession> sessions);

    QLabel* courseLabel() const { return course_; }
    QLabel* noMaterialLabel() const { return noMaterial_; }
    QToolButton* buildOutlineButton() const { return buildOutline_; }
    QToolButton* importButton() const { return import_; }
    QToolButton* newSessionButton() const { return newSession_; }
    QLabel* emptyHistoryLabel() const { return emptyHistory_; }
    MeridCourseMaterialView* materialView() const { return material_; }
    QVBoxLayout* sessionRows() const { return rows_; }

Q_SIGNALS:
    void newSessionRequested();
    void sessionSelected(const meridcore::TeacherLearningSession& session);
    void deleteRequested(const QUuid& sessionID);
    void importRequested();
    void chunkChangeRequested(int step);
    void topicSelected(const QString& topicID);
    void buildOutlineRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();
    void retranslate();
    void restyle();

    meridcore::TeacherLearningSession active_{0};
    QList<meridcore::TeacherLearningSession> sessions_;
    bool busy_ = false;
    bool canSave_ = true;

    QLabel* symbol_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* currentHeading_ = nullptr;
    QWidget* card_ = nullptr;
    QLabel* courseSymbol_ = nullptr;
    QLabel* course_ = nullptr;
    MeridCourseMaterialView* material_ = nullptr;
    QLabel* noMaterial_ = nullptr;
    QToolButton* buildOutline_ = nullptr;
    QToolButton* import_ = nullptr;
    QLabel* historyHeading_ = nullptr;
    QToolButton* newSession_ = nullptr;
    QLabel* emptyHistory_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QLabel* footerSymbol_ = nullptr;
    QLabel* footer_ = nullptr;
};

}  // namespace velquin

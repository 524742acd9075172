#pragma once

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_learning_session.h"

class QLabel;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class MeridCourseMaterialView;
class MeridHistorySessionRow;

// The course library rail at the left of the tutor screen: the tutor's title, the current course
// (its name, its material or a placeholder, building an outline, importing), the stored sessions
// newest first with a button for a new one, and a footer. It shows what setState() gives it and
// reports every choice by a signal; it changes, saves and sends nothing. A change touches only
// the rows it changes, and a hidden rail (the closed drawer) catches up when it is shown.
class MeridCourseLibraryView : public QWidget {
    Q_OBJECT
public:
    static constexpr int railWidth = 236;
    // Session rows made in one turn of the event loop: a long list (hundreds of sessions) comes in
    // over a few turns, its first rows at once, rather than in one long stall.
    static constexpr int rowsPerTurn = 20;

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
    void showEvent(QShowEvent* event) override;

private:
    // One session's row and what it shows.
    struct Row {
        QUuid id;
        MeridHistorySessionRow* widget = nullptr;
        QString title;
        QString evidence;
        bool isActive = false;
        bool busy = false;
    };

    void rebuild();
    void rebuildRows();
    meridcore::MeridV12KnowledgeStatus evidenceOf(const meridcore::TeacherLearningSession& session);
    void retranslate();
    void restyle();

    meridcore::TeacherLearningSession active_{0};
    QList<meridcore::TeacherLearningSession> sessions_;
    bool busy_ = false;
    bool canSave_ = true;
    // Whether setState() gave the sessions yet (until then the list says nothing of them), and
    // whether they changed while the rail was hidden.
    bool hasState_ = false;
    bool stale_ = false;
    QList<Row> shownRows_;
    int rowsLeftThisTurn_ = rowsPerTurn;
    bool nextTurnPosted_ = false;
    // Each session's knowledge state, as last worked out for the session as it was then.
    QHash<QUuid, std::pair<meridcore::TeacherLearningSession, meridcore::MeridV12KnowledgeStatus>> evidence_;

    QLabel* symbol_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QScrollArea* scroll_ = nullptr;
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

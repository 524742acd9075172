#pragma once

#include <QList>
#include <QWidget>

#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_step.h"

class QMenu;
class QPushButton;

namespace velquin {

// The next teaching steps of a session: a prominent button for the first and a menu, "其他学习方式",
// of the others, as the engine's decision policy orders them, never grading or pausing. Choosing
// one emits it; the panel sends and changes nothing.
class MeridFormalDecisionView : public QWidget {
    Q_OBJECT
public:
    explicit MeridFormalDecisionView(QWidget* parent = nullptr);

    void setState(meridcore::MeridStep step, bool pendingAnswer, meridcore::MeridEvidenceStatus evidence, bool busy);

    // The steps offered, first the prominent one: the policy's list without gradeAnswer and pause.
    static QList<meridcore::MeridAction> choices(meridcore::MeridStep step, bool pendingAnswer,
                                                 meridcore::MeridEvidenceStatus evidence);

    QPushButton* primaryButton() const { return primary_; }
    QPushButton* menuButton() const { return more_; }

Q_SIGNALS:
    void actionChosen(meridcore::MeridAction action);

private:
    void rebuild();
    void retranslate();

    QList<meridcore::MeridAction> choices_;
    bool busy_ = false;
    QPushButton* primary_ = nullptr;
    QPushButton* more_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace velquin

#pragma once

#include <QWidget>

#include "tutor-engine/teacher_turn.h"

class QLabel;

namespace velquin {

class MeridMathRichText;

// One earlier turn of the tutor conversation: who spoke (the same two headings in every
// language) and what was said, on the text-field background.
class MeridPastTurnRow : public QWidget {
    Q_OBJECT
public:
    explicit MeridPastTurnRow(const meridcore::TeacherTurn& turn, QWidget* parent = nullptr);

    static QString heading(meridcore::TeacherTurn::Role role);

    QLabel* headingLabel() const { return heading_; }
    MeridMathRichText* contentText() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* heading_ = nullptr;
    MeridMathRichText* content_ = nullptr;
};

}  // namespace velquin

#pragma once

#include <QAbstractButton>
#include <QList>
#include <QSet>
#include <QString>
#include <QWidget>

#include "app/shell/application_appearance.h"
#include "tutor-engine/lessonary_presentation_mapper.h"

namespace velquin {

// The row of the lesson's six numbered steps at the top of the lesson: each step in the colour of
// its status; a step the lesson can show is a button that reports its id, every other step is
// drawn but disabled. The statuses and the clickable steps are given; the ribbon decides nothing.
class LessonarySixMilestoneRibbon : public QWidget {
    Q_OBJECT
public:
    explicit LessonarySixMilestoneRibbon(QWidget* parent = nullptr);

    // The steps in display order (the mapper gives six) and the ids of those that can be clicked.
    void setMilestones(const QList<meridcore::LessonaryMilestone>& milestones, const QSet<QString>& navigable);

    // One button per step, in order.
    QList<QAbstractButton*> cells() const;

    // "讲解" / "Explain" / "Expliquer" and so on; any unknown key is the recap step's caption.
    static QString title(const QString& titleKey);
    static QString statusText(meridcore::LessonaryMilestoneStatus status);
    static QColor statusColor(meridcore::LessonaryMilestoneStatus status, ColorScheme scheme);

Q_SIGNALS:
    // A step the lesson can show was clicked.
    void navigate(const QString& milestoneID);

private:
    void retranslate();

    QList<meridcore::LessonaryMilestone> milestones_;
    QSet<QString> navigable_;
    QList<QAbstractButton*> cells_;
};

}  // namespace velquin

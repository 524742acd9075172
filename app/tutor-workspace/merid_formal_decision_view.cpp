#include "app/tutor-workspace/merid_formal_decision_view.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-workspace/merid_workspace_symbols.h"
#include "tutor-engine/merid_decision_policy.h"

namespace velquin {

using meridcore::MeridAction;

namespace {

QString symbolName(MeridAction action) {
    switch (action) {
    case MeridAction::continueLearning: return QStringLiteral("arrow.right");
    case MeridAction::explainDifferently: return QStringLiteral("arrow.triangle.2.circlepath");
    case MeridAction::testMe: return QStringLiteral("checklist");
    case MeridAction::gradeAnswer: return QStringLiteral("checkmark.seal");
    case MeridAction::reinforceMistake: return QStringLiteral("heart.text.square");
    case MeridAction::summarize: return QStringLiteral("note.text");
    case MeridAction::sprint: return QStringLiteral("bolt");
    case MeridAction::skipConcept: return QStringLiteral("forward");
    case MeridAction::pause: return QStringLiteral("bookmark");
    }
    return {};
}

}  // namespace

QList<MeridAction> MeridFormalDecisionView::choices(meridcore::MeridStep step, bool pendingAnswer,
                                                    meridcore::MeridEvidenceStatus evidence) {
    QList<MeridAction> offered = meridcore::MeridDecisionPolicy::actions(step, pendingAnswer, evidence);
    offered.removeIf([](MeridAction a) { return a == MeridAction::gradeAnswer || a == MeridAction::pause; });
    return offered;
}

MeridFormalDecisionView::MeridFormalDecisionView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.decision"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(11);
    primary_ = new QPushButton(this);
    primary_->setObjectName(QStringLiteral("orvel.merid.decision-primary"));
    primary_->setDefault(true);
    // A borderless button whose menu opens on a click; it draws the menu's down arrow itself.
    more_ = new QPushButton(this);
    more_->setObjectName(QStringLiteral("orvel.merid.decision-more"));
    more_->setFlat(true);
    menu_ = new QMenu(more_);
    more_->setMenu(menu_);
    row->addWidget(primary_);
    row->addWidget(more_);
    row->addStretch(1);

    connect(primary_, &QPushButton::clicked, this, [this] {
        if (!busy_ && !choices_.isEmpty()) emit actionChosen(choices_.first());
    });
    lessonary::follow(this, [this] { retranslate(); }, [this] { rebuild(); });
    rebuild();
}

void MeridFormalDecisionView::setState(meridcore::MeridStep step, bool pendingAnswer,
                                       meridcore::MeridEvidenceStatus evidence, bool busy) {
    choices_ = choices(step, pendingAnswer, evidence);
    busy_ = busy;
    rebuild();
}

void MeridFormalDecisionView::rebuild() {
    primary_->setVisible(!choices_.isEmpty());
    more_->setVisible(choices_.size() >= 2);
    primary_->setEnabled(!busy_);
    more_->setEnabled(!busy_);
    if (!choices_.isEmpty()) {
        const MeridAction first = choices_.first();
        // The action titles are the engine's Chinese texts in every interface language.
        primary_->setText(meridcore::title(first));
        QPalette palette = primary_->palette();
        palette.setColor(QPalette::Button, LessonaryMERIDPalette::coral(lessonary::currentScheme()));
        palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
        primary_->setPalette(palette);
        primary_->setIcon(workspaceSymbol(symbolName(first), palette.color(QPalette::ButtonText), 14,
                                          palette.color(QPalette::Disabled, QPalette::ButtonText)));
    }
    menu_->clear();
    for (qsizetype i = 1; i < choices_.size(); ++i) {
        const MeridAction action = choices_.at(i);
        QAction* item = menu_->addAction(workspaceSymbol(symbolName(action), menu_->palette().color(QPalette::Text), 14,
                                                         menu_->palette().color(QPalette::Disabled, QPalette::Text)),
                                         meridcore::title(action));
        item->setData(base::rawValue(action));
        connect(item, &QAction::triggered, this, [this, action] {
            if (!busy_) emit actionChosen(action);
        });
    }
    retranslate();
}

void MeridFormalDecisionView::retranslate() {
    more_->setText(UIStrings::choose(QStringLiteral("其他学习方式"), QStringLiteral("Other ways to learn"),
                                     QStringLiteral("Autres méthodes")));
}

}  // namespace velquin

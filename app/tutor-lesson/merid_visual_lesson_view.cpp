#include "app/tutor-lesson/merid_visual_lesson_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace velquin {

using meridcore::MeridLessonSectionKind;
using Kind = MeridLessonSectionKind;

MeridVisualLessonView::MeridVisualLessonView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.visual-lesson"));
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
}

QString MeridVisualLessonView::symbolName(Kind kind) {
    switch (kind) {
    case Kind::intuition: return QStringLiteral("sparkles");
    case Kind::concept_: return QStringLiteral("book.closed");
    case Kind::example: return QStringLiteral("lightbulb");
    case Kind::reminder: return QStringLiteral("checkmark.seal");
    case Kind::paragraph: break;
    }
    return QStringLiteral("text.alignleft");
}

QString MeridVisualLessonView::heading(Kind kind) {
    switch (kind) {
    case Kind::intuition:
        return UIStrings::choose(QStringLiteral("先理解一下"), QStringLiteral("Let's understand it"),
                                 QStringLiteral("Commençons simplement"));
    case Kind::concept_:
        return UIStrings::choose(QStringLiteral("关键概念"), QStringLiteral("The key idea"), QStringLiteral("La notion clé"));
    case Kind::example:
        return UIStrings::choose(QStringLiteral("举个例子"), QStringLiteral("Let's try an example"),
                                 QStringLiteral("Un exemple"));
    case Kind::reminder:
        return UIStrings::choose(QStringLiteral("记住这一点"), QStringLiteral("Keep this in mind"),
                                 QStringLiteral("À retenir"));
    case Kind::paragraph: break;
    }
    return {};
}

void MeridVisualLessonView::setResponse(const QString& response) {
    if (response == response_) return;
    response_ = response;
    const QList<meridcore::MeridLessonSection> sections = meridcore::MeridLessonFormatter::sections(response);
    // Sections of the same kind keep their card and only change text; the rest are made anew.
    qsizetype kept = 0;
    while (kept < cards_.size() && kept < sections.size() && cards_.at(kept).kind == sections.at(kept).kind) {
        cards_.at(kept).text->setText(sections.at(kept).text);
        ++kept;
    }
    while (cards_.size() > kept) delete cards_.takeLast().panel;
    for (qsizetype i = kept; i < sections.size(); ++i) {
        cards_ << makeCard(sections.at(i));
        column_->addWidget(cards_.last().panel);
    }
    restyle();
}

MeridVisualLessonView::Card MeridVisualLessonView::makeCard(const meridcore::MeridLessonSection& section) {
    const bool reminder = section.kind == Kind::reminder;
    auto* panel = new LessonaryPanel(reminder ? LessonaryMERIDPalette::subtle : LessonaryMERIDPalette::card,
                                     LessonaryMERIDPalette::line, 14, this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(17, 17, 17, 17);
    row->setSpacing(12);
    auto* badge = new LessonarySymbol(symbolName(section.kind), 15, panel);
    row->addWidget(badge, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout();
    text->setSpacing(9);
    QLabel* headingLabel = nullptr;
    if (section.kind != Kind::paragraph) {
        headingLabel = lessonary::makeLabel(panel, lessonary::font(12, QFont::DemiBold), true);
        headingLabel->setText(heading(section.kind));
        text->addWidget(headingLabel);
    }
    auto* body = new MeridMathRichText(section.text, 14, QFont::Normal, reminder, panel);
    text->addWidget(body);
    row->addLayout(text, 1);
    return {section.kind, panel, badge, headingLabel, body};
}

void MeridVisualLessonView::retranslate() {
    for (const Card& card : cards_)
        if (card.heading) card.heading->setText(heading(card.kind));
}

void MeridVisualLessonView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    for (const Card& card : cards_) {
        card.badge->setColor(LessonaryMERIDPalette::coral(scheme));
        card.badge->setBadge(32, LessonaryMERIDPalette::subtle(scheme), 10);
        if (card.heading) lessonary::setTextColor(card.heading, LessonaryMERIDPalette::coral(scheme));
    }
}

}  // namespace velquin
